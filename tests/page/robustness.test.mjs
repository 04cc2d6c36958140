// Messages the page must ignore without a sound: malformed value messages,
// indices past the catalogue, non-finite values, non-string data.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { launch, openEditor, pushAll, deliver, sent, clearSent, frames, valueMessage } from './lib/harness.mjs';

const JUNK = [
  '', 's', 's ', 'g', 'b 00000000 42c80000', 'e 00000000 42c80000', 'x', 'm', 'M crierV1 initDone ',
  's 0 0', 's 00000000 42c8000', 's 00000000  42c80000', 's 00000000 42c80000 ', ' s 00000000 42c80000',
  's 00000000 42c80000\n', 's 00000000 42c80000 extra', 'S 00000000 42c80000', 's 0000000g 42c80000',
  's 00000024 42c80000', 's ffffffff 42c80000', 's 00000000 7fc00000', 's 00000000 7f800000',
  's 00000000 ff800000', 's 00000000 -42c80000', 's 0x000000 42c80000', 's\u000000000000 42c80000',
  'm crierV1 initNews \ud800', 's '.repeat(5000), 'm ' + 'x'.repeat(100000),
];

describe('malformed host messages', () => {
  let browser;
  before(async () => { browser = await launch(); });
  after(async () => { await browser.close(); });

  it('are ignored: no value changes, no errors, the page still works', async () => {
    const { page, errors } = await openEditor(browser);
    await pushAll(page);
    await frames(page);
    const before = await page.evaluate(() => window.Yawp.store.values.slice());
    await clearSent(page);
    await deliver(page, ...JUNK);
    await page.evaluate(() => {
      for (const data of [null, undefined, 42, { s: 1 }, ['s 00000000 42c80000'], true]) window.__host.deliver(data);
    });
    await frames(page);
    assert.deepEqual(await page.evaluate(() => window.Yawp.store.values.slice()), before);
    assert.deepEqual(await sent(page), [], 'nothing is answered');

    await deliver(page, valueMessage(0, 25), 's 00000001 42480000', 's 00000013 40400000');
    await frames(page);
    assert.equal(await page.getAttribute('[data-key="position"][role=slider]', 'aria-valuenow'), '25');
    assert.equal(await page.getAttribute('[data-key="mix"][role=slider]', 'aria-valuenow'), '50');
    assert.equal(await page.getAttribute('[data-key="lfo_waveform"][role=slider]', 'aria-valuetext'), 'Square');
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('accepts values outside a range as the host sends them, and gestures start from them', async () => {
    const { page, errors } = await openEditor(browser);
    await pushAll(page);
    await deliver(page, valueMessage(2, 150), valueMessage(29, 0));
    await frames(page);
    await clearSent(page);
    const wheel = async (key, dy) => {
      const box = await page.locator(`[data-key="${key}"][role=slider]`).boundingBox();
      await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
      await page.mouse.wheel(0, dy);
      await page.waitForTimeout(400);
    };
    await wheel('heel_jaw', 100);
    const list = await sent(page);
    assert.equal(list[0], 'b 00000002 43160000', 'begins from what the host said');
    assert.equal(list[1], 's 00000002 42c40000', 'one notch down from the top of the range');
    await wheel('env_attack', -100);
    const attack = (await sent(page)).slice(3);
    assert.equal(attack[0], 'b 0000001d 00000000');
    assert.ok(Buffer.from(attack[1].slice(11), 'hex').readFloatBE(0) >= 1, attack[1]);
    assert.deepEqual(errors, []);
    await page.close();
  });
});
