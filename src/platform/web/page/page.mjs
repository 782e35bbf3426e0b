// The page's console: draws the program's screen buffer (from the module's
// memory, as the port describes it at every flush), hands the keyboard's
// key events to the program, sounds its bell and says when it has ended.
//
// Every row of the buffer is a row of text in the page, so that it can be
// selected, copied and read aloud; the scroll bar moves the window over it.
// Ctrl+C and Ctrl+Insert copy while text is selected, Ctrl+V and
// Shift+Insert paste (as typed keys); every other key is the program's.
import { Program } from './host.mjs';

const screen = document.getElementById('screen');
const buffer = document.getElementById('buffer');
const cursor = document.getElementById('cursor');
const status = document.getElementById('status');

// The console's 16 colours by attribute nibble: blue 1, green 2, red 4,
// bright 8.
const PALETTE = [
  '#000000', '#000080', '#008000', '#008080', '#800000', '#800080', '#808000', '#c0c0c0',
  '#808080', '#0000ff', '#00ff00', '#00ffff', '#ff0000', '#ff00ff', '#ffff00', '#ffffff',
];
const REVERSE = 0x4000;
const UNDERSCORE = 0x8000;

const colours = document.createElement('style');
colours.textContent = PALETTE.map((c, i) => `.f${i}{color:${c}}.b${i}{background:${c}}`).join('');
document.head.append(colours);

function attributeClass(attr) {
  let fg = attr & 15;
  let bg = (attr >> 4) & 15;
  if (attr & REVERSE) [fg, bg] = [bg, fg];
  return `f${fg} b${bg}${attr & UNDERSCORE ? ' u' : ''}`;
}

let program = null;
let glyphs = [];
let rows = [];
let rowHeight = 0;
let shownTop = 0;
let shown = null;  // the view last drawn

// One row of cells as runs of text of one attribute each.
function drawRow(view, y) {
  const { cells, width } = view;
  const runs = [];
  for (let x = 0, at = y * width * 4; x < width;) {
    const attr = cells[at + 2] | (cells[at + 3] << 8);
    let text = '';
    while (x < width && (cells[at + 2] | (cells[at + 3] << 8)) === attr) {
      text += glyphs[cells[at]];
      x += 1;
      at += 4;
    }
    const run = document.createElement('span');
    run.className = attributeClass(attr);
    run.textContent = text;
    runs.push(run);
  }
  rows[y].replaceChildren(...runs);
}

function render(view) {
  shown = view;
  if (rows.length !== view.rows) {
    rows = Array.from({ length: view.rows }, () => Object.assign(document.createElement('div'), { className: 'row' }));
    buffer.replaceChildren(...rows, cursor);
    rowHeight = rows[0].getBoundingClientRect().height;
  }
  for (let y = 0; y < view.rows; y++) if (view.changed[y]) drawRow(view, y);
  if (view.windowTop !== shownTop) {
    shownTop = view.windowTop;
    screen.scrollTop = shownTop * rowHeight;
  }
  const height = Math.max(1, Math.round((rowHeight * Math.min(Math.max(view.cursorSize, 1), 100)) / 100));
  cursor.hidden = !view.cursorVisible;
  cursor.style.left = `${view.cursorX}ch`;
  cursor.style.top = `${(view.cursorY + 1) * rowHeight - height}px`;
  cursor.style.height = `${height}px`;
}

// The window follows the scroll bar, a row at a time.
screen.addEventListener('scroll', () => {
  const top = Math.round(screen.scrollTop / rowHeight);
  if (program === null || top === shownTop) return;
  shownTop = top;
  program.scrollWindow(top);
});

// Bells follow one another, as the console's do, without holding up the
// program.
let audio = null;
let bellsEnd = 0;
function beep(hz, ms) {
  audio ??= new AudioContext();
  const start = Math.max(audio.currentTime, bellsEnd);
  bellsEnd = start + ms / 1000;
  const tone = audio.createOscillator();
  const level = audio.createGain();
  tone.type = 'square';
  tone.frequency.value = hz;
  level.gain.value = 0.08;
  tone.connect(level).connect(audio.destination);
  tone.start(start);
  tone.stop(bellsEnd);
}

function selectionInScreen() {
  const s = document.getSelection();
  return s !== null && !s.isCollapsed && screen.contains(s.anchorNode);
}

// Copy and paste stay the browser's; the paste comes back as typed keys.
function keptForBrowser(e) {
  const ctrlOnly = e.ctrlKey && !e.altKey && !e.metaKey;
  if (ctrlOnly && (e.code === 'KeyC' || e.code === 'Insert')) return selectionInScreen();
  return (ctrlOnly && e.code === 'KeyV') || (e.shiftKey && !e.ctrlKey && e.code === 'Insert');
}

// Typing while the window is scrolled away from the cursor brings it back
// into view, as on the console.
function showCursor() {
  if (shown === null) return;
  const { cursorY, windowRows, rows: bufferRows } = shown;
  if (cursorY >= shownTop && cursorY < shownTop + windowRows) return;
  program.scrollWindow(Math.min(Math.max(cursorY - windowRows + 1, 0), bufferRows - windowRows));
}

function onKey(e) {
  if (program === null || program.ended || e.isComposing || e.keyCode === 229) return;
  const down = e.type === 'keydown';
  if (down && keptForBrowser(e)) return;
  e.preventDefault();
  if (down) showCursor();
  const chars = [...e.key];
  program.keyEvent(down, e.code, chars.length === 1 ? e.key.codePointAt(0) : 0, {
    shift: e.shiftKey,
    ctrl: e.ctrlKey,
    alt: e.altKey,
    altGraph: e.getModifierState('AltGraph'),
    capsLock: e.getModifierState('CapsLock'),
    numLock: e.getModifierState('NumLock'),
    scrollLock: e.getModifierState('ScrollLock'),
  });
  if (down && audio !== null) audio.resume();
}

function statusText(exitStatus, error) {
  if (error) return `Zahlwerk has stopped: ${error.message}`;
  const shown = exitStatus >= 0x80000000 ? `0x${exitStatus.toString(16).toUpperCase()}` : String(exitStatus);
  return `Zahlwerk has ended with exit status ${shown}.`;
}

async function load() {
  let module;
  try {
    module = await WebAssembly.compileStreaming(fetch('zahlwerk.wasm'));
  } catch {
    // A server that does not say application/wasm.
    module = await WebAssembly.compile(await (await fetch('zahlwerk.wasm')).arrayBuffer());
  }
  program = new Program(module, {
    hasConsole: true,
    render,
    beep,
    writeStdout: (bytes) => (console.log(new TextDecoder('windows-1252').decode(bytes)), true),
    readStdin: () => 0,
    // While a tone holds the program up, keys wait for it.
    held: (on) => screen.setAttribute('aria-busy', on ? 'true' : 'false'),
    ended(exitStatus, error) {
      status.textContent = statusText(exitStatus, error);
      cursor.hidden = true;
    },
  });
  glyphs = Array.from({ length: 256 }, (_, b) => String.fromCodePoint(program.glyph(b)));
  status.textContent = '';
  window.addEventListener('keydown', onKey, true);
  window.addEventListener('keyup', onKey, true);
  document.addEventListener('paste', (e) => {
    e.preventDefault();
    if (!program.ended) program.paste(e.clipboardData.getData('text/plain'));
  });
  // Leaving the page is closing the console window.
  window.addEventListener('pagehide', () => program.closed());
  screen.focus();
  program.start();
}

load().catch((e) => {
  status.textContent = `Zahlwerk could not be loaded: ${e.message}`;
});
