// Plays .flv slides in a headless browser (Chromium, or Firefox ESR where its
// path names firefox) through one web player library (PLAYER: mpegts.js, the
// default, which reads the extended headers: AV1, HEVC, Opus, FLAC; or
// flv.js), and reports per slide whether it played without an error: a
// second of it, or with THROUGH=1 the whole slide at four times its speed,
// with how many video frames presented and how many audio bytes decoded.
// Chromium's media log names a failing packet.
// Usage: [PLAYER=flv.js] [THROUGH=1] node plays.js BROWSER DIR SLIDE...
// One line per slide on standard output:
//   SLIDE ok=<0|1> frames=<n> audio=<bytes> played=<s> warnings=<n> error=<text>
// (warnings: the library's about AVCDecoderConfigurationRecords).
'use strict';
const { withPlayerPage, inPage } = require('./page');

const [browserPath, dir, ...slides] = process.argv.slice(2);
const library = process.env.PLAYER || 'mpegts.js';
const through = process.env.THROUGH === '1';

async function playInPage(url, flv, through) {
  const lib = flv ? flvjs : mpegts;
  const video = document.createElement('video');
  video.muted = true;
  document.body.appendChild(video);
  const player = lib.createPlayer({ type: 'flv', url }, { enableWorker: false });
  let error = '', ended = false;
  player.on(lib.Events.ERROR, (type, detail, info) => { error = `${type} ${detail} ${info && info.msg ? info.msg : ''}`; });
  video.addEventListener('error', () => { error = error || `media error ${video.error && video.error.message}`; });
  video.addEventListener('ended', () => { ended = true; });
  let frames = 0;
  if (video.requestVideoFrameCallback)
    video.requestVideoFrameCallback(function seen() { frames++; video.requestVideoFrameCallback(seen); });
  player.attachMediaElement(video);
  player.load();
  if (through)
    video.playbackRate = 4;
  try { await video.play(); } catch (e) { error = error || `play: ${e.message}`; }
  const started = Date.now();
  const done = () => ended || (through ? video.duration > 0 && video.currentTime >= video.duration - 0.1
                                       : video.currentTime >= 1);
  while (!error && !done() && Date.now() - started < 20000)
    await new Promise(r => setTimeout(r, 50));
  if (!video.requestVideoFrameCallback && video.getVideoPlaybackQuality)
    frames = video.getVideoPlaybackQuality().totalVideoFrames;
  const audio = video.webkitAudioDecodedByteCount || 0;
  const result = { ok: !error && done(), frames, audio, played: video.currentTime, error };
  player.destroy();
  video.remove();
  return result;
}

withPlayerPage(browserPath, dir, `${library}/dist/${library}`, async (page, urlOf) => {
  const log = [], warned = [];
  // flv.js and mpegts.js warn of sequence headers they find strange.
  page.on('console', m => { if (/AVCDecoderConfigurationRecord/.test(m.text())) warned.push(m.text()); });
  const players = new Set(); // Chromium's media players of the slide being played
  if (page.context && page.context().newCDPSession) { // Chromium: its media log
    const cdp = await page.context().newCDPSession(page);
    await cdp.send('Media.enable');
    cdp.on('Media.playersCreated', e => e.players.forEach(p => players.add(p.playerId || p)));
    const ours = e => players.has(e.playerId);
    cdp.on('Media.playerErrorsRaised', e => { if (ours(e)) e.errors.forEach(m => log.push(m.errorType)); });
    cdp.on('Media.playerMessagesLogged', e => {
      if (ours(e)) e.messages.forEach(m => { if (m.level === 'error') log.push(m.message); });
    });
  } else { // Firefox: what its decoder says reaches the console
    page.on('console', m => { if (m.type() === 'error') log.push(m.text()); });
  }
  for (const slide of slides) {
    log.length = 0;
    warned.length = 0;
    players.clear();
    const r = await inPage(page, playInPage, urlOf(slide), library === 'flv.js', through);
    const error = (r.error || log[0] || '').replace(/\s+/g, '_') || '-';
    console.log(`${slide} ok=${r.ok && !log.length ? 1 : 0} frames=${r.frames} audio=${r.audio} ` +
                `played=${r.played.toFixed(2)} warnings=${warned.length} error=${error}`);
  }
});
