// The preset menu: the factory table by category, one whole gesture per
// parameter a preset changes and none for the others, previous and next,
// and the "modified" mark as the host pushes values.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import {
  launch, openEditor, pushAll, deliver, clearSent, gestures, frames, bits, valueMessage, DEFAULTS,
} from './lib/harness.mjs';

const BYPASS = 31;

async function ready(browser, values = DEFAULTS) {
  const editor = await openEditor(browser);
  await pushAll(editor.page, values);
  await frames(editor.page);
  await clearSent(editor.page);
  return editor;
}

function table(page) {
  return page.evaluate(() => window.Yawp.presetTable.map((p) => ({ name: p.name, category: p.category, values: p.values })));
}

async function chooseFromMenu(page, name) {
  await page.click('#preset-name');
  await page.locator('#preset-menu .preset-item', { hasText: name }).first().click();
  await frames(page);
}

function shown(page) {
  return page.evaluate(() => ({
    label: document.getElementById('preset-label').textContent,
    modified: !document.getElementById('preset-modified').hidden,
    menuOpen: !document.getElementById('preset-menu').hidden,
  }));
}

// The plain value the host would store: coerced and rounded to a float.
function asStored(page, index, value) {
  return page.evaluate(([i, v]) => window.Yawp.catalogue.coerce(i, v), [index, value]);
}

// Splits the gestures into runs per parameter and checks each is exactly
// b (old value), s (new value), e (new value), back to back.
function runsOf(list) {
  const runs = new Map();
  for (let k = 0; k < list.length; k += 3) {
    const [b, s, e] = list.slice(k, k + 3);
    assert.ok(b && s && e, `a whole run at ${k}: ${JSON.stringify(list.slice(k))}`);
    assert.deepEqual([b.kind, s.kind, e.kind], ['b', 's', 'e']);
    assert.ok(b.index === s.index && s.index === e.index, `one parameter per run: ${JSON.stringify([b, s, e])}`);
    assert.equal(s.bits, e.bits, 'the end carries the new value');
    assert.ok(!runs.has(b.index), `only one run for parameter ${b.index}`);
    runs.set(b.index, { from: b.bits, to: s.bits });
  }
  return runs;
}

