// The page in headless Chromium through the DevTools protocol: keys typed as
// real key events (Input.dispatchKeyEvent), the buffer, window and cursor
// read off the page as it shows them.
//
//   node tests/web/page_test.mjs BUILD_WEB REPLAY_TOOL [SCRIPTS]
//
// The checks in the table, then SCRIPTS (200) random key scripts typed on
// the page and replayed on the test double (zw_web_replay), the two states
// compared after every key. Exits 1 when any check fails.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

import { launch, nodeRequire, serve } from './browser.mjs';

const [buildWeb, replayTool, scriptCount = '200'] = process.argv.slice(2);
const { _keyDefinitions: US } = nodeRequire('puppeteer-core/internal/common/USKeyboardLayout.js');
const server = await serve(buildWeb);
const { url } = server;
const chromium = await launch();
const { browser, profile } = chromium;

// ---- Keys ----------------------------------------------------------------

const ALT = 1, CTRL = 2, SHIFT = 8;  // the protocol's modifier bits
const GERMAN = { 'ä': 'Quote', 'ö': 'Semicolon', 'ü': 'BracketLeft', 'ß': 'Minus' };
const NAMED = { Left: 'ArrowLeft', Right: 'ArrowRight', Up: 'ArrowUp', Down: 'ArrowDown' };
const cp1252 = new TextDecoder('windows-1252');
const press = (ev, mods = 0) => [['rawKeyDown', ev, mods], ['keyUp', ev, mods]];
const numpad = (d, key = String(d)) => ({ code: `Numpad${d}`, key, keyCode: key === String(d) ? 96 + d : US[`Numpad${d}`].keyCode, location: 3 });
const ALT_KEY = { code: 'AltLeft', key: 'Alt', keyCode: 18, location: 1 };

// A character where a US keyboard (or, for its letters, a German one) has it.
function charKey(ch) {
  if (GERMAN[ch]) return [{ code: GERMAN[ch], key: ch, keyCode: US[GERMAN[ch]].keyCode }, 0];
  for (const d of Object.values(US)) {
    if (!d.code || d.code.startsWith('Numpad')) continue;
    if (d.key === ch) return [{ code: d.code, key: ch, keyCode: d.keyCode }, 0];
    if (d.shiftKey === ch) return [{ code: d.code, key: ch, keyCode: d.keyCode }, SHIFT];
  }
  throw new Error(`no key types ${ch}`);
}

// The key events of a token (see replay_double.cpp): [type, key, modifiers].
function tokenEvents(t) {
  if (t.startsWith('c:')) return press(...charKey(cp1252.decode(Uint8Array.of(parseInt(t.slice(2), 16)))));
  if (t === 'ShiftTab') return press(US.Tab, SHIFT);
  if (t === 'CtrlEnter') return press(US.Enter, CTRL);
  if (t === 'KPEnd') return press(numpad(1, 'End'));
  if (t === 'KPEnter') return press({ ...US.NumpadEnter, location: 3 });
  if (/^KP\d$/.test(t)) return press(numpad(Number(t[2])));
  if (t.startsWith('Alt:')) {
    const digits = [...t.slice(4)].flatMap((d) => press(numpad(Number(d)), ALT));
    return [['rawKeyDown', ALT_KEY, ALT], ...digits, ['keyUp', ALT_KEY, 0]];
  }
  const shift = t.startsWith('Shift+');
  const name = shift ? t.slice(6) : t;
  const def = US[NAMED[name] ?? name];
  if (!def) throw new Error(`unknown key ${t}`);
  return press(def, shift ? SHIFT : 0);
}

async function send(cdp, [type, ev, mods], extra = {}) {
  await cdp.send('Input.dispatchKeyEvent', {
    type, code: ev.code, key: ev.key, windowsVirtualKeyCode: ev.keyCode, nativeVirtualKeyCode: ev.keyCode,
    modifiers: mods, location: ev.location ?? 0, isKeypad: ev.location === 3, ...extra,
  });
}

// ---- Reading the page ----------------------------------------------------

