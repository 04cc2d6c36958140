// The value protocol between the editor page and the plug-in: the "g"
// request, value pushes, and the begin/set/end gestures with the exact
// float bits of plain values.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import {
  launch, openEditor, pushAll, deliver, sent, clearSent, gestures, frames,
  bits, valueMessage, DEFAULTS,
} from './lib/harness.mjs';

const slider = (key) => `[role=slider][data-key="${key}"]`;
const toggle = (key) => `[role=switch][data-key="${key}"]`;

async function ready(browser) {
  const editor = await openEditor(browser);
  await pushAll(editor.page);
  await frames(editor.page);
  await clearSent(editor.page);
  return editor;
}

async function centre(page, selector) {
  const box = await page.locator(selector).boundingBox();
  return { x: box.x + box.width / 2, y: box.y + box.height / 2, box };
}

async function drag(page, selector, dy, { shift = false, steps = 8 } = {}) {
  const c = await centre(page, selector);
  await page.mouse.move(c.x, c.y);
  if (shift) await page.keyboard.down('Shift');
  await page.mouse.down();
  await page.mouse.move(c.x, c.y + dy, { steps });
  await page.mouse.up();
  if (shift) await page.keyboard.up('Shift');
}

function checkGesture(list, index) {
  assert.ok(list.length >= 3, `a gesture of at least b, s, e: ${JSON.stringify(list)}`);
  assert.equal(list[0].kind, 'b');
  assert.equal(list.at(-1).kind, 'e');
  for (const g of list) assert.equal(g.index, index);
  for (const g of list.slice(1, -1)) assert.equal(g.kind, 's');
  assert.equal(list.at(-1).bits, list.at(-2).bits, 'the end carries the last value');
}

// Turns the wheel over a control (-100 is one notch up), then waits for the
// rest that ends its gesture.
async function wheel(page, selector, dy) {
  const c = await centre(page, selector);
  await page.mouse.move(c.x, c.y);
  await page.mouse.wheel(0, dy);
  await page.waitForTimeout(400);
}

async function valueNow(page, key) {
  return Number(await page.getAttribute(slider(key), 'aria-valuenow'));
}

