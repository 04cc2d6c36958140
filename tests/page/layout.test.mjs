// Layout sanity at the default editor size, a small window and a large
// HiDPI-sized one, at every size the plug-ins open or resize the editor to,
// and on HiDPI displays: no scroll bars, nothing sticking out of its box, no
// overlapping text, no console errors. Screenshots go to PAGE_OUT.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { launch, openEditor, pushAll, deliver, frames, OUT_DIR, DEFAULTS, valueMessage } from './lib/harness.mjs';

const SIZES = [[700, 677], [500, 400], [1400, 1354]];

// The plug-ins open the editor at the default size times the display scale,
// and musicians resize it from half to three times that, keeping its shape.
const EDITOR_SIZES = [[350, 339], [700, 677], [1050, 1016], [1400, 1354], [2100, 2031]];
const DEVICE_SCALES = [1, 1.5, 2, 3];

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

// Where the stage lands in the window, and whether the page can scroll.
function placement() {
  const stage = document.getElementById('stage');
  const r = stage.getBoundingClientRect();
  const doc = document.scrollingElement;
  doc.scrollTop = 50;
  doc.scrollLeft = 50;
  return {
    left: r.left, top: r.top, right: r.right, bottom: r.bottom,
    width: innerWidth, height: innerHeight, dpr: devicePixelRatio,
    scale: window.Yawp.fit.scale(), design: [stage.offsetWidth, stage.offsetHeight],
    narrow: stage.classList.contains('narrow'), scrollsClass: document.body.classList.contains('scrolls'),
    scrollSize: [doc.scrollWidth, doc.scrollHeight], scrolled: [doc.scrollLeft, doc.scrollTop, scrollX, scrollY],
  };
}

// The stage fills the window within a pixel, starts on a whole device
// pixel, shows the default layout scaled as a whole, and nothing scrolls.
function checkPlacement(p, width, height) {
  const where = JSON.stringify(p);
  assert.equal(p.width, width);
  assert.equal(p.height, height);
  assert.ok(p.left >= 0 && p.left <= 1 && p.top >= 0 && p.top <= 1, `stage at the corner: ${where}`);
  assert.ok(Math.abs(p.right - width) <= 1 && Math.abs(p.bottom - height) <= 1, `stage fills the window: ${where}`);
  assert.ok(p.right <= width + 0.01 && p.bottom <= height + 0.01, `stage inside the window: ${where}`);
  for (const x of [p.left, p.top]) assert.ok(Math.abs(x * p.dpr - Math.round(x * p.dpr)) < 1e-6, `whole device pixels: ${where}`);
  assert.ok(Math.abs(p.scale - width / 700) < 1e-9, `the default layout, scaled: ${where}`);
  assert.equal(p.design[0], 700);
  assert.ok(Math.abs(p.design[1] - 677) <= 1, where);
  assert.equal(p.narrow, false);
  assert.equal(p.scrollsClass, false);
  assert.ok(p.scrollSize[0] <= width && p.scrollSize[1] <= height, `nothing to scroll: ${where}`);
  assert.deepEqual(p.scrolled, [0, 0, 0, 0], 'the page does not scroll');
}

// Every panel awake, meters off centre, stored news: as much on screen as can be.
async function fillUp(page) {
  const values = DEFAULTS.slice();
  values[7] = 1; values[18] = 1; values[27] = 1;
  values[19] = 2.37; values[21] = -100; values[28] = -100;
  values[32] = 63.5; values[33] = 0.3; values[34] = 0.42; values[35] = -0.3;
  await pushAll(page, values);
  await deliver(page, `m crierV1 initNews ${NEWS}`, 'm crierV1 initSid abc', 'm crierV1 initDone ');
  await page.waitForTimeout(300);
  await frames(page);
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
      await fillUp(page);
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

describe('layout at every editor size', () => {
  let browser;
  before(async () => {
    browser = await launch();
    fs.mkdirSync(OUT_DIR, { recursive: true });
  });
  after(async () => { await browser.close(); });

  for (const [width, height] of EDITOR_SIZES) {
    it(`${width} × ${height}: the default layout fills the window`, async () => {
      const { page, errors } = await openEditor(browser, { viewport: { width, height } });
      await fillUp(page);
      assert.deepEqual(await page.evaluate(audit), []);
      checkPlacement(await page.evaluate(placement), width, height);
      await page.screenshot({ path: path.join(OUT_DIR, `editor-size-${width}x${height}.png`) });
      assert.deepEqual(errors, []);
      await page.close();
    });
  }
});

for (const dpr of DEVICE_SCALES) {
  describe(`layout at display scale ${dpr}`, () => {
    let browser;
    before(async () => {
      browser = await launch({ deviceScaleFactor: dpr });
      fs.mkdirSync(OUT_DIR, { recursive: true });
    });
    after(async () => { await browser.close(); });

    it('700 × 677: the default layout fills the window, on whole device pixels', async () => {
      const { page, errors } = await openEditor(browser);
      await fillUp(page);
      assert.deepEqual(await page.evaluate(audit), []);
      const p = await page.evaluate(placement);
      assert.equal(p.dpr, dpr);
      checkPlacement(p, 700, 677);
      await page.screenshot({ path: path.join(OUT_DIR, `editor-700x677-dpr${dpr}.png`) });
      assert.deepEqual(errors, []);
      await page.close();
    });
  });
}
