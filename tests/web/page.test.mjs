// The demo in headless Chromium, as a visitor of the page sees and hears it.
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {after, before, test} from 'node:test';

import {buildDir, dist, launch, openPage, readPpm, serve, stats, waitForBox, webBuildDir} from './harness.mjs';

let server, browser, work;
before(async () => {
  server = await serve();
  browser = await launch();
  work = fs.mkdtempSync(path.join(os.tmpdir(), 'qvo-web-'));
});
after(async () => {
  await browser?.close();
  server?.close();
  if (work) fs.rmSync(work, {recursive: true, force: true});
});

const waitForMusicTime = (page, ms) =>
  page.waitForFunction((t) => Module.qvo.stats.musicStart !== null &&
    performance.now() - Module.qvo.stats.musicStart >= t, ms, {timeout: ms + 30000, polling: 50});

// The Linux frame at 10 s: its title pixels (the only ones with blue in
// them) and its all-black rows (letterbox).
function linuxFrameAt10s() {
  const file = path.join(work, 'frame100.ppm');
  execFileSync(path.join(buildDir, 'qvo-render'), ['--pack', path.join(buildDir, 'QuelVarnOssa.dat'), '--fps', '10',
    '--dump', '100', file], {stdio: ['ignore', 'ignore', 'inherit']});
  const {width, height, rgb} = readPpm(file);
  const title = [], blackRows = [], reds = new Set();
  for (let i = 0; i < width * height; ++i) {
    if (rgb[3 * i + 2] > 40) title.push(i);
    else if (rgb[3 * i] > 0 && rgb[3 * i + 1] === 0 && rgb[3 * i + 2] === 0) reds.add(rgb[3 * i]);
  }
  for (let y = 0; y < height; ++y) {
    let black = true;
    for (let x = 0; x < width && black; ++x) black = Math.max(...rgb.subarray(3 * (y * width + x), 3 * (y * width + x) + 3)) < 3;
    if (black) blackRows.push(y);
  }
  return {title, blackRows, redShades: reds.size};
}

// The main clip as ffmpeg decodes it (gapless, by its LAME tag).
function linuxDecode() {
  const clip = path.join(work, 'main.mp3');
  execFileSync(path.join(buildDir, 'qvo-pack'), ['extract', path.join(buildDir, 'QuelVarnOssa.dat'),
    'data/kov-marrowin(clip).mp3', clip]);
  const pcm = execFileSync('ffmpeg', ['-v', 'error', '-i', clip, '-f', 's16le', '-ac', '2', '-ar', '44100', '-'],
    {maxBuffer: 64 << 20});
  const samples = new Int16Array(pcm.buffer, pcm.byteOffset, pcm.length / 2);
  return {frames: samples.length / 2, firstSound: Math.floor(samples.findIndex((v) => v !== 0) / 2)};
}

function canvasSummary(page) {
  return page.evaluate(() => {
    const data = document.getElementById('screen').getContext('2d').getImageData(0, 0, 640, 480).data;
    const title = [], blackRows = [], reds = new Set();
    let redNoise = 0, other = 0;
    for (let i = 0; i < 640 * 480; ++i) {
      const r = data[4 * i], g = data[4 * i + 1], b = data[4 * i + 2];
      if (b > 40) title.push(i);
      else if (g === 0 && b === 0 && r > 0) { ++redNoise; reds.add(r); }
      else if (r + g + b > 6) ++other;
    }
    for (let y = 0; y < 480; ++y) {
      let black = true;
      for (let x = 0; x < 640 && black; ++x) black = Math.max(data[4 * (y * 640 + x)], data[4 * (y * 640 + x) + 1], data[4 * (y * 640 + x) + 2]) < 3;
      if (black) blackRows.push(y);
    }
    return {title, blackRows, redNoise, redShades: reds.size, other};
  });
}

// The bar cue times (ms after the music started), from the demo's own data.
const barTimes = () => execFileSync(process.execPath, [path.join(webBuildDir, 'qvo-framemd5.js'), '--bars'])
  .toString().trim().split('\n').map(Number);

const percentile = (values, p) => [...values].sort((a, b) => a - b)[Math.min(values.length - 1, Math.floor(values.length * p))];

