// The 36 parameters as the page sees them: plain values in their own units,
// addressed by catalogue index (0-31 inputs, 32-35 meters).
(function (Y) {
  'use strict';

  // Kinds: L linear, G logarithmic, I integer, T switch, B bypass switch, O meter.
  // Row: state key, title, short label, unit, min, max, default, kind, hint.
  const ROWS = [
    ['position', 'Position', 'Position', '%', 0, 100, 50, 'L', 'Heel 0 % … toe 100 %'],
    ['mix', 'Mix', 'Mix', '%', 0, 100, 100, 'L', 'Dry 0 % … wet 100 %'],
    ['heel_jaw', 'Heel jaw', 'Jaw', '%', 0, 100, 12.4222007837421, 'L', 'Moves the first formant'],
    ['heel_tongue', 'Heel tongue', 'Tongue', '%', 0, 100, 12.6221400720352, 'L', 'Moves the second formant'],
    ['heel_color', 'Heel color', 'Color', '%', 0, 100, 32.6749101409938, 'L', 'Moves the third formant'],
    ['heel_sex', 'Heel sex', 'Sex', '%', 0, 100, 50, 'L', 'Female 0 % … male 100 %'],
    ['heel_age', 'Heel age', 'Age', '%', 0, 100, 100, 'L', 'Child 0 % … adult 100 %'],
    ['mid_on', 'Mid on', 'Mid', '', 0, 1, 0, 'T', 'Adds a third vowel halfway'],
    ['mid_jaw', 'Mid jaw', 'Jaw', '%', 0, 100, 46.6582563814956, 'L', 'Moves the first formant'],
    ['mid_tongue', 'Mid tongue', 'Tongue', '%', 0, 100, 71.2919267668632, 'L', 'Moves the second formant'],
    ['mid_color', 'Mid color', 'Color', '%', 0, 100, 45.0149668194776, 'L', 'Moves the third formant'],
    ['mid_sex', 'Mid sex', 'Sex', '%', 0, 100, 50, 'L', 'Female 0 % … male 100 %'],
    ['mid_age', 'Mid age', 'Age', '%', 0, 100, 100, 'L', 'Child 0 % … adult 100 %'],
    ['toe_jaw', 'Toe jaw', 'Jaw', '%', 0, 100, 95.9426643982532, 'L', 'Moves the first formant'],
    ['toe_tongue', 'Toe tongue', 'Tongue', '%', 0, 100, 69.4366275208754, 'L', 'Moves the second formant'],
    ['toe_color', 'Toe color', 'Color', '%', 0, 100, 55.0607107213899, 'L', 'Moves the third formant'],
    ['toe_sex', 'Toe sex', 'Sex', '%', 0, 100, 50, 'L', 'Female 0 % … male 100 %'],
    ['toe_age', 'Toe age', 'Age', '%', 0, 100, 100, 'L', 'Child 0 % … adult 100 %'],
    ['lfo_on', 'LFO on', 'LFO', '', 0, 1, 0, 'T', 'Lets the LFO move the pedal'],
    ['lfo_waveform', 'LFO waveform', 'Wave', '', 1, 4, 1, 'L', 'Sine 1 … triangle 2 … square 3 … random 4'],
    ['lfo_amount', 'LFO amount', 'Amount', '%', 0, 100, 100, 'L', 'How far the LFO moves the pedal'],
    ['lfo_bias', 'LFO bias', 'Bias', '%', -100, 100, 0, 'L', 'Shifts the LFO toward heel or toe'],
    ['lfo_skew', 'LFO skew', 'Skew', '', -100, 100, 0, 'L', 'Moves the peak within the cycle'],
    ['lfo_sync', 'LFO sync', 'Sync', '', 0, 1, 0, 'T', 'Locks the LFO to the host tempo'],
    ['lfo_free_rate', 'LFO free rate', 'Rate', 'Hz', 0.2, 20, 2, 'G', 'Speed when not synced'],
    ['lfo_sync_rate', 'LFO sync rate', 'Sync rate', '', 1, 24, 8, 'I', 'Note length per cycle when synced (D dotted, T triplet)'],
    ['lfo_sync_phase', 'LFO sync phase', 'Phase', '°', 0, 360, 0, 'L', 'Offset against the bar when synced'],
    ['env_on', 'Env on', 'Envelope', '', 0, 1, 0, 'T', 'Lets the input level move the pedal'],
    ['env_amount', 'Env amount', 'Amount', '%', -100, 100, 100, 'L', 'Toward toe (+) or heel (−) when louder'],
    ['env_attack', 'Env attack', 'Attack', 'ms', 1, 1000, 100, 'G', 'How fast it follows a rise'],
    ['env_release', 'Env release', 'Release', 'ms', 1, 1000, 100, 'G', 'How fast it falls back'],
    ['bypass', 'Bypass', 'Bypass', '', 0, 1, 0, 'B', 'Passes the input through unchanged'],
    ['mod_position', 'Modulated position', 'Mod position', '%', 0, 100, 50, 'O', ''],
    ['lfo_phase', 'LFO phase', 'LFO phase', '', 0, 1, 0, 'O', ''],
    ['lfo_output', 'LFO output', 'LFO out', '', -1, 1, 0, 'O', ''],
    ['env_output', 'Env output', 'Env out', '', -1, 1, 0, 'O', ''],
  ];

  const params = ROWS.map(function (r, index) {
    return {
      index: index, key: r[0], title: r[1], label: r[2], unit: r[3],
      min: r[4], max: r[5], def: r[6], kind: r[7], hint: r[8],
      isSwitch: r[7] === 'T' || r[7] === 'B',
      isLog: r[7] === 'G',
      isInt: r[7] === 'I',
      bipolar: r[4] < 0,
    };
  });

  const byKey = {};
  params.forEach(function (p) { byKey[p.key] = p.index; });

  // Sync rates come in threes per note length: dotted, plain, triplet.
  const NOTES = ['1/1', '1/2', '1/4', '1/8', '1/16', '1/32', '1/64', '1/128'];
  const FEELS = [' D', '', ' T'];
  const WAVES = ['Sine', 'Triangle', 'Square', 'Random'];
  const WAVE_SHORT = ['Sin', 'Tri', 'Sqr', 'Rnd'];
  const MINUS = '\u2212';
  const GAP = '\u202f';   // narrow no-break space between number and unit

  function clamp(v, lo, hi) { return v < lo ? lo : v > hi ? hi : v; }

  // Position of a plain value along a control's travel, 0 to 1. Log
  // parameters travel in equal ratios, so 10 ms to 100 ms takes as far as
  // 100 ms to 1000 ms.
  function toUnit(i, v) {
    const p = params[i];
    if (p.isLog) return clamp(Math.log(v / p.min) / Math.log(p.max / p.min), 0, 1);
    return clamp((v - p.min) / (p.max - p.min), 0, 1);
  }

  function fromUnit(i, u) {
    const p = params[i];
    u = clamp(u, 0, 1);
    if (p.isLog) return p.min * Math.exp(u * Math.log(p.max / p.min));
    return p.min + (p.max - p.min) * u;
  }

  // What the page may send: inside the range, whole numbers for the sync
  // rate, 0 or 1 for switches, and exactly representable as a 32-bit float.
  function coerce(i, v) {
    const p = params[i];
    if (typeof v !== 'number' || !Number.isFinite(v)) v = p.def;
    if (p.isSwitch) v = v >= 0.5 ? 1 : 0;
    else if (p.isInt) v = v < 0 ? -Math.floor(-v + 0.5) : Math.floor(v + 0.5);
    v = clamp(v, p.min, p.max);
    const f = Math.fround(v);
    return f > p.max ? p.max : f;
  }

  function syncRateLabel(v) {
    const n = clamp(Math.round(v), 1, 24) - 1;
    return NOTES[Math.floor(n / 3)] + FEELS[n % 3];
  }

  function waveLabel(w) {
    w = clamp(w, 1, 4);
    const near = Math.round(w);
    if (Math.abs(w - near) < 0.005) return WAVES[near - 1];
    const a = Math.floor(w);
    return WAVE_SHORT[a - 1] + '\u203a' + WAVE_SHORT[a];
  }

  function waveDescription(w) {
    w = clamp(w, 1, 4);
    const near = Math.round(w);
    if (Math.abs(w - near) < 0.005) return WAVES[near - 1];
    const a = Math.floor(w);
    return WAVES[a - 1] + ' \u2192 ' + WAVES[a] + ' ' + Math.round((w - a) * 100) + ' %';
  }

  function fixed(v, decimals, signed) {
    let s = Math.abs(v).toFixed(decimals);
    if (Number(s) === 0) return s;
    if (v < 0) return MINUS + s;
    return signed ? '+' + s : s;
  }

  // Three significant digits, for the Hz and ms of the log parameters.
  function sig3(v) { return fixed(v, v < 9.995 ? 2 : v < 99.95 ? 1 : 0, false); }

  function format(i, v) {
    const p = params[i];
    if (p.isSwitch) return v >= 0.5 ? 'On' : 'Off';
    switch (p.key) {
      case 'lfo_waveform': return waveLabel(v);
      case 'lfo_sync_rate': return syncRateLabel(v);
      case 'lfo_sync_phase': return fixed(v, 0, false) + '°';
      case 'lfo_skew': return fixed(v, Math.abs(v) >= 99.95 ? 0 : 1, true);
      case 'lfo_phase': return fixed(v * 360, 0, false) + '°';
      case 'lfo_output': case 'env_output': return fixed(v * 100, 0, true) + GAP + '%';
    }
    if (p.isLog) return sig3(v) + GAP + p.unit;
    return fixed(v, Math.abs(v) >= 99.95 ? 0 : 1, p.bipolar) + GAP + p.unit;
  }

  // Typed values: numbers with or without their unit, "0.5 s" for ms,
  // note lengths such as "1/8 T" for the sync rate, names for the waveform.
  function parse(i, text) {
    const p = params[i];
    let t = String(text).trim().toLowerCase().replace(/\u2212/g, '-').replace(/,/g, '.');
    if (t === '') return null;
    if (p.isSwitch) {
      if (/^(on|yes|true|1)$/.test(t)) return 1;
      if (/^(off|no|false|0)$/.test(t)) return 0;
      return null;
    }
    if (p.key === 'lfo_sync_rate') {
      const m = /^1\s*\/\s*(\d+)\s*(d|dot|dotted|\.|t|trip|triplet)?$/.exec(t);
      if (m) {
        const note = NOTES.indexOf('1/' + m[1]);
        if (note < 0) return null;
        const feel = !m[2] ? 1 : m[2][0] === 't' ? 2 : 0;
        return note * 3 + feel + 1;
      }
    }
    if (p.key === 'lfo_waveform') {
      const names = [/^sin/, /^tri/, /^sq/, /^(rand|rnd|s&h)/];
      for (let k = 0; k < names.length; k++) if (names[k].test(t)) return k + 1;
    }
    const m = /^[-+]?(\d+\.?\d*|\.\d+)(e[-+]?\d+)?/.exec(t);
    if (!m) return null;
    let v = parseFloat(m[0]);
    const rest = t.slice(m[0].length).trim();
    if (p.unit === 'ms' && (rest === 's' || rest === 'sec')) v *= 1000;
    if (p.unit === 'Hz' && rest === 'khz') v *= 1000;
    return Number.isFinite(v) ? v : null;
  }

  // A value in words, for the drag read-out and screen readers.
  function describe(i, v) {
    return params[i].key === 'lfo_waveform' ? waveDescription(v) : format(i, v);
  }

  // The text placed in the box when the user starts typing a value.
  function editText(i, v) {
    const p = params[i];
    if (p.key === 'lfo_sync_rate') return format(i, v);
    if (p.key === 'lfo_waveform') return v.toFixed(2);
    return format(i, v).replace(/[\s\u202f]*(%|Hz|ms|°)$/, '').replace(MINUS, '-').replace(/^\+/, '');
  }

  Y.catalogue = {
    COUNT: 36,
    INPUTS: 32,
    params: params,
    byKey: byKey,
    toUnit: toUnit,
    fromUnit: fromUnit,
    coerce: coerce,
    format: format,
    describe: describe,
    parse: parse,
    editText: editText,
    syncRateLabel: syncRateLabel,
    waveDescription: waveDescription,
    clamp: clamp,
  };
})(window.Yawp = window.Yawp || {});
