// One cycle of the LFO's waveform, for the scope and the preview host. The
// waveform selector morphs sine → triangle → square → random; skew moves the
// peak within the cycle.
(function (Y) {
  'use strict';

  // phase: 0 to 1; wave: 1 to 4; skewPercent: -100 to 100; random: -1 to 1,
  // the held value of the current cycle. Returns -1 to 1.
  function value(phase, wave, skewPercent, random) {
    const skew = Math.min(0.999, Math.max(0.001, skewPercent * 0.005 + 0.5));
    const p = phase < skew ? phase / (2 * skew) : (phase + 1 - 2 * skew) / (2 - 2 * skew);
    if (wave < 2) {
      const tri = 1 - 4 * Math.abs(p - 0.5);
      const sine = Math.sin(Math.PI / 2 * tri);
      return sine + (tri - sine) * (wave - 1);
    }
    if (wave < 2.999) {
      const a = 4 / (3 - wave);
      const v = p < 0.5 ? a * p - 1 : a * 0.5 - (a * p - 1);
      return Math.min(1, Math.max(-1, v));
    }
    const sq = p < 0.5 ? 1 : p === 0.5 ? 0 : -1;
    return sq + (random - sq) * Math.max(wave - 3, 0);
  }

  Y.lfoShape = { value: value };
})(window.Yawp = window.Yawp || {});
