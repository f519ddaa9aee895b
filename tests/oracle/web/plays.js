// Plays .flv slides in headless Chromium through mpegts.js, which reads the
// extended headers (AV1, HEVC, Opus, FLAC), and reports per slide whether
// it played a second without an error, with how many video frames presented
// and how many audio bytes decoded.
// Usage: node plays.js CHROMIUM DIR SLIDE...
// One line per slide on standard output: SLIDE ok=<0|1> frames=<n> audio=<bytes> error=<text>
'use strict';
const fs = require('fs');
const http = require('http');
const path = require('path');
const { chromium } = require('playwright-core');

const [chromiumPath, dir, ...slides] = process.argv.slice(2);
const library = path.join(__dirname, 'node_modules', 'mpegts.js', 'dist', 'mpegts.js');

const server = http.createServer((req, res) => {
  const name = decodeURIComponent(req.url.split('?')[0]).replace(/^\/+/, '');
  if (name === '' || name === 'index.html') {
    res.writeHead(200, { 'Content-Type': 'text/html' });
    res.end('<!doctype html><html><body><script src="mpegts.js"></script></body></html>');
    return;
  }
  fs.readFile(name === 'mpegts.js' ? library : path.join(dir, path.basename(name)), (err, data) => {
    if (err) { res.writeHead(404); res.end(); return; }
    res.writeHead(200, { 'Content-Type': name.endsWith('.js') ? 'text/javascript' : 'video/x-flv' });
    res.end(data);
  });
});

async function playInPage(url) {
  const video = document.createElement('video');
  video.muted = true;
  document.body.appendChild(video);
  const player = mpegts.createPlayer({ type: 'flv', url }, { enableWorker: false });
  let error = '';
  player.on(mpegts.Events.ERROR, (type, detail, info) => { error = `${type} ${detail} ${info && info.msg ? info.msg : ''}`; });
  video.addEventListener('error', () => { error = error || `media error ${video.error && video.error.message}`; });
  let frames = 0;
  video.requestVideoFrameCallback(function seen() { frames++; video.requestVideoFrameCallback(seen); });
  player.attachMediaElement(video);
  player.load();
  try { await video.play(); } catch (e) { error = error || `play: ${e.message}`; }
  const started = Date.now();
  while (!error && video.currentTime < 1 && Date.now() - started < 15000)
    await new Promise(r => setTimeout(r, 100));
  const result = { ok: !error && video.currentTime >= 1, frames, audio: video.webkitAudioDecodedByteCount || 0, error };
  player.destroy();
  return result;
}

(async () => {
  await new Promise(r => server.listen(0, '127.0.0.1', r));
  const port = server.address().port;
  const browser = await chromium.launch({
    executablePath: chromiumPath,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--autoplay-policy=no-user-gesture-required'],
  });
  let failed = false;
  try {
    const page = await browser.newPage();
    await page.goto(`http://127.0.0.1:${port}/index.html`);
    for (const slide of slides) {
      const r = await page.evaluate(([url, play]) => (0, eval)(`(${play})`)(url),
                                    [`http://127.0.0.1:${port}/${slide}`, playInPage.toString()]);
      console.log(`${slide} ok=${r.ok ? 1 : 0} frames=${r.frames} audio=${r.audio} error=${r.error.replace(/\s+/g, '_') || '-'}`);
    }
  } catch (e) {
    console.error(`error: ${e.message}`);
    failed = true;
  } finally {
    await browser.close();
    server.close();
  }
  process.exit(failed ? 1 : 0);
})();
