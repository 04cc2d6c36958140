// Layout sanity at the default editor size, a small window and a large
// HiDPI-sized one: no scroll bars, nothing sticking out of its box, no
// overlapping text, no console errors. Screenshots go to PAGE_OUT.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { launch, openEditor, pushAll, deliver, frames, OUT_DIR, DEFAULTS, valueMessage } from './lib/harness.mjs';

const SIZES = [[700, 677], [500, 400], [1400, 1354]];

const NEWS = 'ABCDEFGH ' + JSON.stringify({
  fetched: '2020-01-01T00:00:00.000Z',
  items: [
    { id: 'n1', date: '2025-06-01T12:00:00.000Z', title: 'Yawp Wah 1.1 is out', text: 'Sharper vowels, a smoother envelope and a new child voice at the toe. Existing presets load unchanged.', url: 'https://tallow.audio/yawp-wah' },
    { id: 'n2', date: '2025-04-01T00:00:00.000Z', title: 'A very long title that goes on and on to see that it wraps instead of leaving its box', text: 'Averyveryverylongwordwithoutanyspacesthatmustbreakratherthanoverflowthepanel.' },
  ],
});

// Everything measured in the page: boxes that leave their container, text
// cut off, controls overlapping their neighbours.
function audit() {
  const problems = [];
  const rect = (e) => e.getBoundingClientRect();
  const inside = (a, b, slack = 1) => a.left >= b.left - slack && a.right <= b.right + slack &&
    a.top >= b.top - slack && a.bottom <= b.bottom + slack;
  const overlap = (a, b) => a.left < b.right - 1 && b.left < a.right - 1 && a.top < b.bottom - 1 && b.top < a.bottom - 1;
  const name = (e) => e.dataset.key || e.className.baseVal || e.className || e.tagName;
  const visible = (e) => { const r = rect(e); return r.width > 0 && r.height > 0 && getComputedStyle(e).visibility !== 'hidden'; };

  const doc = document.documentElement;
  if (doc.scrollWidth > innerWidth || doc.scrollHeight > innerHeight) problems.push(`scrolls: ${doc.scrollWidth}×${doc.scrollHeight}`);
  const stage = rect(document.getElementById('stage'));
  if (!inside(stage, { left: 0, top: 0, right: innerWidth, bottom: innerHeight })) problems.push('stage leaves the window');

  const panels = [...document.querySelectorAll('.panel, .top')];
  for (const p of panels) if (!inside(rect(p), stage)) problems.push(`panel outside the stage: ${name(p)}`);
  for (let i = 0; i < panels.length; i++) {
    for (let j = i + 1; j < panels.length; j++) {
      if (overlap(rect(panels[i]), rect(panels[j]))) problems.push(`panels overlap: ${name(panels[i])} / ${name(panels[j])}`);
    }
  }
  for (const p of panels) {
    const box = rect(p);
    for (const e of p.querySelectorAll('*')) {
      if (!visible(e) || e.closest('svg') && e.tagName !== 'svg') continue;
      if (!inside(rect(e), box, 2) && !e.matches('.fader .mod, .fader .thumb, .knob *')) problems.push(`sticks out of ${name(p)}: ${name(e)}`);
    }
    const groups = [...p.querySelectorAll('.cell, .switch, .scope, .vmeter, .hmeter, .hslider-wrap, .news-button, .brand, .panel-title, .preset-bar')].filter(visible);
    for (let i = 0; i < groups.length; i++) {
      for (let j = i + 1; j < groups.length; j++) {
        if (groups[i].contains(groups[j]) || groups[j].contains(groups[i])) continue;
        if (overlap(rect(groups[i]), rect(groups[j]))) problems.push(`overlap in ${name(p)}: ${name(groups[i])} / ${name(groups[j])}`);
      }
    }
  }
  for (const e of document.querySelectorAll('.cell-label, .value, .panel-title, .switch, .wave-name, .brand-name, .brand-sub, .formants span, .legend li, .pedal-now, .cap, .news-title, .news-text, .news-date, .news-button span, .preset-label, .preset-item, .preset-category')) {
    if (!visible(e)) continue;
    if (e.scrollWidth > e.clientWidth + 1) problems.push(`text cut off: ${name(e)} "${e.textContent}"`);
  }
  for (const t of document.querySelectorAll('#vowel-chart text, #lfo-scope text')) {
    const box = rect(t.ownerSVGElement);
    if (t.textContent && !inside(rect(t), box, 1)) problems.push(`chart text outside: "${t.textContent}"`);
  }
  const panel = document.getElementById('news-panel');
  if (!panel.hidden && !inside(rect(panel), stage)) problems.push('news panel leaves the stage');
  const menu = document.getElementById('preset-menu');
  if (!menu.hidden) {
    if (!inside(rect(menu), stage)) problems.push('preset menu leaves the stage');
    if (menu.scrollHeight > menu.clientHeight + 1) problems.push('preset menu scrolls');
  }
  return problems;
}

