// Opened straight in a browser, with no plug-in behind it, the page runs
// against its own simulated host: values, echoes, moving meters, news store.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import path from 'node:path';
import { launch, openEditor, frames, OUT_DIR } from './lib/harness.mjs';

describe('standalone preview', () => {
  let browser;
  before(async () => { browser = await launch(); });
  after(async () => { await browser.close(); });

  it('runs without the plug-in: defaults, echoes, meters, news store', async () => {
    const { page, errors } = await openEditor(browser, { host: false });
    assert.equal(await page.evaluate(() => document.documentElement.dataset.host), 'preview');
    await frames(page);
    assert.equal(await page.getAttribute('[role=slider][data-key="toe_jaw"]', 'aria-valuetext'), '95.9\u202f%');

    // The LFO phase runs with the LFO off, but its dot holds still.
    const dot = () => page.evaluate(() => document.getElementById('lfo-dot').style.transform);
    const first = await dot();
    await page.waitForTimeout(300);
    assert.equal(await dot(), first);

    // With the LFO on, the dot and the pedal move by themselves.
    await page.click('[role=switch][data-key="lfo_on"]');
    await page.waitForFunction((x) => document.getElementById('lfo-dot').style.transform !== x, first);
    const readings = new Set();
    for (let k = 0; k < 8; k++) {
      readings.add(await page.textContent('.pedal-now'));
      await page.waitForTimeout(60);
    }
    assert.ok(readings.size > 2, [...readings].join(' '));

    // An edit comes back as the host's value.
    const rate = await page.locator('[role=slider][data-key="lfo_sync_rate"]').boundingBox();
    await page.mouse.move(rate.x + rate.width / 2, rate.y + rate.height / 2);
    await page.mouse.wheel(0, 100);
    await page.waitForTimeout(50);
    assert.equal(await page.getAttribute('[role=slider][data-key="lfo_sync_rate"]', 'aria-valuetext'), '1/4 D');

    // The simulated store took the page's new id.
    await page.waitForFunction(() => /^[0-9a-f]{32}$/.test(window.Yawp.news.state.sid || ''));
    await page.screenshot({ path: path.join(OUT_DIR, 'preview-700x677.png') });
    assert.deepEqual(errors, []);
    await page.close();
  });
});
