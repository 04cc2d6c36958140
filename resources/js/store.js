// The page's copy of the 36 values, and the gesture rules around it.
//
// Every user gesture reaches the plug-in as "b" (begin, with the value it
// starts from), any number of "s" (each new value) and "e" (end, with the
// final value): the host records that as one automation touch. A gesture
// is opened lazily by its first real change, so a click that moves nothing
// sends nothing. While a parameter is held, values the host pushes for it
// (its automation playing, or echoes of our own edits) are not shown: the
// user's hand wins until release, and the host's next value applies then.
(function (Y) {
  'use strict';

  const C = Y.catalogue;
  const values = C.params.map(function (p) { return p.def; });
  const held = new Set();
  const watchers = [];
  let send = function () {};

  const scratch = new DataView(new ArrayBuffer(4));

  function bitsOf(v) { scratch.setFloat32(0, v); return scratch.getUint32(0); }
  function floatOf(bits) { scratch.setUint32(0, bits >>> 0); return scratch.getFloat32(0); }
  function hex8(n) { return (n >>> 0).toString(16).padStart(8, '0'); }

  // The bridge's value message: kind, index and the value's float bits,
  // each number as eight lower-case hex digits.
  function message(kind, i, v) { return kind + ' ' + hex8(i) + ' ' + hex8(bitsOf(v)); }

  function notify(i, source) {
    for (let k = 0; k < watchers.length; k++) watchers[k](i, values[i], source);
  }

  function watch(fn) { watchers.push(fn); }

  function connect(sender) { send = sender; }

  function get(i) { return values[i]; }

  function isHeld(i) { return held.has(i); }

  // A value the page already shows costs no redraw; hosts repeat them.
  function fromHost(i, v) {
    if (held.has(i)) return false;
    if (Object.is(v, values[i])) return true;
    values[i] = v;
    notify(i, 'host');
    return true;
  }

  function begin(i) {
    if (held.has(i)) return;
    held.add(i);
    send(message('b', i, values[i]));
    notify(i, 'begin');
  }

  function change(i, v) {
    if (i < 0 || i >= C.INPUTS) return;
    v = C.coerce(i, v);
    if (bitsOf(v) === bitsOf(values[i])) return;
    if (!held.has(i)) begin(i);
    values[i] = v;
    send(message('s', i, v));
    notify(i, 'user');
  }

  function end(i) {
    if (!held.delete(i)) return;
    send(message('e', i, values[i]));
    notify(i, 'end');
  }

  // A whole gesture at once: a switch click, a typed value, a reset.
  function setOnce(i, v) {
    change(i, v);
    end(i);
  }

  Y.store = {
    values: values,
    get: get,
    isHeld: isHeld,
    fromHost: fromHost,
    begin: begin,
    change: change,
    end: end,
    setOnce: setOnce,
    watch: watch,
    connect: connect,
    bitsOf: bitsOf,
    floatOf: floatOf,
    hex8: hex8,
    message: message,
  };
})(window.Yawp = window.Yawp || {});
