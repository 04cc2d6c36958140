// Shared set-up for the page tests: one headless Chromium per test file,
// a fresh page per test, the editor opened from its file:// address as the
// plug-in opens it, and nothing allowed onto the network.
import { chromium } from 'playwright-core';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const ROOT = path.resolve(here, '../../..');
export const PAGE_URL = pathToFileURL(path.join(ROOT, 'resources', 'index.html')).href;
export const FEED_URL = 'https://tallow.audio/crier/v1/news.json';
export const OUT_DIR = process.env.PAGE_OUT || path.join(ROOT, 'build', 'page');
const FAKE = fs.readFileSync(path.join(here, 'fake-webview.js'), 'utf8');
const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';

export const BROWSER_ARGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
];

// opts.deviceScaleFactor: the display scale the pages see (1 by default).
export async function launch(opts = {}) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'yawp-page-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM,
    headless: true,
    args: BROWSER_ARGS,
    viewport: { width: 700, height: 677 },
    deviceScaleFactor: opts.deviceScaleFactor || 1,
  });
  // Only the page's own files may load; the news feed answers whatever
  // the test sets, and by default fails as it does offline.
  await context.route('**/*', (route) => {
    const url = route.request().url();
    if (url.startsWith('file:')) return route.continue();
    return route.abort('internetdisconnected');
  });
  return {
    context,
    async close() {
      await context.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

// Console errors that are not the page's doing: the browser's own log line
// for the feed request failing while offline.
function isOfflineFeedNoise(msg) {
  return /^Failed to load resource/.test(msg.text()) && msg.location().url.startsWith(FEED_URL);
}

// Opens the editor. opts.feed: an object served as the news feed, or
// undefined for offline. opts.host: false to leave out the fake webview.
// opts.clock: the page's timers, animation frames and clocks are fakes
// that stand still until the test runs them (page.clock.runFor).
export async function openEditor(browser, opts = {}) {
  const page = await browser.context.newPage();
  const errors = [];
  page.on('console', (msg) => {
    if ((msg.type() === 'error' || msg.type() === 'warning') && !isOfflineFeedNoise(msg)) {
      errors.push(`${msg.type()}: ${msg.text()}`);
    }
  });
  page.on('pageerror', (err) => errors.push(`pageerror: ${err.message}`));
  if (opts.viewport) await page.setViewportSize(opts.viewport);
  if (opts.feed !== undefined) {
    await page.route(FEED_URL, (route) => route.fulfill({
      status: 200,
      contentType: 'application/json',
      headers: { 'access-control-allow-origin': '*' },
      body: typeof opts.feed === 'string' ? opts.feed : JSON.stringify(opts.feed),
    }));
  }
  if (opts.host !== false) await page.addInitScript(FAKE);
  if (opts.clock) await page.clock.install({ time: 0 });
  await page.goto(PAGE_URL);
  await page.waitForFunction(() => window.Yawp && window.Yawp.news);
  if (opts.clock) await page.clock.pauseAt(10000);
  return { page, errors };
}

export function sent(page) {
  return page.evaluate(() => window.__host.sent.slice());
}

export function clearSent(page) {
  return page.evaluate(() => { window.__host.sent.length = 0; });
}

export function deliver(page, ...messages) {
  return page.evaluate((list) => { for (const m of list) window.__host.deliver(m); }, messages);
}

// The float bits of a value as the host writes them: eight lower-case hex digits.
export function bits(value) {
  const b = Buffer.alloc(4);
  b.writeFloatBE(value);
  return b.toString('hex');
}

export function valueOfBits(hex) {
  return Buffer.from(hex, 'hex').readFloatBE(0);
}

export function hex8(n) { return n.toString(16).padStart(8, '0'); }

export function valueMessage(index, value) { return `s ${hex8(index)} ${bits(value)}`; }

// Parses "b|s|e IIIIIIII VVVVVVVV" into { kind, index, bits, value }.
export function parseGesture(message) {
  const m = /^([bse]) ([0-9a-f]{8}) ([0-9a-f]{8})$/.exec(message);
  if (!m) return null;
  return { kind: m[1], index: parseInt(m[2], 16), bits: m[3], value: valueOfBits(m[3]) };
}

export async function gestures(page) {
  return (await sent(page)).map(parseGesture).filter(Boolean);
}

// Waits until the page has posted a message matching re; returns it.
export async function waitForSent(page, re, timeout = 5000) {
  const handle = await page.waitForFunction(
    (src) => window.__host.sent.find((m) => new RegExp(src).test(m)) || null,
    re.source, { timeout });
  return handle.jsonValue();
}

// All catalogue defaults, pushed as the plug-in does after "g".
export const DEFAULTS = [50, 100, 12.4222007837421, 12.6221400720352, 32.6749101409938, 50, 100, 0,
  46.6582563814956, 71.2919267668632, 45.0149668194776, 50, 100, 95.9426643982532, 69.4366275208754,
  55.0607107213899, 50, 100, 0, 1, 100, 0, 0, 0, 2, 8, 0, 0, 100, 100, 100, 0, 50, 0, 0, 0];

export async function pushAll(page, values = DEFAULTS) {
  await deliver(page, ...values.map((v, i) => valueMessage(i, v)));
}

// Waits until what was pushed is drawn (the page paces the meters and
// their read-outs on timers of its own), then for two animation frames.
export function frames(page) {
  return page.evaluate(() => new Promise((r) => {
    const twoFrames = () => requestAnimationFrame(() => requestAnimationFrame(r));
    const w = window.Yawp && window.Yawp.widgets;
    if (w && w.whenDrawn) w.whenDrawn(twoFrames);
    else twoFrames();
  }));
}
