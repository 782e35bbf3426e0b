// The calculator under node, on standard input and output as they are
// (files or pipes: the program takes its redirected roads):
//
//   node zahlwerk.mjs <input >output
import fs from 'node:fs';
import { Program } from './host.mjs';

const module = new WebAssembly.Module(fs.readFileSync(new URL('zahlwerk.wasm', import.meta.url)));
const pause = new Int32Array(new SharedArrayBuffer(4));
const sleepSync = (ms) => Atomics.wait(pause, 0, 0, ms);

// A descriptor left non-blocking by whoever shares it is waited on.
function retrying(op) {
  for (;;) {
    try {
      return op();
    } catch (e) {
      if (e.code !== 'EAGAIN') throw e;
      sleepSync(1);
    }
  }
}

const program = new Program(module, {
  hasConsole: false,
  render() {},
  beep() {},
  writeStdout(bytes) {
    try {
      for (let done = 0; done < bytes.length;) done += retrying(() => fs.writeSync(1, bytes, done));
      return true;
    } catch {
      return false;  // the reader has gone (EPIPE): output is dropped from now on
    }
  },
  readStdin(into) {
    try {
      return retrying(() => fs.readSync(0, into, 0, into.length, null));
    } catch {
      return 0;  // EOF and errors alike end the input
    }
  },
  sleepSync,
  ended(status, error) {
    if (error) {
      console.error(error);
      process.exitCode = 70;
    } else {
      process.exitCode = status;
    }
  },
});
program.start();
