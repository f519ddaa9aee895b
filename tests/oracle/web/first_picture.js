// Plays .flv slides in headless Chromium through flv.js, as a web page
// does, and reports per slide: the first picture presented while playing
// and the still of the slide loaded without playing, each as the PSNR (dB)
// against the recording's pictures at given indices, and the media times of
// the first presented frames.
// Usage: node first_picture.js CHROMIUM DIR WIDTH HEIGHT RECORDING.rgba SLIDE:INDEX...
// DIR holds the slides; INDEX is the recording's picture the slide must
// start with. One line per slide on standard output:
//   SLIDE first=<dB> first_before=<dB> still=<dB> times=<ms,ms,...> dropped=<n>
'use strict';
const fs = require('fs');
const { withPlayerPage, inPage } = require('./page');

const [chromiumPath, dir, widthArg, heightArg, recordingPath, ...slides] = process.argv.slice(2);
const width = Number(widthArg), height = Number(heightArg);
const frameBytes = width * height * 4;
const recording = fs.readFileSync(recordingPath);

function psnr(rgba, index) {
  if (index < 0 || (index + 1) * frameBytes > recording.length) return 0;
  const base = index * frameBytes;
  let sum = 0, n = 0;
  for (let i = 0; i < frameBytes; i++) {
    if (i % 4 === 3) continue; // alpha
    const d = rgba[i] - recording[base + i];
    sum += d * d;
    n++;
  }
  return sum === 0 ? 99 : 10 * Math.log10((255 * 255) / (sum / n));
}

// In the page: a slide's first presented picture while playing, its still
// when loaded without playing, and the media times of its first frames.
async function probeInPage(url, w, h) {
  function grab(video) {
    const canvas = document.createElement('canvas');
    canvas.width = w; canvas.height = h;
    const ctx = canvas.getContext('2d');
    ctx.drawImage(video, 0, 0, w, h);
    return Array.from(ctx.getImageData(0, 0, w, h).data);
  }
  function open() {
    const video = document.createElement('video');
    video.muted = true;
    document.body.appendChild(video);
    const player = flvjs.createPlayer({ type: 'flv', url }, { enableWorker: false });
    player.attachMediaElement(video);
    return { video, player };
  }
  const within = (promise, ms, what) =>
    Promise.race([promise, new Promise((_, reject) => setTimeout(() => reject(new Error(what)), ms))]);

  const still = open();
  still.player.load();
  await within(new Promise(r => still.video.addEventListener('loadeddata', r, { once: true })), 15000, 'no loadeddata');
  await new Promise(r => setTimeout(r, 200));
  const stillPicture = grab(still.video);
  still.player.destroy();

  const playing = open();
  const times = [];
  let firstPicture = null;
  const firstFrames = new Promise(resolve => {
    playing.video.requestVideoFrameCallback(function seen(now, meta) {
      if (firstPicture === null) firstPicture = grab(playing.video);
      times.push(Math.round(meta.mediaTime * 1000));
      if (times.length < 3) playing.video.requestVideoFrameCallback(seen);
      else resolve();
    });
  });
  playing.player.load();
  // Slowly, so that a headless browser presents every frame it is given.
  playing.video.playbackRate = 0.25;
  await playing.video.play();
  await within(firstFrames, 15000, 'no frames presented');
  const dropped = playing.video.getVideoPlaybackQuality().droppedVideoFrames;
  playing.player.destroy();
  return { first: firstPicture, still: stillPicture, times, dropped };
}

withPlayerPage(chromiumPath, dir, 'flv.js/dist/flv.min.js', async (page, urlOf) => {
  for (const item of slides) {
    const [slide, indexText] = item.split(':');
    const index = Number(indexText);
    const result = await inPage(page, probeInPage, urlOf(slide), width, height);
    console.log(`${slide} first=${psnr(result.first, index).toFixed(2)} first_before=${psnr(result.first, index - 1).toFixed(2)} ` +
                `still=${psnr(result.still, index).toFixed(2)} times=${result.times.join(',')} dropped=${result.dropped}`);
  }
});