describe('preset menu', () => {
  let browser;
  before(async () => { browser = await launch(); });
  after(async () => { await browser.close(); });

  it('lists every factory preset under its category', async () => {
    const { page, errors } = await ready(browser);
    const presets = await table(page);
    assert.ok(presets.length >= 12, `a bank of presets: ${presets.length}`);
    for (const p of presets) assert.equal(p.values.length, 32, p.name);
    const menu = await page.evaluate(() => [...document.querySelectorAll('#preset-menu > *')].map((e) => ({
      category: e.classList.contains('preset-category'), text: e.textContent,
    })));
    const categories = menu.filter((e) => e.category).map((e) => e.text);
    assert.deepEqual(categories, ['Wah', 'Talk', 'Envelope', 'Tempo', 'Voice']);
    let category = null;
    const items = [];
    for (const e of menu) {
      if (e.category) category = e.text;
      else items.push({ name: e.text, category });
    }
    assert.deepEqual(items, presets.map((p) => ({ name: p.name, category: p.category })));
    assert.deepEqual(await shown(page), { label: 'Presets', modified: false, menuOpen: false });
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('sends one b…e run per changed parameter and none for the others', async () => {
    const { page, errors } = await ready(browser);
    const presets = await table(page);
    const classic = presets.find((p) => p.name === 'Classic Wah');
    await chooseFromMenu(page, 'Classic Wah');
    const runs = runsOf(await gestures(page));

    for (let i = 0; i < 32; i++) {
      const before = bits(await asStored(page, i, DEFAULTS[i]));
      const after = bits(await asStored(page, i, classic.values[i]));
      if (i === BYPASS || before === after) {
        assert.ok(!runs.has(i), `no gesture for unchanged parameter ${i}`);
      } else {
        assert.deepEqual(runs.get(i), { from: before, to: after }, `parameter ${i}`);
      }
    }
    assert.ok(runs.size >= 8, `the preset changes the shapes and the mix: ${runs.size}`);
    assert.deepEqual(await shown(page), { label: 'Classic Wah', modified: false, menuOpen: false });

    // The same preset again changes nothing and sends nothing.
    await clearSent(page);
    await chooseFromMenu(page, 'Classic Wah');
    assert.deepEqual(await gestures(page), []);
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('goes from one preset to the next with only the differences', async () => {
    const { page, errors } = await ready(browser);
    const presets = await table(page);
    await page.click('#preset-next');
    assert.equal((await shown(page)).label, presets[0].name);
    await clearSent(page);
    await page.click('#preset-next');
    assert.equal((await shown(page)).label, presets[1].name);
    const runs = runsOf(await gestures(page));
    for (let i = 0; i < 32; i++) {
      const same = bits(await asStored(page, i, presets[0].values[i])) === bits(await asStored(page, i, presets[1].values[i]));
      assert.equal(runs.has(i), !same, `parameter ${i}`);
    }
    await page.click('#preset-prev');
    await page.click('#preset-prev');
    assert.equal((await shown(page)).label, presets.at(-1).name, 'previous wraps round');
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('marks the preset modified when the host pushes a different value', async () => {
    const { page, errors } = await ready(browser);
    const presets = await table(page);
    const quack = presets.find((p) => p.name === 'Funk Quack');
    await chooseFromMenu(page, 'Funk Quack');
    assert.equal((await shown(page)).modified, false);

    // The host echoes the preset's values: still the preset.
    await deliver(page, ...quack.values.map((v, i) => valueMessage(i, v)));
    await frames(page);
    assert.deepEqual(await shown(page), { label: 'Funk Quack', modified: false, menuOpen: false });

    // Automation moves the mix: modified; back to the preset's value: not.
    await deliver(page, valueMessage(1, 12));
    await frames(page);
    assert.deepEqual(await shown(page), { label: 'Funk Quack', modified: true, menuOpen: false });
    assert.match(await page.getAttribute('#preset-name', 'title'), /modified/);
    await deliver(page, valueMessage(1, quack.values[1]));
    await frames(page);
    assert.equal((await shown(page)).modified, false);

    // Bypass is the player's switch, not part of the sound.
    await deliver(page, valueMessage(BYPASS, 1));
    await frames(page);
    assert.equal((await shown(page)).modified, false);
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('leaves bypass alone and recognises a preset the host restores', async () => {
    const bypassed = DEFAULTS.slice();
    bypassed[BYPASS] = 1;
    const { page, errors } = await ready(browser, bypassed);
    await chooseFromMenu(page, 'Yoy Wah');
    const runs = runsOf(await gestures(page));
    assert.ok(!runs.has(BYPASS), 'no gesture for bypass');

    // A fresh editor on a session that holds a factory preset names it.
    const presets = await table(page);
    const talk = presets.find((p) => p.name === 'Talk Box Eighths');
    const other = await ready(browser, talk.values.concat([50, 0, 0, 0]));
    assert.deepEqual(await shown(other.page), { label: 'Talk Box Eighths', modified: false, menuOpen: false });
    assert.deepEqual(await gestures(other.page), [], 'recognising sends nothing');
    assert.deepEqual(errors, []);
    assert.deepEqual(other.errors, []);
    await other.page.close();
    await page.close();
  });

  it('closes the menu with Escape or a click elsewhere, without sending', async () => {
    const { page, errors } = await ready(browser);
    await page.click('#preset-name');
    assert.equal((await shown(page)).menuOpen, true);
    assert.equal(await page.getAttribute('#preset-name', 'aria-expanded'), 'true');
    await page.keyboard.press('Escape');
    assert.equal((await shown(page)).menuOpen, false);
    await page.click('#preset-name');
    await page.mouse.click(5, 600);
    assert.equal((await shown(page)).menuOpen, false);
    assert.deepEqual(await gestures(page), []);
    assert.deepEqual(errors, []);
    await page.close();
  });
});
