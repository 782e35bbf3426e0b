// xterm.js in headless Chromium, connected to a command on a pseudo-terminal
// of its own (zw_pty_bridge), as a web console connects it. Typed at with
// key events through the DevTools protocol (Input.dispatchKeyEvent); the
// screen read from xterm.js's buffer. Commands come on standard input, one a
// line, each answered by lines ending in "end":
//
//   keys NAME...         key presses 20 ms apart, by xdotool's names (Return,
//                        BackSpace, Delete, Home, End, Left, Right, Escape,
//                        KP_0..KP_9, KP_Add, KP_Enter, ctrl+c, a letter)
//   burst NAME...        the same, 5 ms apart
//   text TEXT            a key press for each character ("ä" as a German
//                        keyboard's key)
//   screen               the rows on the screen
//   size COLUMNS ROWS    the terminal resized, as a page resizes it; the
//                        pseudo-terminal follows
//
//   node xtermjs.mjs NODE_MODULES BRIDGE COLUMNS ROWS COMMAND [ARGS...]
import { spawn } from "node:child_process";
import { mkdtempSync, rmSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { createInterface } from "node:readline";

const [modules, bridgePath, columns, rows, ...command] = process.argv.slice(2);
const require = createRequire(join(modules, "x.js"));
const puppeteer = require("puppeteer-core");
const xterm = join(modules, "@xterm/xterm");

const profile = mkdtempSync(join(tmpdir(), "zw-chromium."));
const browser = await puppeteer.launch({
  executablePath: process.env.ZW_CHROMIUM || "/usr/bin/chromium",
  headless: true,
  userDataDir: profile,
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
         "--disable-component-update", "--disable-sync"],
});
// Started once the terminal is on the page, as a web console starts its
// shell: the program's start is timed against the terminal, not the page.
let bridge = null;
let ended = false;
const end = async () => {
  if (ended) return;
  ended = true;
  bridge?.stdin.end();
  await browser.close().catch(() => {});
  rmSync(profile, { recursive: true, force: true });
  process.exit(0);
};
process.on("SIGTERM", end);

const page = await browser.newPage();
await page.setContent("<!doctype html><body style='margin:0'><div id=t></div></body>");
await page.addStyleTag({ path: join(xterm, "css/xterm.css") });
await page.addScriptTag({ path: join(xterm, "lib/xterm.js") });
// The page's answers to the program (cursor reports and the like) and what
// is typed go to the terminal; so does a new size.
await page.exposeFunction("zwData", (s) => bridge.stdin.write(Buffer.from(s, "utf8")));
await page.exposeFunction("zwBinary", (s) => bridge.stdin.write(Buffer.from(s, "latin1")));
await page.exposeFunction("zwResize", (c, r) => bridge.stdio[3].write(`${c} ${r}\n`));
await page.evaluate((c, r) => {
  const term = new window.Terminal({ cols: c, rows: r, scrollback: 1000 });
  term.open(document.getElementById("t"));
  term.onData(window.zwData);
  term.onBinary(window.zwBinary);
  term.onResize(({ cols, rows }) => window.zwResize(cols, rows));
  term.focus();
  window.term = term;
}, Number(columns), Number(rows));

bridge = spawn(bridgePath, [columns, rows, ...command], {
  stdio: ["pipe", "pipe", "inherit", "pipe"],
  env: { ...process.env, TERM: "xterm-256color" },
});
bridge.on("exit", end);

// The program's output in order, each piece parsed before the next.
let written = Promise.resolve();
bridge.stdout.on("data", (chunk) => {
  const b64 = chunk.toString("base64");
  written = written.then(() => page.evaluate((s) => new Promise((done) =>
    window.term.write(Uint8Array.from(atob(s), (ch) => ch.charCodeAt(0)), done)), b64)).catch(() => {});
});

const KEYS = {
  Return: "Enter", BackSpace: "Backspace", Delete: "Delete", Home: "Home", End: "End", Left: "ArrowLeft",
  Right: "ArrowRight", Up: "ArrowUp", Down: "ArrowDown", Escape: "Escape", KP_Add: "NumpadAdd",
  KP_Enter: "NumpadEnter",
};
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const cdp = await page.createCDPSession();

// A key press as the keyboard's own event: down with its text, then up.
async function dispatch(key, code, keyCode, location = 0) {
  for (const type of ["keyDown", "keyUp"]) {
    await cdp.send("Input.dispatchKeyEvent", { type, key, code, windowsVirtualKeyCode: keyCode, location,
                                              isKeypad: location === 3, text: type === "keyDown" ? key : undefined });
  }
}

// Keys by xdotool's names. The keypad's digits are typed as with Num Lock
// on (puppeteer's own table gives their Num Lock off meanings).
async function press(name) {
  const [mod, key] = name.includes("+") ? name.split("+") : [null, name];
  if (/^KP_\d$/.test(key)) return dispatch(key[3], `Numpad${key[3]}`, 96 + Number(key[3]), 3);
  if (mod) await page.keyboard.down("Control");
  await page.keyboard.press(KEYS[key] || key);
  if (mod) await page.keyboard.up("Control");
}

// A character outside the US layout, as a German keyboard's key sends it.
async function typeChar(ch) {
  if (ch.charCodeAt(0) < 128) return page.keyboard.press(ch);
  return dispatch(ch, "Quote", 222);
}

const commands = {
  keys: async (args) => { for (const k of args.split(" ")) { await press(k); await sleep(20); } },
  burst: async (args) => { for (const k of args.split(" ")) { await press(k); await sleep(5); } },
  text: async (args) => { for (const ch of args) { await typeChar(ch); await sleep(20); } },
  screen: async () => {
    await written;
    const lines = await page.evaluate(() => {
      const b = window.term.buffer.active;
      const out = [];
      for (let y = 0; y < window.term.rows; y++) out.push(b.getLine(b.viewportY + y)?.translateToString(true) ?? "");
      return out;
    });
    for (const l of lines) process.stdout.write(l + "\n");
  },
  size: async (args) => {
    const [c, r] = args.split(" ").map(Number);
    await page.evaluate((c, r) => window.term.resize(c, r), c, r);
  },
};

process.stdout.write("ready\nend\n");
for await (const line of createInterface({ input: process.stdin })) {
  const [cmd, ...rest] = line.split(" ");
  try {
    await commands[cmd](rest.join(" "));
  } catch (e) {
    process.stdout.write(`error ${e.message}\n`);
  }
  process.stdout.write("end\n");
}
await end();
