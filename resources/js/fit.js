// Fits the stage to whatever window the host gives. The layout is drawn in
// design pixels for the default 700 × 677 editor. The plug-ins open the
// editor at that shape times the display scale and keep the shape when the
// musician resizes it (half to three times the size): then the whole layout
// scales and looks the same at every size. A window of another shape
// stretches the layout a little in either direction first; a small one
// squeezes it before shrinking, as far as text stays legible; below that
// the page scrolls.
(function (Y) {
  'use strict';

  const BASE = { w: 700, h: 677 };
  const MIN = { w: 680, h: 540 };
  const MAX = { w: 880, h: 860 };
  const FLOOR = 0.5;
  const SAME_SHAPE = 0.01;   // window sizes are whole pixels, so ratios wobble a little
  let scale = 1;

  // To whole device pixels: a stage placed between them draws every edge blurred.
  function snap(x) {
    const d = window.devicePixelRatio || 1;
    return Math.round(x * d) / d;
  }

  function fit() {
    const stage = document.getElementById('stage');
    const W = window.innerWidth;
    const H = window.innerHeight;
    if (!stage || !W || !H) return;
    const whole = Math.min(W / BASE.w, H / BASE.h);
    const sameShape = Math.abs(W / H * BASE.h / BASE.w - 1) < SAME_SHAPE;
    let s = whole >= 1 || sameShape ? whole : Math.min(1, W / MIN.w, H / MIN.h);
    s = Math.max(s, FLOOR);
    // Whole design pixels, so the panels inside sit where they sit at the
    // default size; what is left over is less than a pixel of the window.
    const w = Math.floor(Y.catalogue.clamp(W / s, MIN.w, MAX.w) + 1e-6);
    const h = Math.floor(Y.catalogue.clamp(H / s, MIN.h, MAX.h) + 1e-6);
    const left = snap(Math.max(0, (W - w * s) / 2));
    const top = snap(Math.max(0, (H - h * s) / 2));
    scale = s;
    // Below the default width the header drops the maker's name to keep
    // room for the preset bar.
    stage.classList.toggle('narrow', w < BASE.w);
    stage.style.width = w + 'px';
    stage.style.height = h + 'px';
    stage.style.transform = 'translate(' + left + 'px, ' + top + 'px) scale(' + s + ')';
    document.body.classList.toggle('scrolls', w * s > W + 0.5 || h * s > H + 0.5);
  }

  function start() {
    fit();
    window.addEventListener('resize', fit);
  }

  Y.fit = { start: start, fit: fit, scale: function () { return scale; } };
})(window.Yawp = window.Yawp || {});
