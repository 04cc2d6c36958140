// The manual's pictures of the editor, taken in headless Chromium with the
// page tests' harness: the page opened from its file:// address as the
// plug-in opens it, a stand-in for the plug-in pushing values and meters,
// nothing allowed onto the network.
//
//   node shoot-editor.mjs OUTDIR
//
// writes, at twice the editor's size for sharp pictures on any screen:
//   editor-default.png    every control at its default
//   editor-lfo.png        the preset "Oo Ee Ah Morph": mid vowel, LFO on
//   editor-envelope.png   the preset "Funk Quack": the envelope on
//   vowel-space.png       the vowel-space panel of the LFO picture
//
// The meters show one fixed moment, worked out as the editor's preview
// does, so every build takes the same pictures.
import fs from 'node:fs';
import path from 'node:path';
import { launch, openEditor, deliver, frames, valueMessage } from '../../tests/page/lib/harness.mjs';

const out = process.argv[2];
if (!out) {
  console.error('usage: node shoot-editor.mjs OUTDIR');
  process.exit(2);
}
fs.mkdirSync(out, { recursive: true });

const MOD = 32, LFO_PHASE = 33, LFO_OUT = 34, ENV_OUT = 35;

// The 32 values of a preset (or the defaults), and the four meters at one
// moment: an LFO phase and an envelope level, turned into the pedal's
// movement as the engine does.
function moment(page, preset, phase, envelope) {
  return page.evaluate(([name, phi, level]) => {
    const Y = window.Yawp;
    const C = Y.catalogue;
    let values = C.params.slice(0, C.INPUTS).map((p) => p.def);
    if (name) {
      const p = Y.presetTable.find((q) => q.name === name);
      if (!p) throw new Error(`no factory preset "${name}"`);
      values = p.values.slice();
    }
    const v = (key) => values[C.byKey[key]];
    const lfoOn = v('lfo_on') >= 0.5 ? 1 : 0;
    const envOn = v('env_on') >= 0.5 ? 1 : 0;
    const wave = Y.lfoShape.value(phi, v('lfo_waveform'), v('lfo_skew'), 0);
    const lfo = (wave + v('lfo_bias') * 0.01) * lfoOn * v('lfo_amount') * 0.005;
    const env = level * envOn * v('env_amount') * 0.5;
    const pedal = Math.min(1, Math.max(0, v('position') * 0.01 + lfo + env));
    return values.concat([pedal * 100, phi, lfo, env]);
  }, [preset, phase, envelope]);
}

async function show(page, values) {
  await deliver(page, ...values.map((v, i) => valueMessage(i, v)));
  await frames(page);
  await page.waitForTimeout(100);
  await frames(page);
}

const browser = await launch({ deviceScaleFactor: 2 });
let failed = false;
try {
  const { page, errors } = await openEditor(browser);

  await show(page, await moment(page, null, 0, 0));
  await page.screenshot({ path: path.join(out, 'editor-default.png') });

  await show(page, await moment(page, 'Oo Ee Ah Morph', 0.3, 0));
  const label = await page.textContent('#preset-label');
  if (label !== 'Oo Ee Ah Morph') throw new Error(`the editor names the preset "${label}"`);
  await page.screenshot({ path: path.join(out, 'editor-lfo.png') });
  await page.locator('.vowel-panel').screenshot({ path: path.join(out, 'vowel-space.png') });

  await show(page, await moment(page, 'Funk Quack', 0, 0.075));
  await page.screenshot({ path: path.join(out, 'editor-envelope.png') });

  if (errors.length) throw new Error(`the editor logged: ${errors.join('; ')}`);
  for (const name of ['editor-default', 'editor-lfo', 'editor-envelope', 'vowel-space']) {
    console.log(path.join(out, `${name}.png`));
  }
} catch (e) {
  console.error(`shoot-editor: ${e.message}`);
  failed = true;
} finally {
  await browser.close();
}
process.exit(failed ? 1 : 0);
