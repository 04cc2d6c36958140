// A stand-in for the plug-in, used only when the page is opened directly in
// a browser. It answers the same messages the plug-in does: it keeps the
// values and echoes edits, plays a pretend guitar through a rough model of
// the LFO and envelope so the meters move, and keeps the news store in
// memory with the plug-in's check-and-replace rule.
(function (Y) {
  'use strict';

  const C = Y.catalogue;
  const TICK_MS = 40;
  const TEMPO = 120;

  function create() {
    const target = new EventTarget();
    const values = C.params.map(function (p) { return Math.fround(p.def); });
    const files = { system: null, news: null, latest: {} };
    const lfo = { phase: 0, random: -0.29795998 };
    const env = { state: 0, input: 0, next: 0 };
    let timer = 0;

    function deliver(text) {
      setTimeout(function () { target.dispatchEvent(new MessageEvent('message', { data: text })); }, 0);
    }

    function push(i) { deliver(Y.store.message('s', i, values[i])); }

    function coerce(i, v) {
      const p = C.params[i];
      if (p.isSwitch) v = v >= 0.5 ? 1 : 0;
      else if (p.isInt) v = v < 0 ? -Math.floor(-v + 0.5) : Math.floor(v + 0.5);
      return Math.fround(Math.min(p.max, Math.max(p.min, v)));
    }

    function edit(text) {
      const m = /^[bse] ([0-9a-f]+) ([0-9a-f]+)$/i.exec(text);
      if (!m) return;
      const i = parseInt(m[1], 16);
      if (i >= C.INPUTS) return;
      values[i] = coerce(i, Y.store.floatOf(parseInt(m[2], 16)));
      push(i);
    }

    // Check-and-replace as the plug-in's store does it: the first eight
    // characters of the file are its version tag.
    function sync(old, data, word) {
      const empty = old === null || old === '';
      if (data.charAt(0) === '-') {
        if (empty) return { text: data.slice(2) };
      } else if (data.length >= 10 && (empty || old.slice(0, 8) === data.slice(0, 8))) {
        return { text: data.slice(9) };
      }
      deliver('m crierV1 ' + word + ' ' + (old || ''));
      return null;
    }

    function crier(text) {
      const reply = function (s) { deliver('m crierV1 ' + s); };
      let r;
      if (text.startsWith('crierV1 init ')) {
        const name = text.slice(13);
        if (files.system !== null) reply('initSid ' + files.system);
        if (files.news !== null) reply('initNews ' + files.news);
        if (files.latest[name] !== undefined) reply('initLatest ' + files.latest[name]);
        reply('initDone ');
      } else if (text.startsWith('crierV1 getNews ')) {
        reply('getNews ' + (files.news || ''));
      } else if (text.startsWith('crierV1 newSid ')) {
        files.system = text.slice(15);
      } else if (text.startsWith('crierV1 syncNews ')) {
        r = sync(files.news, text.slice(17), 'syncNewsConflict');
        if (r) files.news = r.text;
      } else if (text.startsWith('crierV1 syncLatest ')) {
        const rest = text.slice(19);
        const cut = rest.indexOf(' ');
        if (cut <= 0) return;
        const name = rest.slice(0, cut);
        r = sync(files.latest[name] === undefined ? null : files.latest[name], rest.slice(cut + 1), 'syncLatestConflict');
        if (r) files.latest[name] = r.text;
      }
    }

    // The pretend input: a plucked note every 0.6 s that dies away.
    function stepEnvelope(t, dt) {
      if (t >= env.next) {
        env.input = 0.6 + 0.35 * Math.random();
        env.next = t + 0.6;
      }
      env.input *= Math.exp(-dt / 0.25);
      const tau = (env.input < env.state ? values[30] : values[29]) * 0.001;
      env.state = env.input + Math.exp(-dt / tau) * (env.state - env.input);
      return env.state * (values[27] >= 0.5 ? 1 : 0) * values[28] * 0.5;
    }

    function cyclesPerQuarter(rate) {
      const n = Math.round(rate) - 1;
      return Math.pow(2, Math.floor(n / 3)) / 4 * [2 / 3, 1, 1.5][n % 3];
    }

    function stepLfo(dt) {
      const synced = values[23] >= 0.5;
      const hz = synced ? cyclesPerQuarter(values[25]) * TEMPO / 60 : values[24];
      lfo.phase += hz * dt;
      if (lfo.phase >= 1) {
        lfo.phase -= Math.floor(lfo.phase);
        lfo.random = Math.random() * 2 - 1;
      }
      let phi = lfo.phase;
      if (synced) phi = (phi + values[26] / 360) % 1;
      const v = Y.lfoShape.value(phi, values[19], values[22], lfo.random);
      return { phase: phi, term: (v + values[21] * 0.01) * (values[18] >= 0.5 ? 1 : 0) * values[20] * 0.005 };
    }

    function tick() {
      const dt = TICK_MS / 1000;
      const t = performance.now() / 1000;
      const e = stepEnvelope(t, dt);
      const l = stepLfo(dt);
      const m = Math.min(1, Math.max(0, values[0] * 0.01 + e + l.term));
      values[32] = Math.fround(m * 100);
      values[33] = Math.fround(l.phase);
      values[34] = Math.fround(l.term);
      values[35] = Math.fround(e);
      for (let i = 32; i < 36; i++) push(i);
    }

    function postMessage(text) {
      if (typeof text !== 'string') return;
      const kind = text.charAt(0);
      if (kind === 'g') {
        for (let i = 0; i < C.COUNT; i++) push(i);
        if (!timer) timer = setInterval(tick, TICK_MS);
      } else if (kind === 'b' || kind === 's' || kind === 'e') {
        edit(text);
      } else if (kind === 'm') {
        crier(text.slice(2));
      }
      // Keys handed on ("k") would go to a DAW; a browser tab has none.
    }

    return {
      postMessage: postMessage,
      addEventListener: target.addEventListener.bind(target),
      removeEventListener: target.removeEventListener.bind(target),
      files: files,
    };
  }

  Y.simHost = { create: create };
})(window.Yawp = window.Yawp || {});
