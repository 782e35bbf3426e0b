// The page's figures in headless Chromium (bench/web.sh):
//
//   node bench/web_page.mjs BUILD_WEB [LOADS] [KEYS]
//
// Prints "name value" lines: the time from the start of navigation to the
// first "Operation: " prompt on the page, median and maximum over LOADS (20)
// loads, each in a fresh tab with the browser's cache on; and for KEYS
// (1,000) digits typed at the prompt, the time from each key event (its
// time stamp, taken when the browser made it from the protocol's
// Input.dispatchKeyEvent) to the page's rows holding the echo, and to the
// next frame after that, medians and 99th percentiles.
import { launch, serve } from '../tests/web/browser.mjs';

const [buildWeb, loads = '20', keys = '1000'] = process.argv.slice(2);
const server = await serve(buildWeb);
const { url } = server;
const chromium = await launch();
const { browser } = chromium;

const quantile = (xs, q) => [...xs].sort((a, b) => a - b)[Math.min(xs.length - 1, Math.floor(q * xs.length))];
const ms = (x) => x.toFixed(1);

// In every page: when the prompt first shows, and per key event, when it
// came, when the rows changed after it, and the frame after that.
function recorder() {
  window.bench = { prompt: null, keys: [] };
  addEventListener('keydown', (e) => window.bench.keys.push({ at: e.timeStamp }), true);
  addEventListener('DOMContentLoaded', () => new MutationObserver(() => {
    const now = performance.now();
    const b = window.bench;
    if (b.prompt === null && document.querySelectorAll('.row')[8]?.textContent.startsWith('Operation: ')) b.prompt = now;
    const k = b.keys.at(-1);
    if (k && k.echo === undefined) {
      k.echo = now;
      requestAnimationFrame(() => { k.frame = performance.now(); });
    }
  }).observe(document.getElementById('buffer'), { childList: true, subtree: true, characterData: true }));
}

const loadTimes = [];
for (let i = 0; i < Number(loads); i++) {
  const page = await browser.newPage();
  await page.evaluateOnNewDocument(recorder);
  await page.goto(url);
  await page.waitForFunction(() => window.bench.prompt !== null, { polling: 10 });
  loadTimes.push(await page.evaluate(() => window.bench.prompt));
  await page.close();
}
console.log(`load_to_prompt_median_ms ${ms(quantile(loadTimes, 0.5))}`);
console.log(`load_to_prompt_max_ms ${ms(Math.max(...loadTimes))}`);

const page = await browser.newPage();
await page.evaluateOnNewDocument(recorder);
await page.goto(url);
await page.waitForFunction(() => window.bench.prompt !== null, { polling: 10 });
const cdp = await page.createCDPSession();
for (let i = 0; i < Number(keys); i++) {
  // Forty digits to a line, then Escape clears it (not measured).
  const d = String(i % 10);
  for (const type of ['rawKeyDown', 'keyUp']) {
    await cdp.send('Input.dispatchKeyEvent', { type, code: `Digit${d}`, key: d, windowsVirtualKeyCode: 48 + (i % 10) });
  }
  await page.waitForFunction(() => window.bench.keys.at(-1).frame !== undefined, { polling: 1 });
  if (i % 40 === 39) {
    for (const type of ['rawKeyDown', 'keyUp']) {
      await cdp.send('Input.dispatchKeyEvent', { type, code: 'Escape', key: 'Escape', windowsVirtualKeyCode: 27 });
    }
    await page.evaluate(() => window.bench.keys.pop());
  }
}
const typed = await page.evaluate(() => window.bench.keys);
const echo = typed.map((k) => k.echo - k.at);
const frame = typed.map((k) => k.frame - k.at);
console.log(`keys ${typed.length}`);
console.log(`key_to_echo_median_ms ${ms(quantile(echo, 0.5))}`);
console.log(`key_to_echo_p99_ms ${ms(quantile(echo, 0.99))}`);
console.log(`key_to_frame_median_ms ${ms(quantile(frame, 0.5))}`);
console.log(`key_to_frame_p99_ms ${ms(quantile(frame, 0.99))}`);
await chromium.close();
server.close();