test('the whole run: picture, music in sync with the clock, credits, the end', {timeout: 240000}, async () => {
  const reference = linuxFrameAt10s();
  const decoded = linuxDecode();
  const {page, errors} = await openPage(browser, server, '/index.html?credits');
  assert.equal(await page.isEnabled('#start'), true);
  // What the page makes ready while it waits for the click.
  await page.waitForFunction(() => Module.qvoMusic, null, {timeout: 30000});
  await page.click('#start');

  await waitForMusicTime(page, 500);
  assert.equal(await page.evaluate(() => Module._qvoWatchBlocks()), 1, 'a DSP procedure can be set on the music');
  const begun = await stats(page);
  assert.ok(begun.musicStart - begun.clickAt >= 3500, 'the pre-roll came first');
  assert.equal(begun.musicPredecoded, true, 'the music decoded before the click was the one asked for');
  assert.equal(begun.musicPlaced, true, 'the music was already in the program\'s memory');
  assert.equal(begun.audioPrepared, true, 'the sound output and its worklet were made before the click');

  await waitForMusicTime(page, 10000);
  const picture = await canvasSummary(page);
  await page.screenshot({path: path.join(webBuildDir, 'page-at-10s.png')});
  assert.ok(picture.redNoise > 0.6 * 640 * 480 && picture.redShades >= reference.redShades - 3,
    `red noise: ${picture.redNoise} pixels, ${picture.redShades} shades (Linux ${reference.redShades})`);
  assert.deepEqual(picture.title, reference.title, 'the title where the Linux frame has it');
  assert.deepEqual(picture.blackRows, reference.blackRows, 'the letterbox rows of the Linux frame');
  assert.equal(picture.other, 0, 'nothing but noise, title and black');

  const box = await waitForBox(page, 170000);
  assert.equal(box.caption, 'Credits...');
  assert.match(box.text, /Quel {2}Varn {2}Ossa/);
  const audioState = await page.evaluate(() => ({blocks: Module._qvoWatchedBlocks(), misplaced: Module._qvoMisplacedBlocks()}));
  await page.click('#box button');
  await page.waitForFunction(() => Module.qvo.stats.exitCode !== null, null, {timeout: 5000});

  const s = await stats(page);
  fs.writeFileSync(path.join(webBuildDir, 'page-sync.json'), JSON.stringify({sync: s.sync, work: s.frameWork,
    missedFrames: s.missedFrames, replacements: s.replacements, clickToMusic: s.musicStart - s.clickAt}));
  assert.equal(s.exitCode, 0);
  assert.deepEqual(errors, [], 'no console error');
  // The browser honours the LAME tag: sample 0 is the clip's first sample.
  assert.equal(s.decodedFrames, decoded.frames, 'decoded length as ffmpeg decodes it');
  assert.ok(Math.abs(s.firstSoundFrame - decoded.firstSound) <= 2, `first sound at ${s.firstSoundFrame}, ffmpeg ${decoded.firstSound}`);
  // Every block of the 152 s went through the hook, each the next part of the clip.
  assert.ok(audioState.blocks >= 150 * 44100 / 1024, `${audioState.blocks} blocks seen`);
  assert.equal(audioState.misplaced, 0, 'blocks in order');
  // The music heard agrees with the demo clock at every bar (the frame
  // nearest each bar cue), measured once a frame in the page.
  const heard = s.sync.filter(([clock]) => clock < 152000);
  assert.ok(heard.length > 152 * 20, `${heard.length} measurements`);
  // A bar with no frame within 50 ms of it found the page stalled (a busy
  // machine); a few such bars are allowed and reported.
  const bars = barTimes().filter((t) => t < 151000);
  const atBars = bars.map((bar) => {
    const nearest = heard.reduce((a, b) => (Math.abs(b[0] - bar) < Math.abs(a[0] - bar) ? b : a));
    return [bar, nearest[1], Math.abs(nearest[0] - bar) <= 50];
  }).filter(([, , measured]) => measured);
  assert.ok(atBars.length >= 0.95 * bars.length, `${atBars.length} of ${bars.length} bars measured`);
  const offBars = atBars.filter(([, off]) => Math.abs(off) > 20).map(([bar, off]) => [bar, off]);
  assert.deepEqual(offBars, [], 'bars where the music is more than 20 ms off the clock');
  const worstBar = Math.max(...atBars.map(([, off]) => Math.abs(off)));
  const worst = Math.max(...heard.map(([, off]) => Math.abs(off)));
  const beyond5 = heard.filter(([, off]) => Math.abs(off) > 5).length;
  assert.ok(s.missedFrames < 44100 / 2, `${s.missedFrames} frames found no music`);

  console.log(`page load ${s.loadMs.toFixed(0)} ms; frames ${s.frames}; frame work median ${percentile(s.frameWork, 0.5).toFixed(1)} ms, ` +
    `95% ${percentile(s.frameWork, 0.95).toFixed(1)} ms; frame interval median ${percentile(s.frameIntervals, 0.5).toFixed(1)} ms; ` +
    `music vs clock worst ${worstBar.toFixed(2)} ms at ${atBars.length} of ${bars.length} bars, ${worst.toFixed(2)} ms over ${heard.length} frames (${beyond5} beyond 5 ms); ` +
    `${s.replacements} re-placements; ${s.missedFrames} frames without music; ` +
    `click to music ${(s.musicStart - s.clickAt).toFixed(0)} ms (music decode wait ${s.decodeWaitMs.toFixed(1)} ms); ` +
    `${audioState.blocks} blocks through the hook`);
});