describe('value protocol', () => {
  let browser;
  before(async () => { browser = await launch(); });
  after(async () => { await browser.close(); });

  it('asks for every value with "g" as its first message', async () => {
    const { page, errors } = await openEditor(browser);
    const list = await sent(page);
    assert.equal(list[0], 'g');
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('renders the 36 pushed values', async () => {
    const { page, errors } = await openEditor(browser);
    const values = DEFAULTS.slice();
    values[21] = -100;      // LFO bias at its minimum
    values[19] = 2.5;       // between triangle and square
    values[24] = 0.2;       // slowest free rate
    values[23] = 1;         // synced
    values[29] = 3.75;
    await pushAll(page, values);
    await frames(page);
    const text = async (key) => page.getAttribute(slider(key), 'aria-valuetext');
    assert.equal(await text('heel_jaw'), '12.4\u202f%');
    assert.equal(await text('lfo_bias'), '\u2212100\u202f%');
    assert.equal(await text('lfo_waveform'), 'Triangle \u2192 Square 50 %');
    assert.equal(await page.textContent('.cell[data-key="lfo_waveform"] .value'), 'Tri\u203aSqr');
    assert.equal(await text('lfo_sync_rate'), '1/4');
    assert.equal(await text('lfo_free_rate'), '0.20\u202fHz');
    assert.equal(await text('env_attack'), '3.75\u202fms');
    assert.equal(await text('mix'), '100\u202f%');
    assert.equal(await page.getAttribute(toggle('lfo_sync'), 'aria-checked'), 'true');
    assert.equal(await page.getAttribute(toggle('lfo_on'), 'aria-checked'), 'false');
    assert.equal(await valueNow(page, 'heel_jaw'), Math.fround(12.4222007837421));
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('has one control for each of the 32 inputs, named by its catalogue title', async () => {
    const { page } = await ready(browser);
    const titles = ['Position', 'Mix', 'Heel jaw', 'Heel tongue', 'Heel color', 'Heel sex', 'Heel age', 'Mid on',
      'Mid jaw', 'Mid tongue', 'Mid color', 'Mid sex', 'Mid age', 'Toe jaw', 'Toe tongue', 'Toe color', 'Toe sex',
      'Toe age', 'LFO on', 'LFO waveform', 'LFO amount', 'LFO bias', 'LFO skew', 'LFO sync', 'LFO free rate',
      'LFO sync rate', 'LFO sync phase', 'Env on', 'Env amount', 'Env attack', 'Env release', 'Bypass'];
    const controls = await page.evaluate(() => [...document.querySelectorAll('[role=slider], [role=switch]')]
      .map((e) => [Number(e.dataset.index), e.getAttribute('aria-label'), e.getAttribute('aria-valuemin'), e.getAttribute('aria-valuemax')]));
    assert.equal(controls.length, 32);
    assert.deepEqual(controls.map((c) => c[0]).sort((a, b) => a - b), titles.map((t, i) => i));
    for (const [index, label] of controls) assert.equal(label, titles[index]);
    const range = Object.fromEntries(controls.filter((c) => c[2] !== null).map((c) => [c[1], [Number(c[2]), Number(c[3])]]));
    assert.deepEqual(range['LFO free rate'], [0.2, 20]);
    assert.deepEqual(range['LFO sync rate'], [1, 24]);
    assert.deepEqual(range['LFO sync phase'], [0, 360]);
    assert.deepEqual(range['Env amount'], [-100, 100]);
    assert.deepEqual(range['Env attack'], [1, 1000]);
    // Units and note lengths as a musician reads them.
    const shown = async (key) => page.textContent(`.cell[data-key="${key}"] .value`);
    assert.equal(await shown('env_release'), '100\u202fms');
    assert.equal(await shown('lfo_free_rate'), '2.00\u202fHz');
    assert.equal(await shown('lfo_sync_phase'), '0°');
    assert.equal(await shown('lfo_sync_rate'), '1/4');
    for (const [value, label] of [[1, '1/1 D'], [3, '1/1 T'], [7, '1/4 D'], [12, '1/8 T'], [24, '1/128 T']]) {
      await deliver(page, valueMessage(25, value));
      await frames(page);
      assert.equal(await shown('lfo_sync_rate'), label);
    }
    for (const [value, label] of [[1, 'Sine'], [2, 'Triangle'], [3, 'Square'], [4, 'Random']]) {
      await deliver(page, valueMessage(19, value));
      await frames(page);
      assert.equal(await shown('lfo_waveform'), label);
    }
    await page.close();
  });

  it('begins a gesture with the exact bits the host pushed', async () => {
    const { page } = await ready(browser);
    await deliver(page, valueMessage(2, 12.4222007837421), valueMessage(21, -100));
    await frames(page);
    await wheel(page, slider('heel_jaw'), -100);
    await wheel(page, slider('lfo_bias'), -100);
    const list = await sent(page);
    assert.equal(list[0], 'b 00000002 4146c156');
    assert.equal(bits(12.4222007837421), '4146c156');   // by Python's struct, independently
    assert.equal(list[0].slice(0, 11), 'b 00000002 ');
    assert.ok(list.includes('b 00000015 c2c80000'), JSON.stringify(list));
    // A notch is 2 % of the travel: 12.42 % goes to 14.42 %, −100 % to −96 %.
    assert.ok(list.includes(`s 00000002 ${bits(12.4222007837421 + 2)}`), JSON.stringify(list));
    assert.ok(list.includes(`e 00000015 ${bits(-96)}`), JSON.stringify(list));
    await page.close();
  });

  it('drags a knob: begin, sets, end, all in range and clamped at the top', async () => {
    const { page, errors } = await ready(browser);
    await drag(page, slider('heel_jaw'), -60);
    let list = await gestures(page);
    checkGesture(list, 2);
    assert.equal(list[0].bits, bits(12.4222007837421));
    for (let k = 2; k < list.length - 1; k++) assert.ok(list[k].value > list[k - 1].value, 'rises');
    assert.ok(Math.abs(list.at(-1).value - (12.4222007837421 + 30)) < 0.01, `60 px is 30 %: ${list.at(-1).value}`);

    await clearSent(page);
    await drag(page, slider('heel_jaw'), -600);
    list = await gestures(page);
    checkGesture(list, 2);
    assert.equal(list.at(-1).bits, '42c80000', 'clamped to 100');
    for (const g of list) assert.ok(g.value >= 0 && g.value <= 100);

    await clearSent(page);
    await drag(page, slider('lfo_bias'), 900);
    list = await gestures(page);
    assert.equal(list.at(-1).bits, 'c2c80000', 'clamped to −100');
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('moves ten times finer with Shift held', async () => {
    const { page } = await ready(browser);
    await drag(page, slider('toe_color'), -40, { shift: true });
    const list = await gestures(page);
    checkGesture(list, 15);
    const moved = list.at(-1).value - list[0].value;
    assert.ok(Math.abs(moved - 2) < 0.01, `40 px with Shift is 2 %: ${moved}`);
    await page.close();
  });

  it('sends whole numbers for the sync rate and 0/1 for switches', async () => {
    const { page } = await ready(browser);
    await drag(page, slider('lfo_sync_rate'), -45, { steps: 15 });
    let list = await gestures(page);
    checkGesture(list, 25);
    for (const g of list) assert.ok(Number.isInteger(g.value) && g.value >= 1 && g.value <= 24, String(g.value));
    const seen = new Set(list.map((g) => g.value));
    assert.ok(seen.size >= 3, 'several rates passed');

    await clearSent(page);
    await page.click(toggle('lfo_on'));
    assert.deepEqual(await sent(page), ['b 00000012 00000000', 's 00000012 3f800000', 'e 00000012 3f800000']);
    await clearSent(page);
    await page.click(toggle('bypass'));
    await page.click(toggle('bypass'));
    assert.deepEqual(await sent(page), [
      'b 0000001f 00000000', 's 0000001f 3f800000', 'e 0000001f 3f800000',
      'b 0000001f 3f800000', 's 0000001f 00000000', 'e 0000001f 00000000',
    ]);
    await page.close();
  });

  it('feels logarithmic on the log parameters', async () => {
    const { page } = await ready(browser);
    await drag(page, slider('env_attack'), -20);   // a tenth of the travel
    let list = await gestures(page);
    checkGesture(list, 29);
    const ratio = list.at(-1).value / 100;
    assert.ok(Math.abs(ratio - Math.pow(1000, 0.1)) < 0.01, `a tenth of the travel is ×1000^0.1: ${ratio}`);

    await deliver(page, valueMessage(24, 2));
    await clearSent(page);
    await wheel(page, slider('lfo_free_rate'), -500);   // five notches, a tenth of the travel
    list = await gestures(page);
    assert.ok(Math.abs(list.at(-1).value - 2 * Math.pow(100, 0.1)) < 1e-4, String(list.at(-1).value));
    await page.close();
  });

  it('a click without movement sends nothing', async () => {
    const { page } = await ready(browser);
    const c = await centre(page, slider('mid_age'));
    await page.mouse.click(c.x, c.y);
    assert.deepEqual(await sent(page), []);
    await page.close();
  });

  it('double-click and Ctrl-click return to the default', async () => {
    const { page } = await ready(browser);
    await deliver(page, valueMessage(2, 80), valueMessage(28, -20));
    await frames(page);
    await page.dblclick(slider('heel_jaw'));
    await page.click(slider('env_amount'), { modifiers: ['Control'] });
    const list = await sent(page);
    assert.ok(list.includes(`s 00000002 ${bits(12.4222007837421)}`), JSON.stringify(list));
    assert.ok(list.includes(`e 00000002 ${bits(12.4222007837421)}`));
    assert.ok(list.includes('e 0000001c 42c80000'), JSON.stringify(list));
    await page.close();
  });

  it('mouse wheel: one gesture that ends when the wheel rests', async () => {
    const { page } = await ready(browser);
    const c = await centre(page, slider('mid_tongue'));
    await page.mouse.move(c.x, c.y);
    await page.mouse.wheel(0, -100);
    await page.mouse.wheel(0, -100);
    await page.waitForTimeout(500);
    const list = await gestures(page);
    checkGesture(list, 9);
    assert.equal(list.filter((g) => g.kind === 'b').length, 1);
    assert.ok(Math.abs(list.at(-1).value - (71.2919267668632 + 4)) < 0.01, String(list.at(-1).value));

    await clearSent(page);
    const r = await centre(page, slider('lfo_sync_rate'));
    await page.mouse.move(r.x, r.y);
    await page.mouse.wheel(0, 100);
    await page.waitForTimeout(500);
    assert.deepEqual(await sent(page), [`b 00000019 ${bits(8)}`, `s 00000019 ${bits(7)}`, `e 00000019 ${bits(7)}`]);
    await page.close();
  });

  it('typing a value: units, clamping, note lengths, bad text', async () => {
    const { page, errors } = await ready(browser);
    async function type(key, text) {
      await page.click(`.cell[data-key="${key}"] .value`);
      const input = page.locator('input.entry');
      await input.fill(text);
      await input.press('Enter');
    }
    await type('env_attack', '250');
    await type('env_release', '0.5 s');
    await type('lfo_free_rate', '50');
    await type('lfo_sync_rate', '1/8 T');
    await type('lfo_bias', '-12,5 %');
    assert.deepEqual((await gestures(page)).filter((g) => g.kind === 'e').map((g) => [g.index, g.value]), [
      [29, 250], [30, 500], [24, 20], [25, 12], [21, -12.5],
    ]);

    await clearSent(page);
    await page.click('.hslider-wrap .value');
    await page.locator('input.entry').fill('loud');
    await page.locator('input.entry').press('Enter');
    assert.equal(await page.locator('input.entry.is-bad').count(), 1);
    await page.locator('input.entry').press('Escape');
    assert.equal(await page.locator('input.entry').count(), 0);
    assert.deepEqual(await sent(page), []);

    // The box of the pedal's read-out, then a knob's once more.
    await page.click('.pedal-read .value');
    await page.locator('input.entry').fill('25');
    await page.locator('input.entry').press('Enter');
    assert.deepEqual(await sent(page), [`b 00000000 ${bits(50)}`, `s 00000000 ${bits(25)}`, `e 00000000 ${bits(25)}`]);
    await clearSent(page);
    await page.click('.cell[data-key="toe_age"] .value');
    await page.locator('input.entry').fill('33');
    await page.locator('input.entry').press('Enter');
    assert.deepEqual(await sent(page), [`b 00000011 ${bits(100)}`, `s 00000011 ${bits(33)}`, `e 00000011 ${bits(33)}`]);
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('the pedal: a press on the plate puts the pedal there', async () => {
    const { page } = await ready(browser);
    const plate = await page.locator('.fader .plate').boundingBox();
    await page.mouse.click(plate.x + plate.width / 2, plate.y + plate.height * 0.25);
    const list = await gestures(page);
    checkGesture(list, 0);
    assert.equal(list[0].bits, '42480000');
    assert.ok(Math.abs(list.at(-1).value - 75) < 1, String(list.at(-1).value));
    await page.close();
  });

  it('host values do not fight a gesture in progress', async () => {
    const { page } = await ready(browser);
    const c = await centre(page, slider('heel_tongue'));
    await page.mouse.move(c.x, c.y);
    await page.mouse.down();
    await page.mouse.move(c.x, c.y - 20, { steps: 4 });
    const during = await valueNow(page, 'heel_tongue');
    await deliver(page, valueMessage(3, 90), valueMessage(4, 66));
    await frames(page);
    assert.equal(await valueNow(page, 'heel_tongue'), during, 'the held knob stays with the hand');
    assert.equal(await valueNow(page, 'heel_color'), 66, 'other parameters follow the host');
    await page.mouse.move(c.x, c.y - 30, { steps: 2 });
    await page.mouse.up();
    const list = await gestures(page);
    checkGesture(list, 3);
    assert.ok(list.at(-1).value > during && list.at(-1).value < 40, 'the drag went on from the hand, not the host');
    await deliver(page, valueMessage(3, 90));
    await frames(page);
    assert.equal(await valueNow(page, 'heel_tongue'), 90, 'after release the host value shows');
    await page.close();
  });

  it('meters: outputs 32 to 35 move the pedal indicator, the vowel dot, the LFO and the envelope', async () => {
    const { page, errors } = await ready(browser);
    // The LFO's and the envelope's displays follow their outputs while they are on.
    await deliver(page, valueMessage(18, 1), valueMessage(27, 1));
    await frames(page);
    const state = () => page.evaluate(() => ({
      mod: document.querySelector('.fader .mod').style.top,
      now: document.querySelector('.pedal-now').textContent,
      dot: document.getElementById('vowel-now').style.transform,
      f1: document.getElementById('f1').textContent,
      lfoDot: document.getElementById('lfo-dot').style.transform,
      lfoLevel: document.getElementById('lfo-level').style.height,
      env: document.getElementById('env-level').style.width,
      envText: document.getElementById('env-value').textContent,
    }));
    const before = await state();
    await deliver(page, valueMessage(32, 75), valueMessage(33, 0.25), valueMessage(34, -0.5), valueMessage(35, 0.4));
    await frames(page);
    const after = await state();
    assert.equal(after.mod, '25%');
    assert.equal(after.now, 'now 75.0\u202f%');
    assert.notEqual(after.dot, before.dot);
    assert.notEqual(after.f1, before.f1);
    assert.notEqual(after.lfoDot, before.lfoDot);
    assert.equal(after.lfoLevel, '25%');
    assert.equal(after.env, '20%');
    assert.equal(after.envText, '+40\u202f%');
    // The formants at the toe with the defaults: F1 about 850 Hz × 1.09.
    await deliver(page, valueMessage(32, 100));
    await frames(page);
    assert.match(await page.textContent('#f1'), /^9[23]\d Hz$/);
    assert.deepEqual(errors, []);
    assert.deepEqual(await sent(page), [], 'meters never echo');
    await page.close();
  });
});