// Runs in the page once the program takes keys again: the state as
// replay_double.cpp prints it, hashed unless whole.
function pageState(whole) {
  const settled = () => document.getElementById('screen').getAttribute('aria-busy') !== 'true';
  const read = () => {
    const screen = document.getElementById('screen');
    const cursor = document.getElementById('cursor');
    const rows = [...document.querySelectorAll('#buffer > .row')];
    const first = rows[0].getBoundingClientRect();
    const h = first.height;
    const w = document.getElementById('buffer').getBoundingClientRect().width / 80;
    const c = cursor.getBoundingClientRect();
    const shown = !cursor.hidden && getComputedStyle(cursor).display !== 'none';
    let text = `window ${Math.round(screen.scrollTop / h)}\ncursor ${Math.round((c.left - first.left) / w)} ` +
      `${Math.round((c.bottom - first.top) / h) - 1} ${shown ? 1 : 0} ${Math.round((c.height / h) * 100)}\n`;
    for (const row of rows) {
      const runs = [...row.children].map((s) => {
        const [, fg, bg] = s.className.match(/f(\d+) b(\d+)/);
        return `${fg}.${bg}*${[...s.textContent].length}`;
      });
      text += `${row.textContent}\t${runs.join(',')}\n`;
    }
    if (whole) return text;
    let hash = 2166136261;
    for (const b of new TextEncoder().encode(text)) hash = Math.imul(hash ^ b, 16777619) >>> 0;
    return hash.toString(16).padStart(8, '0');
  };
  if (settled()) return read();
  return new Promise((done) => {
    const watch = new MutationObserver(() => settled() && (watch.disconnect(), done(read())));
    watch.observe(document.getElementById('screen'), { attributes: true });
  });
}

async function openPage() {
  const page = await browser.newPage();
  page.on('pageerror', (e) => failures.push(`page error: ${e.message}`));
  await page.evaluateOnNewDocument(() => {
    // Every tone the page starts: its frequency, its length and when it
    // began; and when the row of the first prompt changed, to what.
    window.tones = [];
    window.promptRow = [];
    addEventListener('DOMContentLoaded', () => new MutationObserver(() => {
      const row = document.querySelectorAll('.row')[8]?.textContent.trimEnd();
      if (row !== window.promptRow.at(-1)?.row) window.promptRow.push({ at: performance.now(), row });
    }).observe(document.getElementById('buffer'), { childList: true, subtree: true }));
    const create = AudioContext.prototype.createOscillator;
    AudioContext.prototype.createOscillator = function () {
      const o = create.call(this);
      const tone = {};
      const [start, stop] = [o.start.bind(o), o.stop.bind(o)];
      o.start = (t) => (Object.assign(tone, { hz: o.frequency.value, start: t, at: performance.now() }),
        window.tones.push(tone), start(t));
      o.stop = (t) => ((tone.seconds = t - tone.start), stop(t));
      return o;
    };
  });
  await page.goto(url);
  await page.waitForFunction(() => document.querySelectorAll('.row')[8]?.textContent.startsWith('Operation: '), { polling: 20 });
  const cdp = await page.createCDPSession();
  const t = {
    page,
    type: async (...tokens) => { for (const tok of tokens) for (const e of tokenEvents(tok)) await send(cdp, e); },
    events: async (...events) => { for (const e of events) await send(cdp, e); },
    send: (e, extra) => send(cdp, e, extra),
    state: (whole = false) => page.evaluate(pageState, whole),
    rows: async (from, n) => (await page.evaluate(pageState, true)).split('\n').slice(2 + from, 2 + from + n)
      .map((r) => r.split('\t')[0].trimEnd()),
    cursor: async () => (await page.evaluate(pageState, true)).split('\n')[1],
    top: async () => Number((await page.evaluate(pageState, true)).split('\n')[0].split(' ')[1]),
    status: () => page.$eval('#status', (s) => s.textContent),
  };
  return t;
}

const failures = [];
function expect(check, what, got, want) {
  const [g, w] = [JSON.stringify(got), JSON.stringify(want)];
  if (g !== w) failures.push(`${check}: ${what}: got ${g}, want ${w}`);
}

// ---- The checks ------------------------------------------------------------

// Latin-1 characters: their code-page bytes are their code points.
const typed = (text) => [...text].map((ch) => `c:${ch.charCodeAt(0).toString(16)}`);
const START = ['### Zahlwerk-ZW ### V.1.1 ###', '###Kommandozeilenparameter###', '',
  ' + (Plus)      - (Minus)     x (Mal)       / (Geteilt)   h (Hoch)',
  ' kd (Kreis-Dm)               kr (Kreis-r)  ku (Kreis-U)  kf (Kreis-F)',
  ' qu (Quadrat-U)              qf (Quadrat-F)              ru (Rechteck-U)', ' rf (Rechteck-F)', '', 'Operation:'];
