// News from Tallow Audio, kept in the plug-in's per-user news store (the
// browser's own storage is thrown away whenever the editor closes).
//
// The feed: GET https://tallow.audio/crier/v1/news.json, served with
// "Access-Control-Allow-Origin: *" (the editor's page has a file:// origin):
//   { "crier": 1,
//     "items": [ { "id": "yawp-wah-1-1",              unique and stable, ≤ 64 chars
//                  "date": "2025-06-01T12:00:00Z",    ISO 8601 publication time
//                  "title": "Yawp Wah 1.1",           plain text, ≤ 120 chars
//                  "text": "What changed …",          plain text, ≤ 600 chars
//                  "url": "https://tallow.audio/…",   optional, http(s) only
//                  "products": ["yawp-wah"] } ] }     optional; absent = every product
// Anything else in the feed is ignored; items that do not fit are dropped.
//
// What the page keeps in the store (all maker products share crier-news):
//   crier-system      the page's random id, 32 hex digits
//   crier-news        TAG + " " + {"fetched": ISO time, "items": [...]}
//   yawp-wah\latest   TAG + " " + {"seen": ISO date of the newest item seen}
// TAG is eight random characters [0-9a-z], a new one with every write. A
// write sends the tag it believes is current, or "-" when it found no file,
// then a space and the new content: "OLDTAG1x NEWTAG2y {...}". When the file
// changed meanwhile the store refuses and answers with what it holds; the
// page merges that with its own and tries again with the tag it now knows.
(function (Y) {
  'use strict';

  const NAME = 'yawp-wah';
  const FEED_URL = 'https://tallow.audio/crier/v1/news.json';
  const REFRESH_MS = 6 * 3600 * 1000;   // the feed changes rarely; spare the server
  const FETCH_TIMEOUT_MS = 10000;
  const INIT_GRACE_MS = 3000;
  const MAX_ITEMS = 30;
  const MAX_RETRIES = 4;
  const TAG_CHARS = '0123456789abcdefghijklmnopqrstuvwxyz';

  const state = {
    ready: false,          // the store's init answer has arrived
    sid: null,
    news: null,            // { fetched, items }
    newsTag: '-',          // '-' when no news file exists yet
    newsTries: 0,
    latestTag: '-',
    latestTries: 0,
    seen: '',
    fresh: null,           // a fetched feed waiting for the store's answer
    fetching: false,
  };

  let send = function () {};

  // ---- helpers ----

  function random(n) {
    const bytes = new Uint8Array(n);
    if (window.crypto && window.crypto.getRandomValues) window.crypto.getRandomValues(bytes);
    else for (let k = 0; k < n; k++) bytes[k] = Math.floor(Math.random() * 256);
    return bytes;
  }

  function newSid() {
    return Array.from(random(16), function (b) { return b.toString(16).padStart(2, '0'); }).join('');
  }

  function newTag(old) {
    let tag;
    do {
      tag = Array.from(random(8), function (b) { return TAG_CHARS[b % 36]; }).join('');
    } while (tag === old);
    return tag;
  }

  function text(v, max) {
    return typeof v === 'string' ? v.trim().slice(0, max) : '';
  }

  function cleanItem(raw) {
    if (!raw || typeof raw !== 'object') return null;
    const id = text(raw.id, 64);
    const title = text(raw.title, 120);
    const time = typeof raw.date === 'string' ? Date.parse(raw.date) : NaN;
    if (!id || !title || !Number.isFinite(time)) return null;
    const item = { id: id, date: new Date(time).toISOString(), title: title, text: text(raw.text, 600) };
    const url = text(raw.url, 500);
    if (/^https?:\/\/[^\s"]+$/i.test(url)) item.url = url;
    if (Array.isArray(raw.products)) {
      item.products = raw.products.filter(function (p) { return typeof p === 'string'; }).slice(0, 20);
    }
    return item;
  }

  function cleanItems(list) {
    if (!Array.isArray(list)) return [];
    const seenIds = new Set();
    return list.map(cleanItem).filter(function (item) {
      if (!item || seenIds.has(item.id)) return false;
      seenIds.add(item.id);
      return true;
    }).sort(function (a, b) { return a.date < b.date ? 1 : a.date > b.date ? -1 : 0; })
      .slice(0, MAX_ITEMS);
  }

  // A stored text: TAG, one separator, JSON. Returns null for anything else.
  function parseStored(s) {
    if (typeof s !== 'string' || s.length < 10) return null;
    try {
      const doc = JSON.parse(s.slice(9));
      return doc && typeof doc === 'object' ? doc : null;
    } catch (e) {
      return null;
    }
  }

  function readNews(s) {
    const doc = parseStored(s);
    if (!doc) return null;
    return { fetched: text(doc.fetched, 40), items: cleanItems(doc.items) };
  }

  // The tag to name when replacing a file whose text is s: its first eight
  // characters, or '-' for a missing or empty file. A short non-empty file
  // matches no tag at all; null says so.
  function tagOf(s) {
    if (s === null || s === undefined || s === '') return '-';
    return s.length >= 8 ? s.slice(0, 8) : null;
  }

  function visible(items) {
    return items.filter(function (item) { return !item.products || item.products.indexOf(NAME) >= 0; });
  }

  function unread() {
    const items = state.news ? visible(state.news.items) : [];
    return items.filter(function (item) { return item.date > state.seen; }).length;
  }

  // ---- writing to the store ----

  function writeNews(doc, oldTag) {
    const tag = newTag(oldTag);
    const content = tag + ' ' + ascii(doc);
    if (oldTag === null) send('m crierV1 syncNewsForce ' + content);
    else send('m crierV1 syncNews ' + oldTag + ' ' + content);
    state.news = doc;
    state.newsTag = tag;
  }

  function writeLatest(oldTag) {
    const tag = newTag(oldTag);
    const content = tag + ' ' + ascii({ seen: state.seen });
    if (oldTag === null) send('m crierV1 syncLatestForce ' + NAME + ' ' + content);
    else send('m crierV1 syncLatest ' + NAME + ' ' + oldTag + ' ' + content);
    state.latestTag = tag;
  }

  // Both sides' items; for an item both have, the copy fetched later wins.
  function merge(mine, theirs) {
    if (!theirs) return mine;
    const newer = theirs.fetched > mine.fetched ? theirs : mine;
    const older = newer === mine ? theirs : mine;
    const ids = new Set(newer.items.map(function (item) { return item.id; }));
    const items = newer.items.concat(older.items.filter(function (item) { return !ids.has(item.id); }));
    return { fetched: newer.fetched, items: cleanItems(items) };
  }

  // Stored texts are kept to ASCII: the store's files are read in text
  // mode, and the bridge refuses a string with a broken surrogate pair.
  function ascii(doc) {
    return JSON.stringify(doc).replace(/[\u007f-\uffff]/g, function (c) {
      return '\\u' + c.charCodeAt(0).toString(16).padStart(4, '0');
    });
  }

  function same(a, b) { return JSON.stringify(a) === JSON.stringify(b); }

  function storeFresh() {
    if (!state.ready || !state.fresh) return;
    // The feed is the truth about the maker's news: it replaces what was kept.
    const doc = state.fresh;
    state.fresh = null;
    state.newsTries = 0;
    writeNews(doc, state.newsTag);
    render();
  }

  function onNewsConflict(current) {
    const theirs = readNews(current);
    const merged = merge(state.news || { fetched: '', items: [] }, theirs);
    if (theirs && same(merged, theirs)) {
      state.news = theirs;
      state.newsTag = tagOf(current);
    } else if (++state.newsTries <= MAX_RETRIES) {
      writeNews(merged, tagOf(current));
    }
    render();
  }

  function onLatestConflict(current) {
    const doc = parseStored(current);
    const theirs = doc ? text(doc.seen, 40) : '';
    if (doc && theirs >= state.seen) {
      state.seen = theirs;
      state.latestTag = tagOf(current);
    } else if (++state.latestTries <= MAX_RETRIES) {
      if (theirs > state.seen) state.seen = theirs;
      writeLatest(tagOf(current));
    }
    render();
  }

  function markSeen() {
    const items = state.news ? visible(state.news.items) : [];
    const newest = items.reduce(function (max, item) { return item.date > max ? item.date : max; }, '');
    if (newest <= state.seen) return;
    state.seen = newest;
    if (state.ready) {
      state.latestTries = 0;
      writeLatest(state.latestTag);
    }
    render();
  }

  // ---- the feed ----

  function fetchFeed() {
    if (state.fetching || typeof fetch !== 'function') return;
    state.fetching = true;
    const abort = typeof AbortController === 'function' ? new AbortController() : null;
    const timer = setTimeout(function () { if (abort) abort.abort(); }, FETCH_TIMEOUT_MS);
    fetch(FEED_URL, {
      cache: 'no-store', credentials: 'omit', referrerPolicy: 'no-referrer',
      signal: abort ? abort.signal : undefined,
    }).then(function (response) {
      return response.ok ? response.json() : null;
    }).then(function (feed) {
      if (!feed || typeof feed !== 'object' || !Array.isArray(feed.items)) return;
      state.fresh = { fetched: new Date().toISOString(), items: cleanItems(feed.items) };
      if (state.ready) storeFresh();
      else { state.news = state.fresh; render(); }
    }).catch(function () {
      // Offline is the normal case for a studio computer: say nothing.
    }).then(function () {
      clearTimeout(timer);
      state.fetching = false;
    });
  }

  function due() {
    if (!state.news || !state.news.fetched) return true;
    const age = Date.now() - Date.parse(state.news.fetched);
    return !(age >= 0 && age < REFRESH_MS);
  }

  // ---- replies from the store ----

  function onInitDone() {
    if (state.ready) return;
    state.ready = true;
    if (!state.sid) {
      state.sid = newSid();
      send('m crierV1 newSid ' + state.sid);
    }
    render();
    if (state.fresh) storeFresh();
    else if (due()) fetchFeed();
  }

  const REPLIES = {
    initSid: function (s) { if (!state.ready && s.trim()) state.sid = s.trim(); },
    initNews: function (s) {
      if (state.ready) return;
      state.newsTag = tagOf(s);
      state.news = readNews(s);
    },
    initLatest: function (s) {
      if (state.ready) return;
      state.latestTag = tagOf(s);
      const doc = parseStored(s);
      state.seen = doc ? text(doc.seen, 40) : '';
    },
    initDone: onInitDone,
    getNews: function (s) {
      const doc = readNews(s);
      if (!doc || tagOf(s) === state.newsTag) return;
      state.news = doc;
      state.newsTag = tagOf(s);
      render();
    },
    syncNewsConflict: onNewsConflict,
    syncLatestConflict: onLatestConflict,
  };

  // Texts from the store: "crierV1 " + reply word + " " + payload.
  function receive(message) {
    if (typeof message !== 'string' || !message.startsWith('crierV1 ')) return;
    const rest = message.slice(8);
    const cut = rest.indexOf(' ');
    const word = cut < 0 ? rest : rest.slice(0, cut);
    const payload = cut < 0 ? '' : rest.slice(cut + 1);
    if (Object.prototype.hasOwnProperty.call(REPLIES, word)) REPLIES[word](payload);
  }

  // ---- the panel ----

  function formatDate(iso) {
    const d = new Date(iso);
    try {
      return d.toLocaleDateString(undefined, { year: 'numeric', month: 'short', day: 'numeric' });
    } catch (e) {
      return iso.slice(0, 10);
    }
  }

  let shownSeen = '';

  function render() {
    const count = unread();
    const badge = document.getElementById('news-badge');
    badge.hidden = count === 0;
    badge.textContent = count > 9 ? '9+' : String(count);
    document.getElementById('news-button').setAttribute('aria-label', count ? 'News, ' + count + ' unread' : 'News');
    const panel = document.getElementById('news-panel');
    if (panel.hidden) return;
    const items = state.news ? visible(state.news.items) : [];
    const list = document.getElementById('news-list');
    list.replaceChildren.apply(list, items.map(function (item) {
      const li = Y.widgets.el('li', 'news-item' + (item.date > shownSeen ? ' is-new' : ''));
      li.dataset.id = item.id;
      li.append(Y.widgets.el('div', 'news-date', formatDate(item.date)),
                Y.widgets.el('h3', 'news-title', item.title));
      if (item.text) li.append(Y.widgets.el('p', 'news-text', item.text));
      if (item.url) {
        // A plain link: the plug-in opens every non-file address in the
        // system's browser instead of inside the editor.
        const a = Y.widgets.el('a', 'news-link', 'Read more \u2197');
        a.href = item.url;
        a.target = '_blank';
        a.rel = 'noopener noreferrer';
        li.append(a);
      }
      return li;
    }));
    document.getElementById('news-empty').hidden = items.length > 0;
  }

  function open() {
    const panel = document.getElementById('news-panel');
    shownSeen = state.seen;
    panel.hidden = false;
    document.getElementById('news-button').setAttribute('aria-expanded', 'true');
    render();
    markSeen();
    if (state.ready) send('m crierV1 getNews ');
  }

  function close() {
    document.getElementById('news-panel').hidden = true;
    document.getElementById('news-button').setAttribute('aria-expanded', 'false');
  }

  function toggle() {
    if (document.getElementById('news-panel').hidden) open();
    else close();
  }

  function start(sender) {
    send = sender;
    const button = document.getElementById('news-button');
    const panel = document.getElementById('news-panel');
    button.addEventListener('click', toggle);
    document.getElementById('news-close').addEventListener('click', function () { close(); button.focus(); });
    document.addEventListener('keydown', function (e) {
      if (e.key === 'Escape' && !panel.hidden) { close(); button.focus(); }
    });
    document.addEventListener('pointerdown', function (e) {
      if (!panel.hidden && !panel.contains(e.target) && !button.contains(e.target)) close();
    });
    render();
    send('m crierV1 init ' + NAME);
    // The store may never answer (a failed read); show fresh news anyway.
    setTimeout(function () { if (!state.ready) fetchFeed(); }, INIT_GRACE_MS);
  }

  Y.news = { start: start, receive: receive, open: open, close: close, state: state, FEED_URL: FEED_URL, NAME: NAME };
})(window.Yawp = window.Yawp || {});
