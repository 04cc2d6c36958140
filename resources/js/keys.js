// The keyboard belongs to the host. While the editor has the focus, every
// key the page does not need is handed on, so the DAW's space bar, function
// keys and shortcuts keep working. The page keeps only:
//   - every key while a text field has the focus (typing a value);
//   - Escape and Enter while one of its pop-overs (the preset menu, the news
//     panel) is open: they close it or choose in it.
// A key handed on is sent as "k d|u CODE CHAR MODS" (see bridge.js), and the
// page does nothing else with it: a focused button is not pressed by the
// space bar, a focused knob does not move with the arrows.
//
// Presses and releases stay paired, so a host never sees a release without
// its press:
//   - a release is handed on only if its press was; the release of a press
//     the page kept stays here (Enter ends a value's text box, and the knob
//     that gets the focus back sees the release);
//   - an auto-repeated press goes where its first press went;
//   - when the page loses the focus with keys still held down, their
//     releases go to the host at once: the real ones will land elsewhere.
(function (Y) {
  'use strict';

  const SHIFT = 1;
  const CTRL = 2;
  const ALT = 4;
  const META = 8;
  const REPEAT = 16;
  const LAST_CODE = 0xfe;   // Windows virtual-key codes end here
  const NOT_TEXT = ['button', 'checkbox', 'color', 'file', 'hidden', 'image', 'radio', 'range', 'reset', 'submit'];

  const held = new Map();   // key code → character, for presses handed on and not yet released
  let send = function () {};

  function inTextField(e) {
    const t = e.target;
    if (!t || t.nodeType !== Node.ELEMENT_NODE) return false;
    if (t.isContentEditable || t.tagName === 'TEXTAREA') return true;
    return t.tagName === 'INPUT' && NOT_TEXT.indexOf(t.type) < 0;
  }

  function popOverOpen() {
    return document.querySelector('[role=menu]:not([hidden]), [role=dialog]:not([hidden])') !== null;
  }

  function keeps(e) {
    if (inTextField(e)) return true;
    return (e.key === 'Escape' || e.key === 'Enter') && popOverOpen();
  }

  // The code point a key types when its name is one character; a lone
  // surrogate types nothing a host could use.
  function character(key) {
    const chars = Array.from(typeof key === 'string' ? key : '');
    if (chars.length !== 1) return 0;
    const c = chars[0].codePointAt(0);
    return c >= 0xd800 && c <= 0xdfff ? 0 : c;
  }

  function modifiers(e) {
    return (e.shiftKey ? SHIFT : 0) | (e.ctrlKey ? CTRL : 0) | (e.altKey ? ALT : 0) |
      (e.metaKey ? META : 0) | (e.repeat ? REPEAT : 0);
  }

  function message(kind, code, char, mods) {
    return 'k ' + kind + ' ' + code.toString(16) + ' ' + char.toString(16) + ' ' + mods.toString(16);
  }

  function handOn(e, kind) {
    e.preventDefault();
    e.stopPropagation();
    send(message(kind, e.keyCode, character(e.key), modifiers(e)));
  }

  function onDown(e) {
    const code = e.keyCode;
    if (!code || code > LAST_CODE) return;   // no virtual-key code to give the host
    if (e.repeat ? !held.has(code) : keeps(e)) return;
    held.set(code, character(e.key));
    handOn(e, 'd');
  }

  function onUp(e) {
    if (!held.has(e.keyCode)) return;
    held.delete(e.keyCode);
    handOn(e, 'u');
  }

  function releaseAll() {
    held.forEach(function (char, code) { send(message('u', code, char, 0)); });
    held.clear();
  }

  // Listening on the window in the capture phase sees every key before any
  // control does, so a key handed on reaches none of them.
  function start(sender) {
    send = sender;
    window.addEventListener('keydown', onDown, true);
    window.addEventListener('keyup', onUp, true);
    window.addEventListener('blur', releaseAll);
  }

  Y.keys = { start: start };
})(window.Yawp = window.Yawp || {});
