// The text link to the plug-in. Inside the plug-in the page talks through
// window.chrome.webview; opened on its own in a browser it talks to the
// small simulated host in sim-host.js instead, so it can be worked on and
// reviewed without a plug-in.
//
// From the host:  "s IIIIIIII VVVVVVVV"  value of index I (hex), V = float bits
//                 "m " + text            a reply of the news store
// To the host:    "g"                    send me every value
//                 "b|s|e IIIIIIII VVVVVVVV"  begin / set / end a gesture
//                 "m " + text            a request to the news store
//                 "k d|u CODE CHAR MODS" a key the page does not use (keys.js),
//                                        pressed (d) or released (u), in hex
//                                        without padding: CODE the Windows
//                                        virtual-key code (KeyboardEvent.keyCode,
//                                        1 to fe), CHAR the code point it types
//                                        or 0, MODS shift 1, ctrl 2, alt 4,
//                                        meta 8, auto-repeat 10; "k d 20 20 0"
//                                        is the space bar. A plug-in that does
//                                        not know "k" ignores it.
(function (Y) {
  'use strict';

  const VALUE = /^s ([0-9a-fA-F]{8}) ([0-9a-fA-F]{8})$/;
  let link = null;
  let textHandler = function () {};

  function receive(data) {
    if (typeof data !== 'string') return;
    if (data.charAt(0) === 's') {
      const m = VALUE.exec(data);
      if (!m) return;
      const index = parseInt(m[1], 16);
      const value = Y.store.floatOf(parseInt(m[2], 16));
      if (index >= Y.catalogue.COUNT || !Number.isFinite(value)) return;
      Y.store.fromHost(index, value);
    } else if (data.charAt(0) === 'm' && data.charAt(1) === ' ') {
      textHandler(data.slice(2));
    }
  }

  function send(text) {
    if (link) link.postMessage(text);
  }

  function hostLink() {
    const chrome = window.chrome;
    const wv = chrome && chrome.webview;
    if (wv && typeof wv.postMessage === 'function' && typeof wv.addEventListener === 'function') return wv;
    return null;
  }

  // Listen first, then ask for every value, so no answer is missed.
  function start() {
    const wv = hostLink();
    link = wv || Y.simHost.create();
    link.addEventListener('message', function (event) { receive(event && event.data); });
    Y.store.connect(send);
    send('g');
    return { simulated: !wv };
  }

  function onText(fn) { textHandler = fn; }

  Y.bridge = { start: start, send: send, onText: onText, receive: receive };
})(window.Yawp = window.Yawp || {});
