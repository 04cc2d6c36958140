// The vowel model, for drawing only: where the heel, mid and toe shapes and
// the pedal between them sit in the formant plane. The sound itself is made
// by the plug-in; this follows its formulas closely enough to be a faithful
// picture.
(function (Y) {
  'use strict';

  // Each formant moves geometrically over its range as its component goes
  // from 0 to 1: F1 220 to 900 Hz, F2 650 to 2400 Hz, F3 2000 to 3100 Hz.
  const FORMANTS = [
    { slope: 2.0324216, base: 7.7813597 },
    { slope: 1.8845228, base: 9.3442955 },
    { slope: 0.6322682, base: 10.965784 },
  ];
  const PARTS = ['jaw', 'tongue', 'color', 'sex', 'age'];
  const FIRST = { heel: 2, mid: 8, toe: 13 };

  // Children and female voices sound with shorter tracts, so all three
  // formants scale up together.
  function speakerScale(sex, age) {
    const f = 1 - sex;
    return 1 + 0.17999995 * f + (1 - age) * (0.35000002 + 0.10000002 * f - 0.17999995 * f);
  }

  function formants(shape) {
    const s = speakerScale(shape.sex, shape.age);
    return [shape.jaw, shape.tongue, shape.color].map(function (c, k) {
      return Math.pow(2, c * FORMANTS[k].slope + FORMANTS[k].base) * s;
    });
  }

  // A shape from the values of one panel, as fractions 0 to 1.
  function shapeOf(values, which) {
    const shape = {};
    PARTS.forEach(function (part, k) {
      shape[part] = Y.catalogue.clamp(values[FIRST[which] + k] * 0.01, 0, 1);
    });
    return shape;
  }

  // The shape at pedal position m (0 heel … 1 toe); with the mid shape on,
  // the first half of the travel goes heel to mid and the second mid to toe.
  function blend(heel, mid, toe, midOn, m) {
    const out = {};
    PARTS.forEach(function (part) {
      if (!midOn) {
        out[part] = heel[part] + (toe[part] - heel[part]) * m;
      } else {
        const u = 2 * m;
        out[part] = u >= 1 ? mid[part] + (toe[part] - mid[part]) * (u - 1)
                           : heel[part] + (mid[part] - heel[part]) * u;
      }
    });
    return out;
  }

  // Everything a display needs from the current values: the three anchor
  // shapes, and a function giving the formants at any position.
  function model(values) {
    const heel = shapeOf(values, 'heel');
    const mid = shapeOf(values, 'mid');
    const toe = shapeOf(values, 'toe');
    const midOn = values[7] >= 0.5;
    return {
      heel: formants(heel),
      mid: formants(mid),
      toe: formants(toe),
      midOn: midOn,
      at: function (m) { return formants(blend(heel, mid, toe, midOn, Y.catalogue.clamp(m, 0, 1))); },
    };
  }

  Y.vowel = { formants: formants, speakerScale: speakerScale, blend: blend, shapeOf: shapeOf, model: model };
})(window.Yawp = window.Yawp || {});
