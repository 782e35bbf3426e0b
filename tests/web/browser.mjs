// What the browser tests and the bench share: a build folder served on
// 127.0.0.1, and Debian's chromium started headless with a profile of its
// own, driven by puppeteer-core from ZW_NODE_DIR (tools/node-deps.sh).
import fs from 'node:fs';
import http from 'node:http';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';

export const nodeRequire = createRequire(`${process.env.ZW_NODE_DIR ?? '/opt/zahlwerk-node'}/`);

const TYPES = { '.html': 'text/html', '.mjs': 'text/javascript', '.wasm': 'application/wasm' };

// The files of `dir` (no subfolders) on a free port; resolves to the URL.
export async function serve(dir) {
  const server = http.createServer((req, res) => {
    const name = path.basename(new URL(req.url, 'http://host').pathname) || 'index.html';
    fs.readFile(path.join(dir, name), (err, data) => {
      if (err) res.writeHead(404).end();
      else res.writeHead(200, { 'Content-Type': TYPES[path.extname(name)] ?? 'application/octet-stream' }).end(data);
    });
  });
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  return { url: `http://127.0.0.1:${server.address().port}/`, close: () => server.close() };
}

// The browser, and close() that ends it and removes its profile.
export async function launch() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'zw-chromium-'));
  const browser = await nodeRequire('puppeteer-core').launch({
    executablePath: process.env.ZW_CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--autoplay-policy=no-user-gesture-required'],
  });
  return {
    browser,
    profile,
    close: async () => {
      await browser.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}
