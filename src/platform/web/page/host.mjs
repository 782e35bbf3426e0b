// Runs zahlwerk.wasm, in a page or under node: the few system calls its C
// library makes (WASI), the console port's imports (module "zw"), and its
// waits.
//
// A wait in a page unwinds the module's stack (binaryen's asyncify) and
// returns to the browser; the wait ends when its time is up or a key comes
// (wake), and the module is entered again where it waited. Under node a
// wait simply blocks.

const WASI_EBADF = 8;
const WASI_ESPIPE = 70;
const WASI_FILETYPE_CHARACTER_DEVICE = 2;
const ASYNCIFY_UNWINDING = 1;

// Thrown through the module when it ends.
class Exit {
  constructor(status) {
    this.status = status >>> 0;
  }
}

// `host` supplies what the page or node does:
//   hasConsole             true in a page
//   render(view)           draws the screen (view: see screenView)
//   beep(hz, ms)
//   writeStdout(bytes)     true when all were written
//   readStdin(into)        bytes read into the Uint8Array, 0 at the end
//   sleepSync(ms)          a blocking wait (no console)
//   held(on)               the program waits and takes no keys meanwhile
//                          (a tone), or goes on again
//   ended(status, error)   the program has ended (see finish)
export class Program {
  constructor(module, host) {
    this.host = host;
    this.sleeping = false;
    this.wakesOnKey = false;
    this.rewinding = false;
    this.ended = false;
    this.timer = 0;
    const imports = { zw: this.portImports(), wasi_snapshot_preview1: this.wasiImports() };
    this.instance = new WebAssembly.Instance(module, imports);
    this.ex = this.instance.exports;
    this.waitStack = this.ex.zw_wait_stack();
  }

  bytes(ptr, length) {
    return new Uint8Array(this.ex.memory.buffer, ptr, length);
  }

  // The WebScreen record at ptr (ten 32-bit fields) and the cells it names.
  screenView(ptr) {
    const f = new Int32Array(this.ex.memory.buffer, ptr, 10);
    const [cells, changed, width, rows] = f;
    return {
      cells: new Uint8Array(this.ex.memory.buffer, cells, width * rows * 4),
      changed: new Uint8Array(this.ex.memory.buffer, changed, rows),
      width, rows, windowTop: f[4], windowRows: f[5],
      cursorX: f[6], cursorY: f[7], cursorSize: f[8], cursorVisible: f[9] !== 0,
    };
  }

  portImports() {
    return {
      has_console: () => (this.host.hasConsole ? 1 : 0),
      sleep: (ms, untilKey) => this.sleep(ms, untilKey !== 0),
      render: (ptr) => this.host.render(this.screenView(ptr)),
      beep: (hz, ms) => this.host.beep(hz, ms),
      write_stdout: (ptr, n) => (this.host.writeStdout(this.bytes(ptr, n)) ? 1 : 0),
      read_stdin: (ptr, n) => this.host.readStdin(this.bytes(ptr, n)),
    };
  }

  wasiImports() {
    const view = () => new DataView(this.ex.memory.buffer);
    const noItems = (countPtr, sizePtr) => {
      view().setUint32(countPtr, 0, true);
      view().setUint32(sizePtr, 0, true);
      return 0;
    };
    return {
      args_sizes_get: noItems,
      args_get: () => 0,
      environ_sizes_get: noItems,
      environ_get: () => 0,
      fd_write: (fd, iovs, count, writtenPtr) => {
        if (fd !== 1 && fd !== 2) return WASI_EBADF;
        let written = 0;
        for (let i = 0; i < count; i++) {
          const ptr = view().getUint32(iovs + 8 * i, true);
          const len = view().getUint32(iovs + 8 * i + 4, true);
          if (fd === 1 && !this.host.writeStdout(this.bytes(ptr, len))) return WASI_EBADF;
          if (fd === 2) console.error(new TextDecoder().decode(this.bytes(ptr, len)));
          written += len;
        }
        view().setUint32(writtenPtr, written, true);
        return 0;
      },
      fd_fdstat_get: (fd, statPtr) => {
        if (fd > 2) return WASI_EBADF;
        const v = view();
        v.setUint8(statPtr, WASI_FILETYPE_CHARACTER_DEVICE);
        v.setUint16(statPtr + 2, 0, true);
        v.setBigUint64(statPtr + 8, 0xffffffffn, true);
        v.setBigUint64(statPtr + 16, 0xffffffffn, true);
        return 0;
      },
      fd_seek: () => WASI_ESPIPE,
      fd_close: () => 0,
      proc_exit: (status) => {
        throw new Exit(status);
      },
    };
  }

