// Controls: knobs, the pedal fader, the mix slider and switches, with the
// handling musicians expect from a plug-in:
//   drag (Shift for fine), mouse wheel (Shift for fine), double-click or
//   Ctrl-click for the default, a click on the value to type one.
// The keyboard is the host's (keys.js): a focused control takes no keys, so
// the space bar and the DAW's shortcuts keep working after a click on a knob.
(function (Y) {
  'use strict';

  const C = Y.catalogue;
  const S = Y.store;
  const SVG = 'http://www.w3.org/2000/svg';
  const KNOB_TRAVEL = 200;   // design pixels of drag for the whole range
  const WHEEL_END_MS = 300;

  // ---- redraw scheduling ----

  // Views redraw together, however many values arrive: a parameter's view
  // in the next animation frame, the host's meters (the outputs) at most
  // once every METER_MS. Meters come up to 30 times a second and move
  // displays all over the page, and each such redraw repaints most of it:
  // WebKitGTK draws in software, one rectangle around all that changed.
  // Twenty redraws a second still move smoothly and cost two thirds of
  // thirty (bench/editor-cpu.sh, the LFO sweeping: about 32 % of a core at
  // 30, 24 % at 20, 21 % at 15). Their pace is the page's own, on a timer:
  // asking for animation frames costs WebKitGTK its frame clock even when
  // nothing changes.
  const METER_MS = 50;

  const renderers = Array.from({ length: C.COUNT }, function () { return []; });
  const dirty = new Set();
  const waiting = new Set();   // read-outs with text still to write
  const drawn = [];            // callbacks waiting for all of it (tests)
  let frame = 0;             // the animation frame asked for, if any
  let meterTimer = 0;
  let meterShown = -Infinity;   // when meters were last drawn

  function on(indices, fn) {
    [].concat(indices).forEach(function (i) { renderers[i].push(fn); });
  }

  function isMeter(i) { return i >= C.INPUTS; }

  function flush() {
    if (frame) cancelAnimationFrame(frame);
    clearTimeout(meterTimer);
    frame = 0;
    meterTimer = 0;
    const fns = new Set();
    dirty.forEach(function (i) {
      if (isMeter(i)) meterShown = performance.now();
      renderers[i].forEach(function (fn) { fns.add(fn); });
    });
    dirty.clear();
    fns.forEach(function (fn) { fn(); });
    settled();
  }

  function settled() {
    if (!dirty.size && !waiting.size) drawn.splice(0).forEach(function (fn) { fn(); });
  }

  function renderAll() {
    for (let i = 0; i < C.COUNT; i++) dirty.add(i);
    flush();
  }

  S.watch(function (i) {
    dirty.add(i);
    if (frame) return;
    if (!isMeter(i)) {
      frame = requestAnimationFrame(flush);
    } else if (!meterTimer) {
      meterTimer = setTimeout(flush, Math.max(0, meterShown + METER_MS - performance.now()));
    }
  });

  // Calls fn once what has arrived so far is drawn, read-outs included.
  function whenDrawn(fn) {
    drawn.push(fn);
    settled();
  }

  // How often each moving display has redrawn (written to the page), for
  // the tests: a display holds still while what it shows does not change.
  const redraws = {};
  function counted(name) { redraws[name] = (redraws[name] || 0) + 1; }

  // ---- text read-outs of moving values ----

  // A read-out of a meter changes at most ten times a second: new text is
  // the dearest thing on the page to draw, and nobody reads a number that
  // changes faster. It is written with the displays' redraw when one comes
  // after the interval, so it costs no repaint of its own; when none comes
  // (the meter stopped), a timer writes the last value. The text lies over
  // its box (editor.css, .readout), so that it lays out alone.
  const READOUT_MS = 100;

  function readout(box, name) {
    const node = el('span', 'readout-text', box.textContent);
    box.replaceChildren(node);
    box.classList.add('readout');
    let shown = node.textContent;
    let wanted = shown;
    let last = -Infinity;
    let timer = 0;
    function done() {
      clearTimeout(timer);
      timer = 0;
      waiting.delete(node);
    }
    function write() {
      done();
      last = performance.now();
      shown = wanted;
      node.textContent = shown;
      counted(name);
      settled();
    }
    return function (text) {
      wanted = text;
      if (wanted === shown) {
        done();
      } else if (performance.now() - last >= READOUT_MS) {
        write();
      } else if (!timer) {
        waiting.add(node);
        timer = setTimeout(write, last + READOUT_MS + METER_MS - performance.now());
      }
    };
  }

  // ---- small DOM helpers ----

  function el(tag, cls, text) {
    const e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  function svg(tag, attrs, parent) {
    const e = document.createElementNS(SVG, tag);
    Object.keys(attrs || {}).forEach(function (k) { e.setAttribute(k, attrs[k]); });
    if (parent) parent.appendChild(e);
    return e;
  }

  function helpText(p) {
    const range = C.format(p.index, p.min) + ' … ' + C.format(p.index, p.max);
    return p.title + (p.hint ? ' — ' + p.hint : '') + '\n' + range +
      '\nDrag or wheel (Shift: fine) · double-click: default · click the value: type';
  }

  // ---- read-out bubble while a value is being changed ----

  const anchors = {};
  let bubbleTimer = 0;

  function showBubble(i) {
    const bubble = document.getElementById('bubble');
    const stage = document.getElementById('stage');
    const anchor = anchors[i];
    if (!bubble || !anchor) return;
    clearTimeout(bubbleTimer);
    const p = C.params[i];
    bubble.textContent = p.title + '  ' + C.describe(i, S.get(i));
    bubble.hidden = false;
    const s = Y.fit.scale();
    const a = anchor.getBoundingClientRect();
    const st = stage.getBoundingClientRect();
    const w = bubble.offsetWidth;
    const h = bubble.offsetHeight;
    const cx = (a.left + a.width / 2 - st.left) / s;
    let y = (a.top - st.top) / s - h - 6;
    if (y < 2) y = (a.bottom - st.top) / s + 6;
    const x = C.clamp(cx - w / 2, 2, stage.offsetWidth - w - 2);
    bubble.style.left = x + 'px';
    bubble.style.top = y + 'px';
  }

  function hideBubbleSoon() {
    clearTimeout(bubbleTimer);
    bubbleTimer = setTimeout(function () {
      const bubble = document.getElementById('bubble');
      if (bubble) bubble.hidden = true;
    }, 700);
  }

  const heldBoxes = {};
  S.watch(function (i, v, source) {
    if (source === 'begin' || source === 'user') showBubble(i);
    if (source === 'begin' || source === 'end') {
      (heldBoxes[i] || []).forEach(function (box) { box.classList.toggle('is-held', source === 'begin'); });
    }
    if (source === 'end') hideBubbleSoon();
  });

  // ---- typing a value ----

  function startEntry(i, valueEl, control) {
    if (valueEl.hidden) return;
    const input = el('input', 'entry');
    input.type = 'text';
    input.spellcheck = false;
    input.setAttribute('aria-label', C.params[i].title);
    input.value = C.editText(i, S.get(i));
    valueEl.hidden = true;
    valueEl.after(input);
    input.focus();
    input.select();
    let done = false;
    function close(refocus) {
      if (done) return;
      done = true;
      input.remove();
      valueEl.hidden = false;
      if (refocus) control.focus({ preventScroll: true });
    }
    input.addEventListener('keydown', function (e) {
      e.stopPropagation();
      if (e.key === 'Enter') {
        const v = C.parse(i, input.value);
        if (v === null) { input.classList.add('is-bad'); return; }
        S.setOnce(i, v);
        close(true);
      } else if (e.key === 'Escape') {
        close(true);
      } else {
        input.classList.remove('is-bad');
      }
    });
    input.addEventListener('blur', function () { close(false); });
    input.addEventListener('pointerdown', function (e) { e.stopPropagation(); });
  }

  function valueBox(i, control) {
    const v = el('span', 'value');
    v.title = 'Click to type a value';
    v.addEventListener('click', function () { startEntry(i, v, control); });
    on(i, function () { v.textContent = C.format(i, S.get(i)); });
    return v;
  }

  // ---- gestures shared by every continuous control ----

  function attach(control, i, opts) {
    const p = C.params[i];
    let drag = null;
    let wheelTimer = 0;
    let wheelSteps = 0;

    control.addEventListener('pointerdown', function (e) {
      if (e.button !== 0) return;
      e.preventDefault();
      control.focus({ preventScroll: true, focusVisible: false });
      if (e.ctrlKey || e.metaKey) { S.setOnce(i, p.def); return; }
      control.setPointerCapture(e.pointerId);
      drag = { id: e.pointerId, x: e.clientX, y: e.clientY, u: C.toUnit(i, S.get(i)) };
      const jumped = opts.jump ? opts.jump(e) : null;
      if (jumped !== null) {
        drag.u = jumped;
        S.change(i, C.fromUnit(i, jumped));
      }
    });

    control.addEventListener('pointermove', function (e) {
      if (!drag || e.pointerId !== drag.id) return;
      const moved = opts.axis === 'x' ? e.clientX - drag.x : drag.y - e.clientY;
      drag.x = e.clientX;
      drag.y = e.clientY;
      if (!moved) return;
      drag.u = C.clamp(drag.u + moved / opts.travel() * (e.shiftKey ? 0.1 : 1), 0, 1);
      S.change(i, C.fromUnit(i, drag.u));
    });

    function stop(e) {
      if (!drag || e.pointerId !== drag.id) return;
      drag = null;
      S.end(i);
    }
    control.addEventListener('pointerup', stop);
    control.addEventListener('pointercancel', stop);
    control.addEventListener('lostpointercapture', stop);

    control.addEventListener('dblclick', function (e) {
      e.preventDefault();
      S.setOnce(i, p.def);
    });

    control.addEventListener('wheel', function (e) {
      e.preventDefault();
      const delta = e.deltaY || e.deltaX;
      const notches = -delta / (e.deltaMode === 1 ? 3 : e.deltaMode === 2 ? 0.05 : 100);
      let v;
      if (p.isInt) {
        wheelSteps += notches;
        const steps = Math.trunc(wheelSteps);
        if (!steps) return;
        wheelSteps -= steps;
        v = S.get(i) + steps;
      } else {
        v = C.fromUnit(i, C.toUnit(i, S.get(i)) + notches * (e.shiftKey ? 0.002 : 0.02));
      }
      S.change(i, v);
      clearTimeout(wheelTimer);
      wheelTimer = setTimeout(function () { wheelSteps = 0; S.end(i); }, WHEEL_END_MS);
    }, { passive: false });
  }

  function sliderRole(control, i, orientation) {
    const p = C.params[i];
    control.tabIndex = 0;
    control.setAttribute('role', 'slider');
    control.setAttribute('aria-label', p.title);
    control.setAttribute('aria-valuemin', String(p.min));
    control.setAttribute('aria-valuemax', String(p.max));
    if (orientation) control.setAttribute('aria-orientation', orientation);
    control.dataset.index = String(i);
    control.dataset.key = p.key;
    control.title = helpText(p);
    on(i, function () {
      const v = S.get(i);
      control.setAttribute('aria-valuenow', String(v));
      control.setAttribute('aria-valuetext', C.describe(i, v));
    });
  }

  // ---- knob ----

  function polar(r, deg) {
    const a = (deg - 90) * Math.PI / 180;
    return (r * Math.cos(a)).toFixed(3) + ' ' + (r * Math.sin(a)).toFixed(3);
  }

  function arc(r, from, to) {
    if (to < from) { const t = from; from = to; to = t; }
    if (to - from < 0.01) to = from + 0.01;
    return 'M' + polar(r, from) + 'A' + r + ' ' + r + ' 0 ' + (to - from > 180 ? 1 : 0) + ' 1 ' + polar(r, to);
  }

  function knob(i, label) {
    const p = C.params[i];
    const cell = el('div', 'cell');
    const knobEl = el('div', 'knob');
    const pic = svg('svg', { viewBox: '-20 -20 40 40', 'aria-hidden': 'true' }, knobEl);
    svg('path', { class: 'k-track', d: arc(16.5, -135, 135) }, pic);
    const valueArc = svg('path', { class: 'k-arc' }, pic);
    svg('circle', { class: 'k-cap', r: 12 }, pic);
    const tick = svg('line', { class: 'k-tick', x1: 0, y1: -4, x2: 0, y2: -10.5 }, pic);
    const valueEl = valueBox(i, knobEl);
    cell.append(el('span', 'cell-label', label || p.label), knobEl, valueEl);
    cell.dataset.key = p.key;
    sliderRole(knobEl, i);
    attach(knobEl, i, {
      axis: 'y',
      travel: function () { return KNOB_TRAVEL * Y.fit.scale(); },
    });
    anchors[i] = knobEl;
    heldBoxes[i] = [cell];
    on(i, function () {
      const angle = -135 + 270 * C.toUnit(i, S.get(i));
      const from = p.bipolar ? 0 : -135;
      valueArc.setAttribute('d', arc(16.5, from, angle));
      tick.setAttribute('transform', 'rotate(' + angle.toFixed(2) + ')');
    });
    return cell;
  }

  // ---- the pedal: a large vertical fader, toe at the top ----

  function pedal(i, modIndex) {
    const faderEl = el('div', 'fader');
    const plate = el('div', 'plate');
    const fill = el('div', 'fill');
    const thumb = el('div', 'thumb');
    const mod = el('div', 'mod');
    plate.append(fill);
    faderEl.append(plate, mod, thumb);
    const valueEl = valueBox(i, faderEl);
    const now = el('span', 'pedal-now');
    const read = el('div', 'pedal-read');
    read.append(valueEl, now);
    sliderRole(faderEl, i, 'vertical');
    attach(faderEl, i, {
      axis: 'y',
      travel: function () { return plate.getBoundingClientRect().height; },
      // A press on the plate puts the pedal there; a press on the thumb
      // only grabs it.
      jump: function (e) {
        if (e.target === thumb || e.shiftKey) return null;
        const r = plate.getBoundingClientRect();
        return C.clamp(1 - (e.clientY - r.top) / r.height, 0, 1);
      },
    });
    anchors[i] = thumb;
    heldBoxes[i] = [read];
    on(i, function () { thumb.style.top = (100 - 100 * C.toUnit(i, S.get(i))) + '%'; });
    const nowText = readout(now, 'pedalNow');
    let shown = NaN;
    on(modIndex, function () {
      nowText('now ' + C.format(modIndex, S.get(modIndex)));
      const u = C.clamp(S.get(modIndex) / 100, 0, 1);
      if (u === shown) return;
      shown = u;
      counted('pedalMod');
      mod.style.top = (100 - 100 * u) + '%';
      fill.style.height = (100 * u) + '%';
    });
    return [el('span', 'pedal-end', 'TOE'), faderEl, el('span', 'pedal-end', 'HEEL'), read];
  }

  // ---- the mix slider in the header ----

  function hslider(i) {
    const wrap = el('div', 'hslider-wrap');
    const slider = el('div', 'hslider');
    const track = el('div', 'h-track');
    const fill = el('div', 'h-fill');
    const thumb = el('div', 'h-thumb');
    slider.append(track, fill, thumb);
    const valueEl = valueBox(i, slider);
    wrap.append(el('span', 'cell-label', C.params[i].label), slider, valueEl);
    sliderRole(slider, i, 'horizontal');
    attach(slider, i, {
      axis: 'x',
      travel: function () { return track.getBoundingClientRect().width; },
      jump: function (e) {
        if (e.target === thumb || e.shiftKey) return null;
        const r = track.getBoundingClientRect();
        return C.clamp((e.clientX - r.left) / r.width, 0, 1);
      },
    });
    anchors[i] = slider;
    heldBoxes[i] = [wrap];
    on(i, function () {
      const u = 100 * C.toUnit(i, S.get(i));
      fill.style.width = u + '%';
      thumb.style.left = u + '%';
    });
    return wrap;
  }

  // ---- switches ----

  function toggle(i, label, cls) {
    const p = C.params[i];
    const b = el('button', 'switch' + (cls ? ' ' + cls : ''));
    b.type = 'button';
    b.setAttribute('role', 'switch');
    b.setAttribute('aria-label', p.title);
    b.dataset.index = String(i);
    b.dataset.key = p.key;
    b.title = p.title + (p.hint ? ' — ' + p.hint : '');
    b.append(el('span', cls === 'bypass' ? 'led' : 'pill'), el('span', 'switch-text', label || p.label));
    b.addEventListener('click', function () { S.setOnce(i, S.get(i) >= 0.5 ? 0 : 1); });
    on(i, function () { b.setAttribute('aria-checked', S.get(i) >= 0.5 ? 'true' : 'false'); });
    return b;
  }

  Y.widgets = {
    knob: knob, pedal: pedal, hslider: hslider, toggle: toggle,
    on: on, renderAll: renderAll, el: el, svg: svg,
    readout: readout, counted: counted, redraws: redraws, whenDrawn: whenDrawn,
    READOUT_MS: READOUT_MS, METER_MS: METER_MS,
  };
})(window.Yawp = window.Yawp || {});
