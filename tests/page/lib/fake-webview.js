// Stands in for WebView2's window.chrome.webview before any page script
// runs: records every string the page posts and lets a test deliver
// messages the way the plug-in would.
(() => {
  const target = new EventTarget();
  const sent = [];
  window.chrome = window.chrome || {};
  window.chrome.webview = {
    postMessage(message) { sent.push(message); },
    addEventListener: target.addEventListener.bind(target),
    removeEventListener: target.removeEventListener.bind(target),
  };
  window.__host = {
    sent,
    deliver(data) { target.dispatchEvent(new MessageEvent('message', { data })); },
  };
})();