// Enter starts the show, Escape ends it; one click (or Space) starts it again
// from the start, with no reload and no second click.
test('keys start and end a run; the end offers one-click restarts', {timeout: 90000}, async () => {
  const {page, errors} = await openPage(browser, server, '/index.html');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'start', 'the start button has the focus');
  await page.keyboard.press('Enter');
  await waitForMusicTime(page, 2000);
  const before = (await stats(page)).frames;
  await page.keyboard.press('Escape');
  await page.waitForFunction(() => Module.qvo.stats.exitCode !== null, null, {timeout: 2000});
  const s = await stats(page);
  assert.equal(s.exitCode, 0);
  assert.ok(before > 30, 'frames were shown before');
  await page.waitForTimeout(300);
  assert.equal((await stats(page)).frames, s.frames, 'no frame after the end');
  assert.equal(await page.evaluate(() => getComputedStyle(document.getElementById('screen')).visibility), 'hidden');
  assert.match(await page.textContent('#start'), /again/);

  await page.evaluate(() => { window.firstRun = Module; });
  await page.click('#start');
  await waitForMusicTime(page, 1000);
  const again = await stats(page);
  assert.equal(again.runs, 2, 'the click started a second run');
  assert.equal(again.exitCode, null);
  assert.ok(again.musicStart - again.clickAt >= 3500, 'the second run has its pre-roll too');
  assert.equal(await page.evaluate(() => window.firstRun !== Module && window.firstRun.qvo === Module.qvo), true,
    'a fresh instance of the program, no reload');
  await page.keyboard.press('Escape');
  await page.waitForFunction(() => Module.qvo.stats.exitCode !== null, null, {timeout: 2000});
  await page.keyboard.press(' ');
  await page.waitForFunction(() => Module.qvo.stats.runs === 3 && Module.qvo.stats.frames > 5, null, {timeout: 10000});
  assert.deepEqual(errors, []);
  await page.close();
});

const shots = process.env.QVO_SHOTS || webBuildDir;

// Before any click: the reason on the page, no start button, and the
// program's own box (its fixed text, the reason beneath) over it.
for (const [where, pageSays] of [
  ['nopack', /QuelVarnOssa\.dat could not be loaded: the server answered 404/],
  ['cutpack', /QuelVarnOssa\.dat is damaged/],
  ['droppack', /QuelVarnOssa\.dat arrived cut short: [\d,]+ of [\d,]+ bytes/],
]) {
  test(`a pack that cannot work (${where}) is reported before any click`, {timeout: 60000}, async () => {
    const {page, errors} = await openPage(browser, server, `/${where}/index.html`);
    const box = await waitForBox(page, 10000);
    assert.equal(await page.isVisible('#start'), false, 'no start button');
    assert.match(await page.textContent('#status'), pageSays);
    assert.deepEqual(box.buttons, ['OK']);
    const [fixed, reason] = box.text.split('\n\n');
    assert.equal(fixed, 'Fuck you.');
    assert.match(reason, /QuelVarnOssa\.dat/, 'the reason beneath the fixed text');
    // Modal, in the middle of the page, not at its top edge.
    const place = await page.evaluate(() => {
      const element = document.getElementById('box'), r = element.getBoundingClientRect();
      return {middle: (r.top + r.bottom) / 2, modal: element.matches(':modal')};
    });
    assert.equal(place.modal, true);
    assert.ok(Math.abs(place.middle - 300) < 30, `box centred at ${place.middle} of 600`);
    await page.screenshot({path: path.join(shots, `page-${where}.png`)});
    // The program's standard error, as on the desktop; a page has no
    // installed data directory to search or name.
    const said = (await stats(page)).programErrors.join('\n');
    assert.match(said, /Pack file "QuelVarnOssa\.dat" (cannot be opened|has a malformed directory)/);
    assert.doesNotMatch(said, /share|emscripten|\/usr/);
    assert.ok(errors.some((e) => /QuelVarnOssa\.dat/.test(e)), `reason in the console: ${errors.join(' | ')}`);
    await page.click('#box button');
    await page.waitForFunction(() => Module.qvo.stats.exitCode !== null, null, {timeout: 5000});
    assert.equal((await stats(page)).exitCode, 2);
    assert.match(await page.textContent('#status'), /Pack file "QuelVarnOssa\.dat"/, 'the program\'s words beneath the page\'s');
    assert.equal(await page.isVisible('#start'), false, 'still nothing to start');
    await page.close();
  });
}

test('opened as a file, the page says it must be served, and how', {timeout: 30000}, async () => {
  const page = await browser.newPage({viewport: {width: 800, height: 600}});
  await page.goto(`file://${path.join(dist, 'index.html')}`);
  await page.waitForSelector('#status.problem', {timeout: 10000});
  const said = await page.textContent('#status');
  assert.match(said, /has to be served/);
  assert.match(said, /http\.server/);
  assert.equal(await page.isVisible('#start'), false);
  await page.screenshot({path: path.join(shots, 'page-file.png')});
  await page.close();
});

test('the video keyword says the desktop build renders video', {timeout: 60000}, async () => {
  const {page, errors} = await openPage(browser, server, '/index.html?Video&fps=25');
  await page.click('#start');
  const box = await waitForBox(page, 10000);
  assert.match(box.text, /desktop build/);
  await page.click('#box button');
  await page.waitForFunction(() => Module.qvo.stats.exitCode !== null, null, {timeout: 5000});
  assert.equal((await stats(page)).exitCode, 0);
  assert.deepEqual(errors, []);
  await page.close();
});
