// Displays redraw only for what is happening: the LFO's phase dot and meter
// hold still while the LFO is off, the envelope meter while the envelope is
// off, and a value the host repeats redraws nothing. Counted through the
// page's own redraw counters (Yawp.displays.redraws), not by timing.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { launch, openEditor, pushAll, deliver, frames, valueMessage } from './lib/harness.mjs';

const LFO_ON = 18, ENV_ON = 27, LFO_PHASE = 33, LFO_OUT = 34, ENV_OUT = 35;

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
