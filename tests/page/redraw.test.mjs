// Displays redraw only for what is happening: the LFO's phase dot and meter
// hold still while the LFO is off, the envelope meter while the envelope is
// off, and a value the host repeats redraws nothing. The meters redraw at
// the page's own pace and their read-outs at most ten times a second, always
// ending on the last value. Counted through the page's own redraw counters
// (Yawp.displays.redraws), with a fake clock where time matters.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { launch, openEditor, pushAll, deliver, frames, valueMessage } from './lib/harness.mjs';

const LFO_ON = 18, ENV_ON = 27, MOD = 32, LFO_PHASE = 33, LFO_OUT = 34, ENV_OUT = 35;

async function ready(browser) {
  const editor = await openEditor(browser);
  await pushAll(editor.page);
  await frames(editor.page);
  return editor;
}

const redraws = (page) => page.evaluate(() => ({ ...window.Yawp.displays.redraws }));

// One value a frame, as a host's stream of meter changes arrives.
async function stream(page, index, values) {
  for (const v of values) {
    await deliver(page, valueMessage(index, v));
    await frames(page);
  }
}

const PHASES = [0.1, 0.2, 0.3, 0.4, 0.5, 0.6];

describe('redraws', () => {
  let browser;
  before(async () => { browser = await launch(); });
  after(async () => { await browser.close(); });

  it('with the LFO off, phase changes do not redraw the LFO display; with it on, they do', async () => {
    const { page, errors } = await ready(browser);
    const dot = () => page.evaluate(() => document.getElementById('lfo-dot').style.transform);
    const still = await dot();
    const before = await redraws(page);
    await stream(page, LFO_PHASE, PHASES);
    await stream(page, LFO_OUT, [0.2, -0.3]);
    const off = await redraws(page);
    assert.equal(off.lfoDot, before.lfoDot, 'no redraw of the dot while the LFO is off');
    assert.equal(off.lfoMeter, before.lfoMeter, 'no redraw of the meter while the LFO is off');
    assert.equal(await dot(), still);

    await deliver(page, valueMessage(LFO_ON, 1));
    await frames(page);
    const turned = await redraws(page);
    await stream(page, LFO_PHASE, PHASES.map((p) => p + 0.05));
    await stream(page, LFO_OUT, [0.2, -0.3]);
    const on = await redraws(page);
    assert.equal(on.lfoDot - turned.lfoDot, PHASES.length, 'one redraw of the dot for each phase');
    assert.ok(on.lfoMeter - turned.lfoMeter >= 2, 'the meter follows the LFO');
    assert.notEqual(await dot(), still);
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('with the envelope off, its meter rests at zero and does not redraw', async () => {
    const { page, errors } = await ready(browser);
    const before = await redraws(page);
    await stream(page, ENV_OUT, [0.3, 0.5, 0.1]);
    assert.equal((await redraws(page)).envMeter, before.envMeter);
    assert.equal(await page.evaluate(() => document.getElementById('env-level').style.width), '0%');

    await deliver(page, valueMessage(ENV_ON, 1));
    await frames(page);
    assert.notEqual(await page.evaluate(() => document.getElementById('env-level').style.width), '0%',
      'turned on, the meter shows the envelope at once');
    const turned = await redraws(page);
    await stream(page, ENV_OUT, [0.3, 0.5]);
    assert.equal((await redraws(page)).envMeter - turned.envMeter, 2);
    assert.deepEqual(errors, []);
    await page.close();
  });

  // A renderer that repaints only a moving element's own box (WebKitGTK's
  // software one) leaves behind whatever the element draws outside it: a
  // glow from a CSS filter or shadow left orange streaks across the chart.
  it('moving marks draw nothing outside their own boxes', async () => {
    const { page, errors } = await ready(browser);
    const outside = await page.evaluate(() => ['#vowel-now', '#lfo-dot', '.fader .mod', '#lfo-level', '#env-level']
      .map((sel) => {
        const style = getComputedStyle(document.querySelector(sel));
        return [sel, style.filter, style.boxShadow, style.outlineStyle];
      }));
    assert.deepEqual(outside, outside.map(([sel]) => [sel, 'none', 'none', 'none']));
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('a value the host repeats redraws nothing', async () => {
    const { page, errors } = await ready(browser);
    await deliver(page, valueMessage(LFO_ON, 1), valueMessage(LFO_PHASE, 0.25));
    await frames(page);
    const before = await redraws(page);
    await stream(page, LFO_PHASE, [0.25, 0.25, 0.25]);
    assert.equal((await redraws(page)).lfoDot, before.lfoDot);
    assert.deepEqual(errors, []);
    await page.close();
  });
});

// The page with a fake clock that stands still until run, defaults pushed.
async function clocked(browser) {
  const editor = await openEditor(browser, { clock: true });
  await pushAll(editor.page);
  await editor.page.clock.runFor(1000);
  return editor;
}

// One value every `every` ms of the page's time.
async function paced(page, index, values, every) {
  for (const v of values) {
    await deliver(page, valueMessage(index, v));
    await page.clock.runFor(every);
  }
}

const pace = (page) => page.evaluate(() => ({ meter: window.Yawp.widgets.METER_MS, readout: window.Yawp.widgets.READOUT_MS }));
const text = (page, selector) => page.evaluate((sel) => document.querySelector(sel).textContent, selector);

describe('paced redraws', () => {
  let browser;
  before(async () => { browser = await launch(); });
  after(async () => { await browser.close(); });

  it('meters arriving faster than the page redraws are drawn together, on the last value', async () => {
    const { page, errors } = await clocked(browser);
    const { meter } = await pace(page);
    await deliver(page, valueMessage(LFO_ON, 1));
    await page.clock.runFor(1000);
    const before = await redraws(page);
    await deliver(page, ...[0.1, 0.2, 0.3, 0.4, 0.5].map((p) => valueMessage(LFO_PHASE, p)));
    await page.clock.runFor(meter);
    assert.equal((await redraws(page)).lfoDot - before.lfoDot, 1, 'one redraw for the burst');
    // The dot at half a cycle of the two drawn: a quarter of the way along.
    const { width, at } = await page.evaluate(() => ({
      width: document.getElementById('lfo-scope').clientWidth,
      at: document.getElementById('lfo-dot').style.transform,
    }));
    assert.ok(at.startsWith(`translate(${(5 + 0.25 * (width - 10)).toFixed(1)}px,`), at);

    // A value every 10 ms for a second: at most one redraw per METER_MS.
    const start = (await redraws(page)).lfoDot;
    await paced(page, LFO_PHASE, Array.from({ length: 100 }, (_, k) => 0.5 + k * 0.004), 10);
    const count = (await redraws(page)).lfoDot - start;
    assert.ok(count <= Math.ceil(1000 / meter) + 1, `${count} redraws in a second`);
    assert.ok(count >= Math.floor(1000 / meter) - 2, `${count} redraws in a second`);
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('read-outs change at most ten times a second and end on the last value', async () => {
    const { page, errors } = await clocked(browser);
    const { readout } = await pace(page);
    const before = await redraws(page);
    // The modulated position every 33 ms for a second, as the plug-ins send it.
    const values = Array.from({ length: 30 }, (_, k) => 20 + 2 * k);
    await paced(page, MOD, values, 33);
    const moving = await redraws(page);
    const most = 1000 / readout + 1;
    assert.ok(moving.pedalNow - (before.pedalNow || 0) <= most, `${moving.pedalNow} changes of "now"`);
    assert.ok(moving.pedalNow - (before.pedalNow || 0) >= 5, 'the read-out follows');
    assert.ok(moving.formants - before.formants <= 3 * most, `${moving.formants} changes of F1 to F3`);
    assert.ok(moving.pedalMod - before.pedalMod >= 15, 'the pedal\'s mark moves with every redraw');
    // Stopped: the last value shows without any further message.
    await page.clock.runFor(500);
    assert.equal(await text(page, '.pedal-now'), 'now 78.0\u202f%');
    const f1 = await text(page, '#f1');
    await deliver(page, valueMessage(MOD, 78.0001));   // the same at the read-out's precision
    await page.clock.runFor(500);
    assert.equal(await text(page, '#f1'), f1);
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('a value that arrives within the interval shows when it is over', async () => {
    const { page, errors } = await clocked(browser);
    const { meter, readout } = await pace(page);
    await deliver(page, valueMessage(MOD, 30));
    await page.clock.runFor(meter);
    assert.equal(await text(page, '.pedal-now'), 'now 30.0\u202f%', 'the first change shows at once');
    const first = await redraws(page);
    await deliver(page, valueMessage(MOD, 31));
    await page.clock.runFor(meter);
    assert.equal(await text(page, '.pedal-now'), 'now 30.0\u202f%', 'the next waits for the interval');
    assert.equal((await redraws(page)).pedalMod - first.pedalMod, 1, 'the mark does not wait');
    await page.clock.runFor(readout + meter);
    assert.equal(await text(page, '.pedal-now'), 'now 31.0\u202f%');
    assert.equal((await redraws(page)).pedalNow - first.pedalNow, 1);
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('a display whose value did not change is not redrawn', async () => {
    const { page, errors } = await clocked(browser);
    await deliver(page, valueMessage(LFO_ON, 1), valueMessage(ENV_ON, 1), valueMessage(LFO_PHASE, 0.25));
    await page.clock.runFor(1000);
    const before = await redraws(page);
    // The LFO's output and the envelope move; the modulated position does not.
    await paced(page, LFO_OUT, [0.1, 0.2, 0.3], 100);
    await paced(page, ENV_OUT, [0.1, 0.2, 0.3], 100);
    let now = await redraws(page);
    assert.equal(now.lfoMeter - before.lfoMeter, 3);
    assert.equal(now.envMeter - before.envMeter, 3);
    for (const name of ['vowelNow', 'pedalMod', 'pedalNow', 'formants', 'lfoDot']) {
      assert.equal(now[name], before[name], `${name} holds still`);
    }
    // A phase too close to the last to move the dot a tenth of a pixel.
    await paced(page, LFO_PHASE, [0.250001], 100);
    assert.equal((await redraws(page)).lfoDot, now.lfoDot);
    // Positions past the toe are all the toe.
    await paced(page, MOD, [100], 100);
    now = await redraws(page);
    await paced(page, MOD, [100.5, 101], 100);
    const after = await redraws(page);
    for (const name of ['vowelNow', 'pedalMod', 'lfoMeter', 'envMeter', 'lfoDot']) {
      assert.equal(after[name], now[name], `${name} holds still past the toe`);
    }
    assert.deepEqual(errors, []);
    await page.close();
  });
});
