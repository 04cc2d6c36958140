// Pictures of the sound: the vowel space (F1 against F2, drawn the way
// phoneticians do, front vowels left and open vowels low), the LFO's
// waveform with its moving phase, and the two modulation meters.
(function (Y) {
  'use strict';

  const C = Y.catalogue;
  const S = Y.store;
  const W = Y.widgets;
  const LFO_ON = 18, ENV_ON = 27;
  const MOD = 32, LFO_PHASE = 33, LFO_OUT = 34, ENV_OUT = 35;

  // How often each moving display has redrawn: tests check that a display
  // holds still while what it shows has no effect.
  const redraws = W.redraws;
  const counted = W.counted;
  ['lfoDot', 'vowelNow', 'lfoMeter', 'envMeter'].forEach(function (name) { redraws[name] = 0; });
  const SHAPE_INDICES = [7, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17];

  // Axis ranges cover every reachable formant: up to 900 Hz and 2400 Hz
  // before the speaker scale, which reaches 1.45 for a child's voice.
  const F1_RANGE = [180, 1400];
  const F2_RANGE = [520, 3600];
  const F1_TICKS = [200, 300, 400, 600, 800, 1000];
  const F2_TICKS = [600, 800, 1000, 1500, 2000, 3000];

  // Average adult vowels, as landmarks (F1, F2 in Hz).
  const LANDMARKS = [
    ['i', 270, 2290], ['ɪ', 390, 1990], ['ɛ', 530, 1840], ['æ', 660, 1720],
    ['ʌ', 640, 1190], ['ɑ', 730, 1090], ['ɔ', 570, 840], ['ʊ', 440, 1020], ['u', 300, 870],
  ];

  function hz(f) {
    return f < 999.5 ? Math.round(f) + ' Hz' : (f / 1000).toFixed(2) + ' kHz';
  }

  function kilo(f) { return f >= 1000 ? (f / 1000) + 'k' : String(f); }

  // Keeps an SVG's user units equal to its box's design pixels, so text
  // and strokes are never stretched, and redraws when the box changes.
  function fitted(box, draw) {
    const pic = W.svg('svg', { 'aria-hidden': 'true' }, box);
    let size = { w: 0, h: 0 };
    function measure() {
      const w = box.clientWidth, h = box.clientHeight;
      if (w === size.w && h === size.h) return;
      size = { w: w, h: h };
      pic.setAttribute('viewBox', '0 0 ' + Math.max(w, 1) + ' ' + Math.max(h, 1));
      draw(size);
    }
    new ResizeObserver(measure).observe(box);
    return { pic: pic, size: function () { return size; }, measure: measure };
  }

  // A moving mark laid over a chart: an element of its own, moved by a
  // transform, which costs a repaint of where it was and where it goes. A
  // shape inside the chart's SVG moved by its attributes lays the SVG out
  // again at each move. A move to the same tenth of a pixel is no move.
  function marker(box, cls, name) {
    const node = W.el('div', 'marker ' + cls);
    box.append(node);
    let at = '';
    return {
      node: node,
      moveTo: function (x, y) {
        const t = 'translate(' + x.toFixed(1) + 'px, ' + y.toFixed(1) + 'px) translate(-50%, -50%)';
        if (t === at) return;
        at = t;
        node.style.transform = t;
        counted(name);
      },
    };
  }

  // ---- vowel space ----

  function vowelChart(box) {
    const pad = { left: 34, right: 10, top: 16, bottom: 18 };
    let grid, path, ring, now, points;
    const chart = fitted(box, layout);
    const pic = chart.pic;

    function x(f2) {
      const s = chart.size();
      const t = Math.log(F2_RANGE[1] / f2) / Math.log(F2_RANGE[1] / F2_RANGE[0]);
      return pad.left + C.clamp(t, 0, 1) * (s.w - pad.left - pad.right);
    }
    function y(f1) {
      const s = chart.size();
      const t = Math.log(f1 / F1_RANGE[0]) / Math.log(F1_RANGE[1] / F1_RANGE[0]);
      return pad.top + C.clamp(t, 0, 1) * (s.h - pad.top - pad.bottom);
    }

    function build() {
      grid = W.svg('g', {}, pic);
      path = W.svg('polyline', { class: 'vs-path' }, pic);
      points = ['heel', 'mid', 'toe'].map(function (name) {
        return W.svg('circle', { class: 'vs-point ' + name, r: 6, 'data-shape': name }, pic);
      });
      ring = W.svg('circle', { class: 'vs-set', r: 8.5 }, pic);
      now = marker(box, 'vs-now', 'vowelNow');
      now.node.id = 'vowel-now';
    }

    function layout(s) {
      if (!grid) build();
      grid.replaceChildren();
      const x0 = pad.left, x1 = s.w - pad.right, y0 = pad.top, y1 = s.h - pad.bottom;
      F1_TICKS.forEach(function (f) {
        W.svg('line', { class: 'vs-grid', x1: x0, x2: x1, y1: y(f), y2: y(f) }, grid);
        W.svg('text', { class: 'vs-axis', x: x0 - 5, y: y(f) + 3.5, 'text-anchor': 'end' }, grid).textContent = kilo(f);
      });
      F2_TICKS.forEach(function (f) {
        W.svg('line', { class: 'vs-grid', x1: x(f), x2: x(f), y1: y0, y2: y1 }, grid);
        W.svg('text', { class: 'vs-axis', x: x(f), y: y1 + 13, 'text-anchor': 'middle' }, grid).textContent = kilo(f);
      });
      W.svg('text', { class: 'vs-axis', x: 3, y: 10 }, grid).textContent = 'F1';
      W.svg('text', { class: 'vs-axis', x: 3, y: y1 + 13 }, grid).textContent = 'F2';
      LANDMARKS.forEach(function (v) {
        W.svg('text', { class: 'vs-mark', x: x(v[2]), y: y(v[1]) + 4, 'text-anchor': 'middle' }, grid).textContent = v[0];
      });
      shapes();
    }

    function place(node, f) {
      node.setAttribute('cx', x(f[1]).toFixed(1));
      node.setAttribute('cy', y(f[0]).toFixed(1));
    }

    function shapes() {
      if (!grid) return;
      const m = Y.vowel.model(S.values);
      const pts = [];
      for (let k = 0; k <= 48; k++) {
        const f = m.at(k / 48);
        pts.push(x(f[1]).toFixed(1) + ',' + y(f[0]).toFixed(1));
      }
      path.setAttribute('points', pts.join(' '));
      place(points[0], m.heel);
      place(points[1], m.mid);
      place(points[2], m.toe);
      points[1].classList.toggle('is-off', !m.midOn);
      document.getElementById('legend-mid').classList.toggle('is-off', !m.midOn);
      place(ring, m.at(S.get(0) / 100));
      moving();
    }

    const formants = ['f1', 'f2', 'f3'].map(function (id) {
      return W.readout(document.getElementById(id), 'formants');
    });

    function moving() {
      if (!grid) return;
      const f = Y.vowel.model(S.values).at(S.get(MOD) / 100);
      now.moveTo(x(f[1]), y(f[0]));
      formants.forEach(function (show, k) { show(hz(f[k])); });
    }

    W.on(SHAPE_INDICES, shapes);
    W.on(0, function () { if (grid) place(ring, Y.vowel.model(S.values).at(S.get(0) / 100)); });
    W.on(MOD, moving);
    chart.measure();
  }

  // ---- LFO scope: two cycles, the second with a different random hold ----

  function lfoScope(box, label) {
    const HOLDS = [0.55, -0.4];
    const pad = 5;
    let wave, dot;
    let cycle = 0, lastPhase = 0;
    const scope = fitted(box, draw);
    const pic = scope.pic;

    function point(t, s) {
      const k = Math.min(1, Math.floor(t));
      const v = Y.lfoShape.value(t - k, S.get(19), S.get(22), HOLDS[k]);
      return [pad + t / 2 * (s.w - 2 * pad), s.h / 2 - v * (s.h / 2 - pad)];
    }

    function draw() {
      const s = scope.size();
      if (!wave) {
        W.svg('line', { class: 'scope-mid', x1: 0, y1: '50%', x2: '100%', y2: '50%' }, pic);
        wave = W.svg('polyline', { class: 'scope-wave' }, pic);
        dot = marker(box, 'scope-dot', 'lfoDot');
        dot.node.id = 'lfo-dot';
      }
      const pts = [];
      for (let k = 0; k < 2; k++) {
        for (let j = 0; j < 120; j++) pts.push(point(k + j / 120, s));
        pts.push(point(k + 0.9999, s));
      }
      wave.setAttribute('points', pts.map(function (p) { return p[0].toFixed(1) + ',' + p[1].toFixed(1); }).join(' '));
      label.textContent = C.waveDescription(S.get(19));
      placeDot();
    }

    // The engine's phase runs on while the LFO is off, but then it moves
    // nothing; the dot stays where it is rather than cost a redraw 30 times
    // a second for something that is not happening.
    function phase() {
      if (dot && S.get(LFO_ON) >= 0.5) placeDot();
    }

    function placeDot() {
      const ph = C.clamp(S.get(LFO_PHASE), 0, 0.99999);
      if (ph < lastPhase - 0.5) cycle = 1 - cycle;
      lastPhase = ph;
      const p = point(cycle + ph, scope.size());
      dot.moveTo(p[0], p[1]);
    }

    W.on([19, 22], draw);
    W.on([LFO_PHASE, LFO_ON], phase);
    scope.measure();
  }

  // ---- meters ----

  function bipolarLevel(node, v, vertical) {
    const u = C.clamp(v, -1, 1);
    const from = 50 - Math.max(u, 0) * 50;
    const size = Math.abs(u) * 50;
    if (vertical) {
      node.style.top = from + '%';
      node.style.height = size + '%';
    } else {
      node.style.left = (50 + Math.min(u, 0) * 50) + '%';
      node.style.width = size + '%';
    }
  }

  function lfoMeter() {
    const box = W.el('div', 'vmeter');
    box.style.setProperty('--c', 'var(--lfo)');
    const bar = W.el('div', 'bar');
    const lvl = W.el('div', 'lvl');
    bar.append(W.el('div', 'zero'), lvl);
    box.append(bar, W.el('span', 'cap', 'out'));
    box.title = 'LFO output: how far the LFO moves the pedal now';
    lvl.id = 'lfo-level';
    // Off, the LFO moves nothing: the meter rests at zero.
    let shown = NaN;
    W.on([LFO_OUT, LFO_ON], function () {
      const v = S.get(LFO_ON) >= 0.5 ? S.get(LFO_OUT) : 0;
      if (v === shown) return;
      shown = v;
      counted('lfoMeter');
      bipolarLevel(lvl, v, true);
    });
    return box;
  }

  function envMeter() {
    const box = W.el('div', 'hmeter');
    const bar = W.el('div', 'bar');
    const lvl = W.el('div', 'lvl');
    const cap = W.el('div', 'cap');
    const out = W.el('output');
    const outText = W.readout(out, 'envValue');
    lvl.id = 'env-level';
    out.id = 'env-value';
    bar.append(W.el('div', 'zero'), lvl);
    cap.append(W.el('span', '', 'heel ←'), out, W.el('span', '', '→ toe'));
    box.append(bar, cap);
    box.title = 'Envelope output: how far the input level moves the pedal now';
    // Off, the envelope moves nothing: the meter rests at zero.
    let shown = NaN;
    W.on([ENV_OUT, ENV_ON], function () {
      const v = S.get(ENV_ON) >= 0.5 ? S.get(ENV_OUT) : 0;
      if (v === shown) return;
      shown = v;
      counted('envMeter');
      bipolarLevel(lvl, v, false);
      outText(C.format(ENV_OUT, v));
    });
    return box;
  }

  Y.displays = { vowelChart: vowelChart, lfoScope: lfoScope, lfoMeter: lfoMeter, envMeter: envMeter, hz: hz, redraws: redraws };
})(window.Yawp = window.Yawp || {});