  // Calls into the module; an end of the program on the way is reported.
  call(fn) {
    if (this.ended) return;
    try {
      fn();
    } catch (e) {
      if (e instanceof Exit) this.finish(e.status, null);
      else this.finish(null, e);
    }
  }

  // status: the exit status; error: what stopped the module instead (a
  // trap), else null.
  finish(status, error) {
    this.ended = true;
    this.sleeping = false;
    clearTimeout(this.timer);
    this.host.ended(status, error);
  }

  // Runs the program from its entry, or on from where it waited, until it
  // waits again or ends.
  enter() {
    this.call(() => this.ex.__main_void());
    if (!this.ended && this.ex.asyncify_get_state() === ASYNCIFY_UNWINDING) this.ex.asyncify_stop_unwind();
  }

  start() {
    this.call(() => this.ex._initialize());
    this.enter();
  }

  // A wait of ms, which a key ends early when untilKey.
  sleep(ms, untilKey) {
    if (this.rewinding) {
      this.rewinding = false;
      this.ex.asyncify_stop_rewind();
      return;
    }
    if (!this.host.hasConsole) {
      this.host.sleepSync(ms);
      return;
    }
    const header = new Uint32Array(this.ex.memory.buffer, this.waitStack, 2);
    header[0] = this.waitStack + 8;
    header[1] = this.waitStack + this.ex.zw_wait_stack_size();
    this.ex.asyncify_start_unwind(this.waitStack);
    this.sleeping = true;
    this.wakesOnKey = untilKey;
    if (!untilKey) this.host.held?.(true);
    this.timer = setTimeout(() => this.resume(), ms);
  }

  // A key came: a wait for one ends.
  wake() {
    if (this.wakesOnKey) this.resume();
  }

  // Goes on from the wait in progress.
  resume() {
    if (!this.sleeping) return;
    if (!this.wakesOnKey) this.host.held?.(false);
    this.sleeping = false;
    clearTimeout(this.timer);
    this.rewinding = true;
    this.ex.asyncify_start_rewind(this.waitStack);
    this.enter();
  }

  // One key event (see zw_key_event); the program takes it at once.
  keyEvent(down, code, keyChar, m) {
    this.call(() => {
      const room = this.ex.zw_key_code_room();
      const name = new TextEncoder().encode(code).subarray(0, room);
      this.bytes(this.ex.zw_key_code(), room).set(name);
      this.ex.zw_key_event(down ? 1 : 0, name.length, keyChar, m.shift, m.ctrl, m.alt, m.altGraph, m.capsLock,
        m.numLock, m.scrollLock);
    });
    this.wake();
  }

  // Pasted text as typed keys, each line end one Enter.
  paste(text) {
    this.call(() => {
      for (const c of text.replace(/\r\n?/g, '\n')) this.ex.zw_paste(c.codePointAt(0));
    });
    this.wake();
  }

  // The page is being left.
  closed() {
    this.call(() => this.ex.zw_console_closed());
    this.wake();
  }

  scrollWindow(top) {
    this.call(() => this.ex.zw_scroll_window(top));
  }

  glyph(byte) {
    return this.ex.zw_glyph(byte);
  }
}
