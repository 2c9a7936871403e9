// node click-to-music.mjs [RUNS]: the time from the click to the music's
// start, over RUNS (5) fresh pages, each clicked once the page has made
// ready what it makes before a click (the music in the program's memory);
// prints each run's moments (stats.marks, ms after the click) and the median.
// Serves dist/web as the checks do (harness.mjs).
import {launch, openPage, serve, stats} from './harness.mjs';

const runs = Number(process.argv[2] || 5);
const server = await serve();
const browser = await launch();
const times = [];
try {
  for (let i = 0; i < runs; ++i) {
    const {page} = await openPage(browser, server, '/index.html');
    const opened = Date.now();
    await page.waitForFunction(() => Module.qvoMusic, null, {timeout: 30000});
    const readyAfter = Date.now() - opened;
    await page.click('#start');
    await page.waitForFunction(() => Module.qvo.stats.musicStart !== null, null, {timeout: 30000});
    const s = await stats(page);
    const moments = Object.fromEntries(Object.entries(s.marks).map(([name, at]) => [name, Math.round(at - s.clickAt)]));
    times.push(s.musicStart - s.clickAt);
    console.log(`run ${i + 1}: click to music ${(s.musicStart - s.clickAt).toFixed(0)} ms; moments ${JSON.stringify(moments)}; ` +
      `ready ${readyAfter} ms after the page offered its button; audio prepared ${s.audioPrepared}, music placed ${s.musicPlaced}`);
    await page.close();
  }
} finally {
  await browser.close();
  server.close();
}
times.sort((a, b) => a - b);
console.log(`click to music: median ${times[Math.floor(times.length / 2)].toFixed(0)} ms of ${runs} ` +
  `(${times.map((t) => t.toFixed(0)).join(' ')})`);
