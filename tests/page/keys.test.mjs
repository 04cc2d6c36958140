// The keyboard belongs to the host: every key the page does not need goes
// out as "k d|u CODE CHAR MODS", and the page does not act on it. The page
// keeps only typing in a text field, and Escape or Enter while a pop-over
// is open. Real key presses through the browser's input, read back from the
// fake webview.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import {
  launch, openEditor, pushAll, sent, clearSent, gestures, frames, bits,
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

async function keys(page) {
  return (await sent(page)).filter((m) => m.startsWith('k '));
}

function focused(page) {
  return page.evaluate(() => {
    const e = document.activeElement;
    return e === document.body || !e ? null : e.id || e.dataset.key || e.className;
  });
}

function menuOpen(page) {
  return page.evaluate(() => !document.getElementById('preset-menu').hidden);
}

function newsOpen(page) {
  return page.evaluate(() => !document.getElementById('news-panel').hidden);
}

async function press(page, ...list) {
  for (const k of list) await page.keyboard.press(k);
}

describe('keys', () => {
  let browser;
  before(async () => { browser = await launch(); });
  after(async () => { await browser.close(); });

  it('takes no focus when it opens', async () => {
    const { page, errors } = await openEditor(browser, { feed: { crier: 1, items: [] } });
    await pushAll(page);
    await page.waitForTimeout(300);
    await frames(page);
    assert.equal(await focused(page), null);
    const preview = await openEditor(browser, { host: false });
    await preview.page.waitForTimeout(300);
    assert.equal(await focused(preview.page), null);
    assert.deepEqual(errors, []);
    assert.deepEqual(preview.errors, []);
    await preview.page.close();
    await page.close();
  });

  it('hands on the space bar, letters, function and arrow keys with their exact texts', async () => {
    const { page, errors } = await ready(browser);
    await press(page, 'Space', 'a', 'Shift+A', 'F1', 'F5', 'F12', 'ArrowLeft', 'ArrowUp', 'ArrowRight', 'ArrowDown',
      'Home', 'PageDown', 'Delete', 'Backspace', 'Tab', 'Escape', 'Enter', 'Digit1', 'NumpadAdd', 'MediaPlayPause');
    assert.deepEqual(await keys(page), [
      'k d 20 20 0', 'k u 20 20 0',
      'k d 41 61 0', 'k u 41 61 0',
      'k d 10 0 1', 'k d 41 41 1', 'k u 41 41 1', 'k u 10 0 0',
      'k d 70 0 0', 'k u 70 0 0',
      'k d 74 0 0', 'k u 74 0 0',
      'k d 7b 0 0', 'k u 7b 0 0',
      'k d 25 0 0', 'k u 25 0 0',
      'k d 26 0 0', 'k u 26 0 0',
      'k d 27 0 0', 'k u 27 0 0',
      'k d 28 0 0', 'k u 28 0 0',
      'k d 24 0 0', 'k u 24 0 0',
      'k d 22 0 0', 'k u 22 0 0',
      'k d 2e 0 0', 'k u 2e 0 0',
      'k d 8 0 0', 'k u 8 0 0',
      'k d 9 0 0', 'k u 9 0 0',
      'k d 1b 0 0', 'k u 1b 0 0',
      'k d d 0 0', 'k u d 0 0',
      'k d 31 31 0', 'k u 31 31 0',
      'k d 6b 2b 0', 'k u 6b 2b 0',
      'k d b3 0 0', 'k u b3 0 0',
    ]);
    assert.deepEqual(await sent(page), await keys(page), 'nothing but the keys');
    assert.equal(await focused(page), null, 'Tab went to the host, not to a control');
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('hands on Ctrl, Alt and Meta combinations, modifiers first', async () => {
    const { page, errors } = await ready(browser);
    await press(page, 'Control+z', 'Control+Shift+Z', 'Alt+f', 'Meta+s', 'Control+Alt+Delete');
    assert.deepEqual(await keys(page), [
      'k d 11 0 2', 'k d 5a 7a 2', 'k u 5a 7a 2', 'k u 11 0 0',
      'k d 11 0 2', 'k d 10 0 3', 'k d 5a 5a 3', 'k u 5a 5a 3', 'k u 10 0 2', 'k u 11 0 0',
      'k d 12 0 4', 'k d 46 66 4', 'k u 46 66 4', 'k u 12 0 0',
      'k d 5b 0 8', 'k d 53 73 8', 'k u 53 73 8', 'k u 5b 0 0',
      'k d 11 0 2', 'k d 12 0 6', 'k d 2e 0 6', 'k u 2e 0 6', 'k u 12 0 2', 'k u 11 0 0',
    ]);
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('marks auto-repeat, pairs every release with its press, names astral characters', async () => {
    const { page, errors } = await ready(browser);
    await page.keyboard.down('Space');
    await page.keyboard.down('Space');
    await page.keyboard.down('Space');
    await page.keyboard.up('Space');
    await page.keyboard.down('Shift');
    await page.keyboard.down('KeyB');
    await page.keyboard.down('KeyB');
    await page.keyboard.up('Shift');
    await page.keyboard.up('KeyB');
    assert.deepEqual(await keys(page), [
      'k d 20 20 0', 'k d 20 20 10', 'k d 20 20 10', 'k u 20 20 0',
      'k d 10 0 1', 'k d 42 42 1', 'k d 42 42 11', 'k u 10 0 0', 'k u 42 62 0',
    ]);

    // A character outside the first plane comes as one key (Windows' VK_PACKET);
    // keys with no virtual-key code, or one past fe, have nothing to hand on.
    await clearSent(page);
    const cdp = await page.context().newCDPSession(page);
    const key = (type, k, code) => cdp.send('Input.dispatchKeyEvent', {
      type, key: k, windowsVirtualKeyCode: code, ...(type === 'keyDown' && k.length <= 2 ? { text: k } : {}),
    });
    await key('keyDown', '\u{1F3B8}', 0xe7);
    await key('keyUp', '\u{1F3B8}', 0xe7);
    await key('keyDown', 'Unidentified', 0);
    await key('keyUp', 'Unidentified', 0);
    await key('keyDown', 'x', 0x100);
    await key('keyUp', 'x', 0x100);
    assert.deepEqual(await keys(page), ['k d e7 1f3b8 0', 'k u e7 1f3b8 0']);

    // Losing the focus with keys held down releases them at the host.
    await clearSent(page);
    await page.keyboard.down('Control');
    await page.keyboard.down('KeyS');
    await page.evaluate(() => window.dispatchEvent(new Event('blur')));
    await page.keyboard.up('KeyS');
    await page.keyboard.up('Control');
    assert.deepEqual(await keys(page), ['k d 11 0 2', 'k d 53 73 2', 'k u 11 0 0', 'k u 53 73 0']);
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('a focused control does not act on a key handed on', async () => {
    const { page, errors } = await ready(browser);
    // A switch: neither the space bar nor Enter presses it.
    await page.focus(toggle('lfo_on'));
    await press(page, 'Space', 'Enter');
    assert.equal(await page.getAttribute(toggle('lfo_on'), 'aria-checked'), 'false');
    await page.focus('#preset-next');
    await press(page, 'Space');
    assert.equal(await page.textContent('#preset-label'), 'Presets');
    await page.focus('#preset-name');
    await press(page, 'Enter');
    assert.equal(await menuOpen(page), false);

    // A knob: no arrows, pages, ends, default or text box.
    await page.focus(slider('heel_jaw'));
    await press(page, 'ArrowUp', 'PageUp', 'End', 'Home', 'Delete', 'Enter');
    assert.equal(await page.locator('input.entry').count(), 0);
    await frames(page);
    assert.deepEqual(await gestures(page), []);
    assert.equal((await keys(page)).length, 2 * 10);
    assert.equal(await page.evaluate(() => window.scrollY), 0);
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('leaves the pointer alone: Shift-drag and Ctrl-click still work', async () => {
    const { page, errors } = await ready(browser);
    const box = await page.locator(slider('toe_color')).boundingBox();
    const x = box.x + box.width / 2;
    const y = box.y + box.height / 2;
    await page.mouse.move(x, y);
    await page.keyboard.down('Shift');
    await page.mouse.down();
    await page.mouse.move(x, y - 40, { steps: 8 });
    await page.mouse.up();
    await page.keyboard.up('Shift');
    const list = await gestures(page);
    assert.ok(Math.abs(list.at(-1).value - list[0].value - 2) < 0.01, 'Shift still makes the drag fine');
    assert.deepEqual(await keys(page), ['k d 10 0 1', 'k u 10 0 0']);

    await clearSent(page);
    await page.click(slider('toe_color'), { modifiers: ['Control'] });
    assert.ok((await gestures(page)).some((g) => g.kind === 'e' && g.index === 15), 'Ctrl-click sets the default');
    assert.deepEqual(await keys(page), ['k d 11 0 2', 'k u 11 0 0']);
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('typing a value sends no keys, and the release of its Enter stays on the page', async () => {
    const { page, errors } = await ready(browser);
    await page.click('.cell[data-key="env_release"] .value');
    assert.equal(await focused(page), 'entry');
    await page.keyboard.press('Control+a');
    await page.keyboard.type('0.5 s');
    await press(page, 'ArrowLeft', 'Backspace', 'Delete', 'Home', 'Shift+End', 'Tab');
    await page.click('.cell[data-key="env_release"] .value');
    await page.keyboard.type('0.5 s');
    await page.keyboard.down('Enter');   // ends the box; the knob gets the focus back
    assert.equal(await focused(page), 'env_release');
    await page.keyboard.down('Enter');   // held: repeats go where the first press went
    await page.keyboard.up('Enter');
    assert.deepEqual(await keys(page), []);
    const list = await gestures(page);
    assert.deepEqual(list.map((g) => [g.kind, g.index, g.bits]), [
      ['b', 30, bits(100)], ['s', 30, bits(500)], ['e', 30, bits(500)],
    ]);

    // Escape closes the box and stays on the page too.
    await clearSent(page);
    await page.click('.cell[data-key="env_release"] .value');
    await page.keyboard.type('9');
    await page.keyboard.press('Escape');
    assert.equal(await page.locator('input.entry').count(), 0);
    assert.deepEqual(await sent(page), []);

    // Back on the knob, keys go to the host again; a press handed on is
    // released there even when a text box has the focus by then.
    await page.keyboard.press('Space');
    await page.keyboard.down('Shift');
    await page.click('.cell[data-key="env_release"] .value');
    await page.keyboard.up('Shift');
    assert.deepEqual(await keys(page), ['k d 20 20 0', 'k u 20 20 0', 'k d 10 0 1', 'k u 10 0 0']);
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('text fields in the news panel keep their typing', async () => {
    const { page, errors } = await ready(browser);
    await page.click('#news-button');
    // The panel holds no text field of its own today; whatever field it
    // gets (a search, a note, an editable text) keeps every key.
    await page.evaluate(() => {
      const panel = document.getElementById('news-panel');
      const search = document.createElement('input');
      search.type = 'search';
      search.id = 'news-search';
      const note = document.createElement('textarea');
      note.id = 'news-note';
      const editable = document.createElement('div');
      editable.id = 'news-editable';
      editable.contentEditable = 'true';
      panel.append(search, note, editable);
    });
    await clearSent(page);
    for (const id of ['news-search', 'news-note', 'news-editable']) {
      await page.focus('#' + id);
      await page.keyboard.type('Wah news 1');
      await press(page, 'Space', 'Enter', 'ArrowLeft', 'Backspace', 'Control+a');
    }
    // Escape in a field of the open panel is the page's too: it closes the panel.
    await press(page, 'Escape');
    assert.equal(await newsOpen(page), false);
    assert.equal(await page.inputValue('#news-search'), 'Wah news  ');
    assert.equal(await page.inputValue('#news-note'), 'Wah news 1\n');
    assert.match(await page.textContent('#news-editable'), /^Wah news/);
    assert.deepEqual(await keys(page), []);
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('Escape and Enter in an open pop-over stay on the page and do what they did', async () => {
    const { page, errors } = await ready(browser);
    // The preset menu: Escape closes it, Enter chooses the focused preset.
    await page.click('#preset-name');
    assert.equal(await menuOpen(page), true);
    await clearSent(page);
    await press(page, 'Escape');
    assert.equal(await menuOpen(page), false);
    assert.equal(await focused(page), 'preset-name');
    await page.click('#preset-name');
    const first = await page.evaluate(() => window.Yawp.presetTable[0].name);
    await press(page, 'Enter');
    assert.equal(await menuOpen(page), false);
    assert.equal(await page.textContent('#preset-label'), first);
    assert.deepEqual(await keys(page), []);
    assert.ok((await gestures(page)).length > 0, 'the preset was sent');

    // Any other key in the open menu goes to the host, and no item is pressed.
    await page.click('#preset-name');
    await clearSent(page);
    await press(page, 'Space', 'ArrowDown');
    assert.equal(await menuOpen(page), true);
    assert.deepEqual(await sent(page), ['k d 20 20 0', 'k u 20 20 0', 'k d 28 0 0', 'k u 28 0 0']);
    await press(page, 'Escape');

    // The news panel: Escape closes it; Enter on the focused news button
    // closes it as a click would.
    await page.click('#news-button');
    assert.equal(await newsOpen(page), true);
    await clearSent(page);
    await press(page, 'Escape');
    assert.equal(await newsOpen(page), false);
    assert.equal(await focused(page), 'news-button');
    await page.click('#news-button');
    await press(page, 'Enter');
    assert.equal(await newsOpen(page), false);
    assert.deepEqual(await keys(page), []);

    // With nothing open the same keys are the host's.
    await press(page, 'Escape', 'Enter');
    assert.equal(await newsOpen(page), false);
    assert.equal(await menuOpen(page), false);
    assert.deepEqual(await keys(page), ['k d 1b 0 0', 'k u 1b 0 0', 'k d d 0 0', 'k u d 0 0']);
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('the simulated host ignores keys', async () => {
    const { page, errors } = await openEditor(browser, { host: false });
    await frames(page);
    const values = () => page.evaluate(() => window.Yawp.store.values.slice(0, 32));
    const before = await values();
    await press(page, 'Space', 'Control+z', 'F5', 'Shift+ArrowUp');
    await page.keyboard.down('a');
    await page.keyboard.down('a');
    await page.keyboard.up('a');
    const answered = await page.evaluate(() => new Promise((resolve) => {
      const host = window.Yawp.simHost.create();
      let count = 0;
      host.addEventListener('message', () => { count++; });
      for (const m of ['k d 20 20 0', 'k u 20 20 0', 'k d 5a 7a 2', 'k', 'k x']) host.postMessage(m);
      setTimeout(() => resolve(count), 100);
    }));
    assert.equal(answered, 0);
    assert.deepEqual(await values(), before);
    assert.deepEqual(errors, []);
    await page.close();
  });
});
