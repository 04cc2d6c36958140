// The editor page in headless Chromium, as a stand-in for WebView2: a host
// that pushes the four meters 30 times a second (mod position, LFO phase and
// output, envelope output), as the plug-ins do at most, with the LFO and the
// envelope on, and with everything off. Reports the CPU of every browser
// process over the window, and the renderer's own time per second as DevTools
// counts it (script, style, layout, and the rest of its tasks).
//
//   node bench/editor-cpu-chromium.mjs [SECONDS] [PAGE_DIR]
//
// PAGE_DIR: the folder holding index.html (resources/ by default), so an
// older page can be timed from a checkout elsewhere.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath, pathToFileURL } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '..');
const require = createRequire(path.join(root, 'tests', 'page', 'package.json'));
const { chromium } = require('playwright-core');
const { BROWSER_ARGS } = await import(pathToFileURL(path.join(root, 'tests', 'page', 'lib', 'harness.mjs')).href);

const seconds = Number(process.argv[2] || 20);
const pageDir = path.resolve(process.argv[3] || path.join(root, 'resources'));
const FAKE = fs.readFileSync(path.join(root, 'tests', 'page', 'lib', 'fake-webview.js'), 'utf8');
const tick = 100;   // clock ticks a second, as Linux reports them in /proc

function ticksOf(pid) {
  try {
    const f = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
    const rest = f.slice(f.lastIndexOf(')') + 2).split(' ');
    return Number(rest[11]) + Number(rest[12]);
  } catch { return 0; }
}

function descendants(pid) {
  const all = [];
  for (const d of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(d)) continue;
    try {
      const f = fs.readFileSync(`/proc/${d}/stat`, 'utf8');
      const ppid = Number(f.slice(f.lastIndexOf(')') + 2).split(' ')[1]);
      all.push([Number(d), ppid]);
    } catch { /* gone */ }
  }
  const out = [];
  const walk = (p) => { for (const [c, pp] of all) if (pp === p) { out.push(c); walk(c); } };
  walk(pid);
  return out;
}

function browserPids() {
  // Chromium's processes are the children of this node process's browser.
  return descendants(process.pid);
}

// A page fed by the host below; on: LFO and envelope on and moving.
async function measure(context, on) {
  const page = await context.newPage();
  await page.addInitScript(FAKE);
  await page.goto(pathToFileURL(path.join(pageDir, 'index.html')).href);
  await page.waitForFunction(() => window.Yawp && window.Yawp.news);
  await page.evaluate((lfoOn) => {
    const S = window.Yawp.store;
    // Only changes, as the plug-ins' bridges send them.
    const last = [];
    const push = (i, v) => {
      const m = S.message('s', i, v);
      if (last[i] !== m) window.__host.deliver(m);
      last[i] = m;
    };
    const defaults = window.Yawp.catalogue.params.map((p) => p.def);
    defaults.forEach((v, i) => push(i, v));
    push(18, lfoOn ? 1 : 0);
    push(27, lfoOn ? 1 : 0);
    let phase = 0, t = 0;
    setInterval(() => {
      t += 1 / 30;
      phase = (phase + 2 / 30) % 1;
      const lfo = lfoOn ? Math.sin(2 * Math.PI * phase) * 0.5 : 0;
      const env = lfoOn ? 0.4 * Math.exp(-(t % 0.4) / 0.1) : 0;
      push(32, Math.fround(Math.min(100, Math.max(0, 50 + 100 * (lfo + env)))));
      push(33, Math.fround(phase));   // the engine's phase runs with the LFO off too
      push(34, Math.fround(lfo));
      push(35, Math.fround(env));
    }, 1000 / 30);
  }, on);
  const cdp = await context.newCDPSession(page);
  await cdp.send('Performance.enable');
  await page.waitForTimeout(2000);
  const metrics = async () => Object.fromEntries((await cdp.send('Performance.getMetrics')).metrics.map((m) => [m.name, m.value]));
  const pids = browserPids();
  const t0 = new Map(pids.map((p) => [p, ticksOf(p)]));
  const m0 = await metrics();
  await page.waitForTimeout(seconds * 1000);
  const m1 = await metrics();
  let cpu = 0;
  for (const p of pids) cpu += ticksOf(p) - t0.get(p);
  await page.close();
  const per = (k) => 1000 * (m1[k] - m0[k]) / seconds;   // ms of each second
  return {
    cpu: 100 * cpu / tick / seconds,
    task: per('TaskDuration'), script: per('ScriptDuration'),
    style: per('RecalcStyleDuration'), layout: per('LayoutDuration'),
  };
}

const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'yawp-bench-'));
const context = await chromium.launchPersistentContext(profile, {
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  headless: true,
  args: BROWSER_ARGS,
  viewport: { width: 700, height: 677 },
});
await context.route('**/*', (route) => (route.request().url().startsWith('file:') ? route.continue() : route.abort()));
try {
  console.log(`\nChromium (headless), ${seconds} s, meters pushed at 30 Hz; renderer ms per second`);
  console.log('case       all-cpu%   task  script   style  layout');
  for (const [name, on] of [['idle', false], ['moving', true]]) {
    const r = await measure(context, on);
    console.log(`${name.padEnd(8)} ${r.cpu.toFixed(1).padStart(10)} ${r.task.toFixed(1).padStart(6)} ${r.script.toFixed(1).padStart(7)} ${r.style.toFixed(1).padStart(7)} ${r.layout.toFixed(1).padStart(7)}`);
  }
} finally {
  await context.close();
  fs.rmSync(profile, { recursive: true, force: true });
}