const ENDED_BY_CONTROL = 'Zahlwerk has ended with exit status 0xC000013A.';
const ctrlDown = ['rawKeyDown', { code: 'ControlLeft', key: 'Control', keyCode: 17, location: 1 }, CTRL];

const CHECKS = {
  'start screen': async (t, c) => {
    expect(c, 'rows', await t.rows(0, 10), [...START, '']);
    expect(c, 'cursor', await t.cursor(), 'cursor 11 8 1 25');
    expect(c, 'window', await t.top(), 0);
    expect(c, 'colours', await t.page.$eval('.row span', (s) => [getComputedStyle(s).color, getComputedStyle(s).backgroundColor]),
      ['rgb(192, 192, 192)', 'rgb(0, 0, 0)']);
    expect(c, 'buffer rows', await t.page.$$eval('.row', (r) => r.length), 300);
  },
  cycles: async (t, c) => {
    await t.type(...['+', '2', '3', 'h', '2', '/', '1', '0'].flatMap((k) => [...typed(k), 'Enter']));
    expect(c, 'rows', await t.rows(8, 13), ['Operation: +', 'Nummmer 1: 2', 'Nummmer 2: 3', 'Summe:  5', 'Operation: h',
      'Nummmer 1: 2', 'Ergebnis:  25', 'Operation: /', 'Nummmer 1: 1', 'Nummmer 2: 0', 'Quotient:  inf', 'Operation:', '']);
    // Pasted lines are typed, each line end one Enter.
    await t.page.evaluate(() => {
      const data = new DataTransfer();
      data.setData('text/plain', 'x\r\n4\r\n5\r\n');
      document.dispatchEvent(new ClipboardEvent('paste', { clipboardData: data }));
    });
    expect(c, 'pasted', await t.rows(19, 5), ['Operation: x', 'Nummmer 1: 4', 'Nummmer 2: 5', 'Produkt:  20', 'Operation:']);
  },
  'editing keys': async (t, c) => {
    const steps = [
      [[...typed('abc'), 'Left', 'Left', ...typed('X')], 'Operation: aXbc', 'cursor 13 8 1 25'],
      [['End'], 'Operation: aXbc', 'cursor 15 8 1 25'],
      [['Shift+Home'], 'Operation: aXbc', 'cursor 11 8 1 25'],
      [['Shift+Right'], 'Operation: aXbc', 'cursor 12 8 1 25'],
      [['Home', 'Tab'], 'Operation:         aXbc', 'cursor 19 8 1 25'],
      [['Backspace', 'Delete'], 'Operation:        Xbc', 'cursor 18 8 1 25'],
      [['Right', 'Right', 'Right', 'Delete', 'Insert', 'PageUp', 'F1'], 'Operation:        Xbc', 'cursor 21 8 1 25'],
      [['Escape'], 'Operation:', 'cursor 11 8 1 25'],
    ];
    for (const [keys, row, cursor] of steps) {
      await t.type(...keys);
      expect(c, `after ${keys}`, [(await t.rows(8, 1))[0], await t.cursor()], [row, cursor]);
    }
    // A held key repeats: further key-downs.
    const one = charKey('7')[0];
    for (let i = 0; i < 3; i++) await t.send(['rawKeyDown', one, 0], { autoRepeat: i > 0 });
    await t.send(['keyUp', one, 0]);
    expect(c, 'repeats', (await t.rows(8, 1))[0], 'Operation: 777');
  },
  'window follows output down the buffer, then the buffer scrolls': async (t, c) => {
    for (let cycle = 0; cycle < 80; cycle++) {
      await t.type('c:2b', 'Enter', 'c:31', 'Enter', 'c:31', 'Enter');
      if (cycle === 5) expect(c, 'window after 6 cycles', await t.top(), 8 + 4 * 6 - 24);
    }
    // The prompt would be at row 8 + 4 * 80: the buffer lost its top rows.
    expect(c, 'window at the end', await t.top(), 275);
    expect(c, 'cursor', await t.cursor(), 'cursor 11 299 1 25');
    expect(c, 'last rows', await t.rows(295, 5), ['Operation: +', 'Nummmer 1: 1', 'Nummmer 2: 1', 'Summe:  2', 'Operation:']);
    expect(c, 'first row', (await t.rows(0, 1))[0], 'Nummmer 1: 1');
    // Scrolled back by hand, the window comes back to the cursor at a key.
    await t.page.$eval('#screen', (s) => { s.scrollTop = 0; });
    await t.page.evaluate(() => new Promise((done) => setTimeout(done, 100)));
    expect(c, 'window scrolled back', await t.top(), 0);
    await t.type('c:35');
    expect(c, 'window after a key', await t.top(), 275);
    expect(c, 'prompt row', (await t.rows(299, 1))[0], 'Operation: 5');
  },
  'a line wider than the window': async (t, c) => {
    await t.type(...typed('1234567890'.repeat(10)));
    expect(c, 'rows', await t.rows(8, 3), [`Operation: ${'1234567890'.repeat(7).slice(0, 69)}`, '1234567890'.repeat(10).slice(69), '']);
    expect(c, 'cursor', await t.cursor(), 'cursor 31 9 1 25');
    await t.type('Up');
    expect(c, 'cursor after Up', await t.cursor(), 'cursor 31 8 1 25');
    await t.type('Down', 'Enter');
    expect(c, 'next prompt', (await t.rows(10, 1))[0], 'Nummmer 1:');
  },
  'Alt+keypad': async (t, c) => {
    await t.type('Alt:65', 'Alt:321', 'Alt:0', 'Alt:228');
    expect(c, 'row', (await t.rows(8, 1))[0], 'Operation: AA\u00e4');
  },
  'keypad against main digits': async (t, c) => {
    await t.type('KP1', 'c:31', 'Home', 'KPEnd');
    expect(c, 'row and cursor', [(await t.rows(8, 1))[0], await t.cursor()], ['Operation: 11', 'cursor 13 8 1 25']);
    await t.type('KPEnter');
    expect(c, 'keypad Enter', (await t.rows(9, 1))[0], 'Nummmer 1:');
  },
  'characters of other layouts': async (t, c) => {
    await t.type('c:e4');
    // AltGr+7 and AltGr+E on a German keyboard, as Windows reports them:
    // Ctrl+Alt.
    await t.events(ctrlDown, ['rawKeyDown', { code: 'AltRight', key: 'Alt', keyCode: 18, location: 2 }, CTRL | ALT],
      ...press({ code: 'Digit7', key: '{', keyCode: 55 }, CTRL | ALT), ...press({ code: 'KeyE', key: '€', keyCode: 69 }, CTRL | ALT));
    expect(c, 'row', (await t.rows(8, 1))[0], 'Operation: \u00e4{€');
  },
  'Ctrl+C and Ctrl+Break': async (t, c) => {
    for (const [name, key] of [['Ctrl+C', { code: 'KeyC', key: 'c', keyCode: 67 }], ['Ctrl+Break', { code: 'Pause', key: 'Cancel', keyCode: 3 }]]) {
      const u = await openPage();
      await u.type('c:31');
      // With text selected, Ctrl+C copies and the program carries on.
      await u.page.evaluate(() => getSelection().selectAllChildren(document.querySelectorAll('.row')[0]));
      if (name === 'Ctrl+C') await u.events(ctrlDown, ...press({ code: 'KeyC', key: 'c', keyCode: 67 }, CTRL));
      expect(c, `${name}: copy`, await u.status(), '');
      await u.page.evaluate(() => getSelection().removeAllRanges());
      await u.events(ctrlDown, ['rawKeyDown', key, CTRL]);
      const rows = await u.rows(0, 12);
      await u.type('c:32', 'Enter');
      expect(c, `${name}: status`, await u.status(), ENDED_BY_CONTROL);
      expect(c, `${name}: no output after it`, await u.rows(0, 12), rows);
      expect(c, `${name}: row`, rows[8], 'Operation: 1');
      await u.page.close();
    }
  },
  'Escape typed ahead': async (t, c) => {
    // Delete at the end of the line holds the program up for its tone (three
    // times here, time enough for the keys after them); the keys typed
    // meanwhile wait, and the cycle's poll finds the Escape.
    await t.type('c:2b', 'Enter', 'c:32', 'Enter', 'c:33', 'Delete', 'Delete', 'Delete', 'Enter', 'Escape');
    await t.page.waitForFunction(() => document.getElementById('status').textContent !== '', { timeout: 3000 })
      .catch(() => {});
    expect(c, 'status', await t.status(), 'Zahlwerk has ended with exit status 0.');
    expect(c, 'rows', await t.rows(8, 6), ['Operation: +', 'Nummmer 1: 2', 'Nummmer 2: 3', 'Summe:  5', '', '']);
  },
  'the close key': async (t, c) => {
    await t.type('c:31');
    await t.page.evaluate(() => window.dispatchEvent(new PageTransitionEvent('pagehide')));
    expect(c, 'status', await t.status(), ENDED_BY_CONTROL);
  },
  'the bell': async (t, c) => {
    await t.type('Backspace', 'c:31', 'Delete', 'c:32');
    expect(c, 'row', (await t.rows(8, 1))[0], 'Operation: 12');
    const { tones, promptRow } = await t.page.evaluate(() => ({ tones: window.tones, promptRow: window.promptRow }));
    expect(c, 'tones', tones.map((x) => [x.hz, x.seconds]), [[1000, 0.25]]);
    // The key typed during the tone is taken when the tone is over.
    const typedAfter = promptRow.find((r) => r.row === 'Operation: 12').at - tones[0].at;
    expect(c, 'key during the tone taken after it', typedAfter >= 245, true);
  },
};

