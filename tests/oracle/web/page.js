// What the web players' checks share: the slides and one player library
// served on loopback, and a headless browser with a page that loads the
// library, handed to a function that runs the checks in it. The browser is
// Chromium (through playwright-core), or Firefox ESR where its path names
// firefox (through puppeteer-core, over WebDriver BiDi).
'use strict';
const fs = require('fs');
const http = require('http');
const path = require('path');
const { chromium } = require('playwright-core');

async function launch(browserPath) {
  if (path.basename(browserPath).includes('firefox')) {
    const puppeteer = require('puppeteer-core');
    return puppeteer.launch({
      browser: 'firefox', executablePath: browserPath, headless: true, protocolTimeout: 120000,
      extraPrefsFirefox: { 'media.autoplay.default': 0, 'media.autoplay.blocking_policy': 0 },
    });
  }
  return chromium.launch({
    executablePath: browserPath,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--autoplay-policy=no-user-gesture-required'],
  });
}

// Serves library (a file under node_modules) as /player.js and the files of
// dir; runs check(page, urlOf) with urlOf(name) the address of a slide; exits
// non-zero when the browser run fails.
async function withPlayerPage(browserPath, dir, library, check) {
  const script = path.join(__dirname, 'node_modules', library);
  const server = http.createServer((req, res) => {
    const name = decodeURIComponent(req.url.split('?')[0]).replace(/^\/+/, '');
    if (name === '' || name === 'index.html') {
      res.writeHead(200, { 'Content-Type': 'text/html' });
      res.end('<!doctype html><html><body><script src="player.js"></script></body></html>');
      return;
    }
    fs.readFile(name === 'player.js' ? script : path.join(dir, path.basename(name)), (err, data) => {
      if (err) { res.writeHead(404); res.end(); return; }
      res.writeHead(200, { 'Content-Type': name.endsWith('.js') ? 'text/javascript' : 'video/x-flv' });
      res.end(data);
    });
  });
  await new Promise(r => server.listen(0, '127.0.0.1', r));
  const port = server.address().port;
  const browser = await launch(browserPath);
  let failed = false;
  try {
    const page = await browser.newPage();
    await page.goto(`http://127.0.0.1:${port}/index.html`);
    await check(page, name => `http://127.0.0.1:${port}/${name}`);
  } catch (e) {
    console.error(`error: ${e.message}`);
    failed = true;
  } finally {
    await browser.close();
    server.close();
  }
  process.exit(failed ? 1 : 0);
}

// Runs fn (a function of the page's own) in the page with the arguments.
function inPage(page, fn, ...args) {
  return page.evaluate(([source, rest]) => (0, eval)(`(${source})`)(...rest), [fn.toString(), args]);
}

module.exports = { withPlayerPage, inPage };
