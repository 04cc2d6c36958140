// Builds the editor from the tables below and connects it to the plug-in.
(function (Y) {
  'use strict';

  const W = Y.widgets;
  const D = Y.displays;
  const S = Y.store;

  const SHAPES = [
    { cls: 'heel-panel', title: 'Heel', first: 2 },
    { cls: 'mid-panel', title: 'Mid', first: 8, toggle: 7 },
    { cls: 'toe-panel', title: 'Toe', first: 13 },
  ];
  const LFO_KNOBS = [19, 20, 21, 22, 24, 25, 26];
  const ENV_KNOBS = [28, 29, 30];

  // Which panel each switch wakes up, and which knobs only matter in one
  // sync mode (they stay usable, only dimmed).
  const PANEL_SWITCHES = { 7: 'mid-panel', 18: 'lfo-panel', 27: 'env-panel' };
  const IDLE_UNLESS = { 24: false, 25: true, 26: true };   // knob: wanted lfo_sync

  function section(cls, label) {
    const s = W.el('section', 'panel ' + cls);
    s.setAttribute('aria-label', label);
    return s;
  }

  function head(left, right) {
    const h = W.el('div', 'panel-head');
    h.append(left);
    if (right) h.append(right);
    return h;
  }

  function knobs(indices) {
    const row = W.el('div', 'knobs');
    indices.forEach(function (i) { row.append(W.knob(i)); });
    return row;
  }

  function shapePanel(panel) {
    const s = section(panel.cls, panel.title + ' vowel');
    const title = panel.toggle !== undefined
      ? W.toggle(panel.toggle, panel.title)
      : W.el('h2', 'panel-title', panel.title);
    s.append(head(title), knobs([0, 1, 2, 3, 4].map(function (k) { return panel.first + k; })));
    return s;
  }

  function lfoPanel() {
    const s = section('lfo-panel', 'LFO');
    const row = W.el('div', 'scope-row');
    const scope = W.el('div', 'scope');
    scope.id = 'lfo-scope';
    row.append(scope, D.lfoMeter());
    const wave = W.el('span', 'wave-name');
    const h = head(W.toggle(18, 'LFO'), W.toggle(23, 'Sync'));
    h.insertBefore(wave, h.lastChild);
    s.append(h, row, knobs(LFO_KNOBS));
    return { panel: s, scope: scope, wave: wave };
  }

  function envPanel() {
    const s = section('env-panel', 'Envelope');
    const row = W.el('div', 'meter-row');
    row.append(D.envMeter());
    s.append(head(W.toggle(27, 'Envelope')), row, knobs(ENV_KNOBS));
    return s;
  }

  function wireActivity() {
    Object.keys(PANEL_SWITCHES).forEach(function (i) {
      const panel = document.querySelector('.' + PANEL_SWITCHES[i]);
      W.on(Number(i), function () { panel.classList.toggle('is-off', S.get(Number(i)) < 0.5); });
    });
    W.on(23, function () {
      const synced = S.get(23) >= 0.5;
      Object.keys(IDLE_UNLESS).forEach(function (i) {
        const cell = document.querySelector('.cell[data-key="' + Y.catalogue.params[i].key + '"]');
        cell.classList.toggle('is-idle', synced !== IDLE_UNLESS[i]);
      });
    });
  }

  function build() {
    document.getElementById('mix-slot').append(W.hslider(1));
    document.getElementById('bypass-slot').append(W.toggle(31, 'Bypass', 'bypass'));
    document.getElementById('pedal-slot').append.apply(document.getElementById('pedal-slot'), W.pedal(0, 32));
    const shapes = document.getElementById('shapes');
    SHAPES.forEach(function (panel) { shapes.append(shapePanel(panel)); });
    const lfo = lfoPanel();
    document.getElementById('mods').append(lfo.panel, envPanel());
    D.vowelChart(document.getElementById('vowel-chart'));
    D.lfoScope(lfo.scope, lfo.wave);
    wireActivity();
  }

  function start() {
    build();
    Y.fit.start();
    W.renderAll();
    Y.presetMenu.start();
    Y.bridge.onText(Y.news.receive);
    const link = Y.bridge.start();
    Y.keys.start(Y.bridge.send);
    Y.news.start(Y.bridge.send);
    document.documentElement.dataset.host = link.simulated ? 'preview' : 'plugin';
    if (link.simulated) {
      document.querySelector('.brand-sub').textContent = 'preview · no plug-in';
    }
  }

  start();
})(window.Yawp = window.Yawp || {});