// ---- Random scripts against the test double -------------------------------------

function* randomTokens(seed) {
  let s = seed >>> 0;
  const next = () => ((s = (s + 0x6d2b79f5) >>> 0), (((s ^ (s >>> 15)) * (s | 1)) >>> 0) / 2 ** 32);
  const CHARS = '0123456789+-x/hkdrufq.e, aA\u00e4&"';
  const KEYS = ['Enter', 'Enter', 'Enter', 'Backspace', 'Delete', 'Left', 'Right', 'Up', 'Down', 'Home', 'End', 'Tab',
    'ShiftTab', 'Escape', 'Insert', 'PageUp', 'F1', 'KPEnd', 'KPEnter', 'CtrlEnter', 'Shift+Left', 'Shift+End'];
  for (;;) {
    const r = next();
    if (r < 0.55) yield typed(CHARS[Math.floor(next() * CHARS.length)])[0];
    else if (r < 0.9) yield KEYS[Math.floor(next() * KEYS.length)];
    else if (r < 0.96) yield `KP${Math.floor(next() * 10)}`;
    else yield `Alt:${Math.floor(next() * 256)}`;
  }
}

async function runScripts(count) {
  const scripts = [];
  for (let i = 0; i < count; i++) {
    const tokens = [];
    const gen = randomTokens(2600 + i);
    const length = 20 + (i % 41);
    while (tokens.length < length) tokens.push(gen.next().value);
    scripts.push(tokens);
  }
  const file = path.join(profile, 'scripts.txt');
  fs.writeFileSync(file, scripts.map((s) => s.join(' ')).join('\n') + '\n');
  const expected = execFileSync(replayTool, [file], { encoding: 'utf8', maxBuffer: 1 << 26 }).trim().split('\n')
    .map((l) => l.split(' '));
  let keys = 0;
  for (let i = 0; i < count; i++) {
    const t = await openPage();
    const states = [await t.state()];
    for (const tok of scripts[i]) {
      await t.type(tok);
      states.push(await t.state());
      if (states.at(-1) !== expected[i][states.length - 1]) break;
    }
    keys += states.length - 1;
    const step = states.findIndex((h, k) => h !== expected[i][k]);
    if (step >= 0 || states.length !== expected[i].length) {
      const at = step >= 0 ? step : states.length;
      const page = (await t.state(true)).split('\n');
      const double = execFileSync(replayTool, [file, String(i), String(at)], { encoding: 'utf8' }).split('\n');
      const line = page.findIndex((l, k) => l !== double[k]);
      failures.push(`script ${i} (${scripts[i].slice(0, at).join(' ')}): after key ${at}, line ${line}: ` +
        `page ${JSON.stringify(page[line])}, double ${JSON.stringify(double[line])}`);
    }
    await t.page.close();
  }
  return keys;
}

// ---- Run -------------------------------------------------------------------

const only = process.env.ZW_WEB_ONLY;
for (const [name, check] of Object.entries(CHECKS)) {
  if (only && !name.includes(only)) continue;
  const t = await openPage();
  const before = failures.length;
  await check(t, name).catch((e) => failures.push(`${name}: ${e.message}`));
  console.log(`${failures.length === before ? 'ok  ' : 'FAIL'} ${name}`);
  await t.page.close();
}
if (!only || only === 'scripts') {
  const started = Date.now();
  const before = failures.length;
  const keys = await runScripts(Number(scriptCount));
  console.log(`${failures.length === before ? 'ok  ' : 'FAIL'} ${scriptCount} random key scripts (${keys} keys) ` +
    `on the page and the test double, the same after every key (${((Date.now() - started) / 1000).toFixed(0)} s)`);
}
await chromium.close();
server.close();
for (const f of failures) console.log(`  ${f}`);
process.exit(failures.length ? 1 : 0);
