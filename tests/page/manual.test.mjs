// The manual, as a musician opens it: the built "Yawp Wah Manual.html"
// straight from disk in headless Chromium. It must render with no console
// error, every picture must load from inside the file, and it must ask the
// network for nothing. MANUAL names another copy than the Linux lane's.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { launch, ROOT, OUT_DIR } from './lib/harness.mjs';

const MANUAL = process.env.MANUAL || path.join(ROOT, 'build', 'linux', 'manual', 'Yawp Wah Manual.html');

async function open(browser, viewport) {
  const page = await browser.context.newPage();
  const errors = [];
  const requests = [];
  page.on('console', (msg) => {
    if (msg.type() === 'error' || msg.type() === 'warning') errors.push(`${msg.type()}: ${msg.text()}`);
  });
  page.on('pageerror', (err) => errors.push(`pageerror: ${err.message}`));
  page.on('requestfailed', (req) => errors.push(`failed: ${req.url().slice(0, 100)}`));
  page.on('request', (req) => requests.push(req.url()));
  if (viewport) await page.setViewportSize(viewport);
  const url = pathToFileURL(MANUAL).href;
  await page.goto(url, { waitUntil: 'load' });
  return { page, errors, requests, url };
}

describe('manual', () => {
  let browser;
  before(async () => {
    assert.ok(fs.existsSync(MANUAL), `${MANUAL} is missing: build the linux lane first`);
    browser = await launch();
  });
  after(async () => { if (browser) await browser.close(); });

  it('renders offline with every picture and no console error', async () => {
    const { page, errors, requests, url } = await open(browser, { width: 1280, height: 900 });
    const pictures = await page.evaluate(() => [...document.images].map((img) => ({
      alt: img.alt.slice(0, 50),
      embedded: img.src.startsWith('data:image/'),
      loaded: img.complete && img.naturalWidth > 0 && img.naturalHeight > 0,
    })));
    assert.ok(pictures.length >= 7, `pictures: ${pictures.length}`);
    for (const p of pictures) {
      assert.ok(p.embedded, `not embedded: ${p.alt}`);
      assert.ok(p.loaded, `did not load: ${p.alt}`);
    }
    // Nothing but the page itself (and its data: pictures) was asked for.
    const elsewhere = requests.filter((r) => r !== url && !r.startsWith('data:'));
    assert.deepEqual(elsewhere, []);

    // The contents lead to their chapters.
    const links = await page.evaluate(() => [...document.querySelectorAll('a[href^="#"]')]
      .map((a) => a.getAttribute('href').slice(1))
      .filter((id) => !document.getElementById(decodeURIComponent(id))));
    assert.deepEqual(links, []);
    await page.click('nav a[href="#presets"]');
    assert.equal(new URL(page.url()).hash, '#presets');
    const top = await page.evaluate(() => document.getElementById('presets').getBoundingClientRect().top);
    assert.ok(Math.abs(top) < 40, `the presets chapter is at ${top}`);

    // The editor's colours: the page's background and accent.
    const look = await page.evaluate(() => ({
      background: getComputedStyle(document.body).backgroundColor,
      accent: getComputedStyle(document.querySelector('.cover .brand b')).color,
    }));
    assert.deepEqual(look, { background: 'rgb(17, 19, 23)', accent: 'rgb(255, 176, 46)' });

    await page.goto(url);
    await page.screenshot({ path: path.join(OUT_DIR, 'manual-1280.png') });
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('fits a phone screen without sideways scrolling', async () => {
    const { page, errors } = await open(browser, { width: 390, height: 800 });
    const widths = await page.evaluate(() => ({ page: document.documentElement.scrollWidth, view: window.innerWidth }));
    assert.ok(widths.page <= widths.view, `${widths.page} px of page in ${widths.view} px`);
    await page.screenshot({ path: path.join(OUT_DIR, 'manual-390.png') });
    assert.deepEqual(errors, []);
    await page.close();
  });
});
