// The preset menu in the header: the factory presets by category, previous
// and next, and the current preset's name, marked "modified" once any value
// differs from it. Choosing a preset sends one whole gesture (b, s, e) for
// each parameter it changes and nothing for the others, so the host records
// the change as automation and can undo it.
(function (Y) {
  'use strict';

  const C = Y.catalogue;
  const S = Y.store;
  const TABLE = Y.presetTable || [];
  // Bypass is the player's switch, not part of a sound: a preset leaves it
  // alone, and it never makes a preset "modified".
  const KEEP = C.byKey.bypass;

  let current = -1;   // index into TABLE; -1 before any preset is known
  let recognised = false;  // current was found by its values, not chosen here

  function target(p, i) { return C.coerce(i, p.values[i]); }

  function differs(p, i) { return S.bitsOf(target(p, i)) !== S.bitsOf(S.get(i)); }

  function matches(p) {
    for (let i = 0; i < C.INPUTS; i++) if (i !== KEEP && differs(p, i)) return false;
    return true;
  }

  function modified() { return current >= 0 && !matches(TABLE[current]); }

  function choose(index) {
    if (index < 0 || index >= TABLE.length) return;
    const p = TABLE[index];
    current = index;
    recognised = false;
    // The store coerces each value and sends nothing for one that is
    // already there.
    for (let i = 0; i < C.INPUTS; i++) {
      if (i === KEEP || S.isHeld(i)) continue;
      S.setOnce(i, p.values[i]);
    }
    render();
  }

  function step(by) {
    if (!TABLE.length) return;
    const from = current < 0 ? (by > 0 ? -1 : 0) : current;
    choose((from + by + TABLE.length) % TABLE.length);
  }

  function render() {
    const p = current >= 0 ? TABLE[current] : null;
    const isModified = modified();
    const name = document.getElementById('preset-name');
    document.getElementById('preset-label').textContent = p ? p.name : 'Presets';
    document.getElementById('preset-modified').hidden = !isModified;
    name.title = p ? p.name + (isModified ? ' (modified)' : '') + ': ' + p.description : 'Factory presets';
    name.dataset.modified = isModified ? 'true' : 'false';
    document.querySelectorAll('#preset-menu [role=menuitemradio]').forEach(function (item) {
      item.setAttribute('aria-checked', Number(item.dataset.index) === current ? 'true' : 'false');
    });
  }

  // A value from anywhere. A preset chosen here stays current and may
  // become modified. Otherwise the page names the preset every value
  // matches: the host restores a session one value at a time, and on the
  // way its values may match another preset for a moment.
  function onValue(i) {
    if (i >= C.INPUTS) return;
    if (current < 0 || (recognised && !matches(TABLE[current]))) {
      const found = TABLE.findIndex(matches);
      if (found >= 0) {
        current = found;
        recognised = true;
      }
    }
    render();
  }

  function buildMenu(menu) {
    let category = null;
    TABLE.forEach(function (p, index) {
      if (p.category !== category) {
        category = p.category;
        const head = document.createElement('div');
        head.className = 'preset-category';
        head.setAttribute('role', 'presentation');
        head.textContent = category;
        menu.append(head);
      }
      const item = document.createElement('button');
      item.type = 'button';
      item.className = 'preset-item';
      item.setAttribute('role', 'menuitemradio');
      item.dataset.index = String(index);
      item.textContent = p.name;
      item.title = p.description;
      menu.append(item);
    });
  }

  function isOpen() { return !document.getElementById('preset-menu').hidden; }

  function open() {
    const menu = document.getElementById('preset-menu');
    // Under the bar, in the stage's own (unscaled) pixels.
    menu.style.left = document.querySelector('.preset-bar').offsetLeft + 'px';
    menu.hidden = false;
    document.getElementById('preset-name').setAttribute('aria-expanded', 'true');
    const checked = document.querySelector('#preset-menu [aria-checked=true]') ||
      document.querySelector('#preset-menu .preset-item');
    if (checked) checked.focus();
  }

  function close() {
    document.getElementById('preset-menu').hidden = true;
    document.getElementById('preset-name').setAttribute('aria-expanded', 'false');
  }

  function start() {
    const menu = document.getElementById('preset-menu');
    const name = document.getElementById('preset-name');
    buildMenu(menu);
    name.addEventListener('click', function () { if (isOpen()) close(); else open(); });
    document.getElementById('preset-prev').addEventListener('click', function () { step(-1); });
    document.getElementById('preset-next').addEventListener('click', function () { step(1); });
    menu.addEventListener('click', function (e) {
      const item = e.target.closest('.preset-item');
      if (!item) return;
      choose(Number(item.dataset.index));
      close();
      name.focus();
    });
    document.addEventListener('keydown', function (e) {
      if (e.key === 'Escape' && isOpen()) { close(); name.focus(); }
    });
    document.addEventListener('pointerdown', function (e) {
      if (isOpen() && !menu.contains(e.target) && !name.contains(e.target)) close();
    });
    S.watch(onValue);
    render();
  }

  Y.presetMenu = { start: start };
})(window.Yawp = window.Yawp || {});
