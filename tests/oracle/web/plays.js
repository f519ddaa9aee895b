// Plays .flv slides in headless Chromium through mpegts.js, which reads the
// extended headers (AV1, HEVC, Opus, FLAC), and reports per slide whether
// it played a second without an error, with how many video frames presented
// and how many audio bytes decoded.
// Usage: node plays.js CHROMIUM DIR SLIDE...
// One line per slide on standard output: SLIDE ok=<0|1> frames=<n> audio=<bytes> error=<text>
'use strict';
const { withPlayerPage, inPage } = require('./page');

const [chromiumPath, dir, ...slides] = process.argv.slice(2);

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

withPlayerPage(chromiumPath, dir, 'mpegts.js/dist/mpegts.js', async (page, urlOf) => {
  for (const slide of slides) {
    const r = await inPage(page, playInPage, urlOf(slide));
    console.log(`${slide} ok=${r.ok ? 1 : 0} frames=${r.frames} audio=${r.audio} error=${r.error.replace(/\s+/g, '_') || '-'}`);
  }
});
