// Fits the stage to whatever window the host gives. The layout is drawn in
// design pixels for the default 700 × 677 editor and stretches a little in
// either direction; beyond that the whole stage scales, so text and controls
// keep their proportions and never overlap. Small windows shrink it only as
// far as text stays legible; below that the page scrolls.
(function (Y) {
  'use strict';

  const BASE = { w: 700, h: 677 };
  const MIN = { w: 680, h: 540 };
  const MAX = { w: 880, h: 860 };
  const FLOOR = 0.5;
  let scale = 1;

  function fit() {
    const stage = document.getElementById('stage');
    const W = window.innerWidth;
    const H = window.innerHeight;
    if (!stage || !W || !H) return;
    let s = W >= BASE.w && H >= BASE.h
      ? Math.min(W / BASE.w, H / BASE.h)
      : Math.min(1, W / MIN.w, H / MIN.h);
    s = Math.max(s, FLOOR);
    const w = Y.catalogue.clamp(W / s, MIN.w, MAX.w);
    const h = Y.catalogue.clamp(H / s, MIN.h, MAX.h);
    const left = Math.max(0, (W - w * s) / 2);
    const top = Math.max(0, (H - h * s) / 2);
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
