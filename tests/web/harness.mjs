// What the browser checks share: the built page served on 127.0.0.1 (under
// /nopack/ without its pack, under /cutpack/ with a pack whose file is cut
// short, under /droppack/ with a connection that ends before the pack's
// announced length), the system's Chromium driven by
// playwright-core, and the reference files of the Linux build.
//   QVO_WEB_DIST   the page (default dist/web)
//   QVO_BUILD_DIR  the Linux build with qvo-render and qvo-pack (default build)
//   QVO_WEB_BUILD  the emscripten build with qvo-framemd5.js (default build-web)
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import {fileURLToPath} from 'node:url';
import {chromium} from 'playwright-core';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const dist = path.resolve(process.env.QVO_WEB_DIST || path.join(root, 'dist/web'));
export const buildDir = path.resolve(process.env.QVO_BUILD_DIR || path.join(root, 'build'));
export const webBuildDir = path.resolve(process.env.QVO_WEB_BUILD || path.join(root, 'build-web'));

const types = {'.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.png': 'image/png'};

export function serve() {
  const server = http.createServer((request, response) => {
    let name = decodeURIComponent(new URL(request.url, 'http://page').pathname);
    const variant = name.match(/^\/(nopack|cutpack|droppack)\//)?.[1];
    if (variant) name = name.slice(variant.length + 1);
    if (name === '/') name = '/index.html';
    const file = path.join(dist, path.normalize(name));
    const isPack = file.endsWith('.dat');
    if (!file.startsWith(dist + path.sep) || (variant === 'nopack' && isPack) || !fs.existsSync(file)) {
      response.writeHead(404);
      response.end();
      return;
    }
    const type = types[path.extname(file)] || 'application/octet-stream';
    if (isPack && variant) {
      // A third of the pack: as the whole file, or as the start of a
      // transfer that announced all of it.
      const size = fs.statSync(file).size;
      const third = Math.floor(size / 3);
      response.writeHead(200, {'Content-Type': type, 'Content-Length': variant === 'cutpack' ? third : size});
      const part = fs.createReadStream(file, {end: third - 1});
      if (variant === 'cutpack') part.pipe(response);
      else part.on('end', () => response.destroy()).pipe(response, {end: false});
      return;
    }
    response.writeHead(200, {'Content-Type': type});
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// Chromium as the closed network here needs it; sound may start without a
// real click in a test.
export function launch() {
  return chromium.launch({
    executablePath: process.env.QVO_CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--autoplay-policy=no-user-gesture-required'],
  });
}

// Opens the page, collecting console errors and uncaught exceptions, and
// waits until it offers the start button.
export async function openPage(browser, server, address) {
  const page = await browser.newPage({viewport: {width: 800, height: 600}});
  const errors = [];
  page.on('console', (message) => { if (message.type() === 'error') errors.push(message.text()); });
  page.on('pageerror', (error) => errors.push(String(error)));
  await page.goto(`http://127.0.0.1:${server.address().port}${address}`);
  await page.waitForFunction(() => window.Module && Module.qvo.stats.loadMs !== null, null, {timeout: 60000});
  return {page, errors};
}

export const stats = (page) => page.evaluate(() => Module.qvo.stats);

// The box the page shows, once it is open: {caption, text, buttons}.
export async function waitForBox(page, timeout) {
  await page.waitForSelector('#box[open]', {timeout});
  return page.evaluate(() => ({
    caption: document.querySelector('#box h1').textContent,
    text: document.querySelector('#box p').textContent,
    buttons: [...document.querySelectorAll('#box button')].map((b) => b.textContent),
  }));
}

// A binary PPM (P6) as {width, height, rgb}.
export function readPpm(file) {
  const data = fs.readFileSync(file);
  const header = data.toString('latin1', 0, 64).match(/^P6\s+(\d+)\s+(\d+)\s+(\d+)\s/);
  if (!header) throw new Error(`${file}: not a binary PPM`);
  return {width: Number(header[1]), height: Number(header[2]), rgb: data.subarray(header[0].length)};
}