describe('layout', () => {
  let browser;
  before(async () => {
    browser = await launch();
    fs.mkdirSync(OUT_DIR, { recursive: true });
  });
  after(async () => { await browser.close(); });

  for (const [width, height] of SIZES) {
    it(`${width} × ${height}: fits, nothing overflows or overlaps`, async () => {
      const { page, errors } = await openEditor(browser, { viewport: { width, height } });
      const values = DEFAULTS.slice();
      values[7] = 1; values[18] = 1; values[27] = 1;         // every panel awake
      values[19] = 2.37; values[21] = -100; values[28] = -100;
      values[32] = 63.5; values[33] = 0.3; values[34] = 0.42; values[35] = -0.3;
      await pushAll(page, values);
      await deliver(page, `m crierV1 initNews ${NEWS}`, 'm crierV1 initSid abc', 'm crierV1 initDone ');
      await page.waitForTimeout(300);
      await frames(page);
      assert.deepEqual(await page.evaluate(audit), []);
      await page.screenshot({ path: path.join(OUT_DIR, `editor-${width}x${height}.png`) });

      await page.click('#news-button');
      await frames(page);
      assert.deepEqual(await page.evaluate(audit), []);
      await page.screenshot({ path: path.join(OUT_DIR, `editor-${width}x${height}-news.png`) });
      await page.keyboard.press('Escape');

      // The preset menu open on a chosen, then modified preset: the longest
      // name and the mark fit the header.
      const longest = await page.evaluate(() => window.Yawp.presetTable.reduce(
        (a, p) => (p.name.length > a.length ? p.name : a), ''));
      await page.click('#preset-name');
      await page.locator('#preset-menu .preset-item', { hasText: longest }).click();
      await deliver(page, valueMessage(1, 33));
      await page.mouse.move(1, 1);  // no hover read-out in the picture
      await page.click('#preset-name');
      await frames(page);
      assert.deepEqual(await page.evaluate(audit), []);
      await page.screenshot({ path: path.join(OUT_DIR, `editor-${width}x${height}-presets.png`) });
      await page.keyboard.press('Escape');

      // A read-out bubble while dragging stays on the stage too.
      const knob = await page.locator('[role=slider][data-key="toe_age"]').boundingBox();
      await page.mouse.move(knob.x + knob.width / 2, knob.y + knob.height / 2);
      await page.mouse.down();
      await page.mouse.move(knob.x + knob.width / 2, knob.y + knob.height + 30, { steps: 3 });
      const bubble = await page.evaluate(() => {
        const b = document.getElementById('bubble');
        const r = b.getBoundingClientRect();
        const s = document.getElementById('stage').getBoundingClientRect();
        return { hidden: b.hidden, text: b.textContent, inside: r.left >= s.left && r.right <= s.right && r.top >= s.top && r.bottom <= s.bottom };
      });
      await page.screenshot({ path: path.join(OUT_DIR, `editor-${width}x${height}-drag.png`) });
      await page.mouse.up();
      assert.equal(bubble.hidden, false);
      assert.match(bubble.text, /^Toe age {2}\d+(\.\d)?\u202f%$/);
      assert.ok(bubble.inside, 'the bubble stays on the stage');
      assert.deepEqual(errors, []);
      await page.close();
    });
  }

  it('compares the three sizes: same layout, scaled', async () => {
    const shapes = [];
    for (const [width, height] of SIZES) {
      const { page } = await openEditor(browser, { viewport: { width, height } });
      await pushAll(page);
      await frames(page);
      shapes.push(await page.evaluate(() => {
        const s = document.getElementById('stage').getBoundingClientRect();
        const rel = (sel) => {
          const r = document.querySelector(sel).getBoundingClientRect();
          return [(r.left - s.left) / s.width, (r.top - s.top) / s.height];
        };
        return { scale: window.Yawp.fit.scale(), pedal: rel('.pedal-panel'), lfo: rel('.lfo-panel'), toe: rel('.toe-panel') };
      }));
      await page.close();
    }
    assert.equal(shapes[0].scale, 1);
    assert.equal(shapes[2].scale, 2, 'twice the default window is the default layout at twice the size');
    assert.deepEqual(shapes[2].pedal, shapes[0].pedal);
    assert.deepEqual(shapes[2].toe, shapes[0].toe);
    assert.ok(shapes[1].scale >= 0.7, `text stays legible in a small window: ${shapes[1].scale}`);
  });

  it('resizing follows the window', async () => {
    const { page, errors } = await openEditor(browser);
    await pushAll(page);
    for (const [w, h] of [[900, 500], [560, 720], [1920, 1080], [700, 677]]) {
      await page.setViewportSize({ width: w, height: h });
      await page.waitForTimeout(100);
      await frames(page);
      assert.deepEqual(await page.evaluate(audit), [], `${w} × ${h}`);
    }
    await deliver(page, valueMessage(32, 10));
    assert.deepEqual(errors, []);
    await page.close();
  });
});
