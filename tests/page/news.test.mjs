// The news: the crierV1 requests to the plug-in's news store, the feed
// from the maker's site, the unread badge and the panel.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { launch, openEditor, deliver, sent, clearSent, waitForSent, frames, FEED_URL } from './lib/harness.mjs';

const FEED = {
  crier: 1,
  items: [
    { id: 'all-1', date: '2025-04-01T00:00:00Z', title: 'Studio news', text: 'For everyone.' },
    {
      id: 'yawp-1-1', date: '2025-06-01T12:00:00Z', title: 'Yawp Wah 1.1', text: 'Sharper vowels.',
      url: 'https://tallow.audio/yawp-wah', products: ['yawp-wah'],
    },
    { id: 'other-2', date: '2025-05-01T00:00:00Z', title: 'For another product', products: ['other'] },
    { id: 'html-1', date: '2025-03-01T00:00:00Z', title: '<img src=x onerror="window.__pwned=1">', url: 'javascript:window.__pwned=1' },
    { id: 'broken' },
  ],
};

const TAG = '[0-9a-z]{8}';

function stored(items, fetched = '2020-01-01T00:00:00.000Z', tag = 'AAAAAAAA') {
  return `${tag} ${JSON.stringify({ fetched, items })}`;
}

const OLD_ITEM = { id: 'old-1', date: '2019-12-01T00:00:00.000Z', title: 'An old note', text: 'Cached.' };

async function badge(page) {
  return page.evaluate(() => {
    const b = document.getElementById('news-badge');
    return b.hidden ? null : b.textContent;
  });
}

function splitSync(message, prefix) {
  const m = new RegExp(`^${prefix} (-|[0-9A-Za-z]{8}) (${TAG}) (.*)$`).exec(message);
  assert.ok(m, `a ${prefix} request: ${message}`);
  return { old: m[1], tag: m[2], doc: JSON.parse(m[3]) };
}

describe('news', () => {
  let browser;
  before(async () => { browser = await launch(); });
  after(async () => { await browser.close(); });

  it('first run: new id, fresh news stored with "-", badge, panel, seen marker', async () => {
    const { page, errors } = await openEditor(browser, { feed: FEED });
    assert.equal(await waitForSent(page, /^m crierV1 init /), 'm crierV1 init yawp-wah');
    await deliver(page, 'm crierV1 initDone ');
    const sid = await waitForSent(page, /^m crierV1 newSid /);
    assert.match(sid, /^m crierV1 newSid [0-9a-f]{32}$/);

    const sync = splitSync(await waitForSent(page, /^m crierV1 syncNews /), 'm crierV1 syncNews');
    assert.equal(sync.old, '-');
    assert.deepEqual(sync.doc.items.map((i) => i.id), ['yawp-1-1', 'other-2', 'all-1', 'html-1']);
    assert.ok(!('url' in sync.doc.items[3]), 'a javascript: address is dropped');
    assert.ok(Date.parse(sync.doc.fetched) > Date.now() - 60000);

    await page.waitForFunction(() => !document.getElementById('news-badge').hidden);
    assert.equal(await badge(page), '3', 'yawp-wah and everyone items, not the other product');

    await clearSent(page);
    await page.click('#news-button');
    const items = page.locator('#news-list .news-item');
    assert.equal(await items.count(), 3);
    assert.equal(await page.locator('#news-list .news-item.is-new').count(), 3);
    const link = page.locator('#news-list a.news-link');
    assert.equal(await link.count(), 1);
    assert.equal(await link.getAttribute('href'), 'https://tallow.audio/yawp-wah');
    assert.equal(await link.getAttribute('target'), '_blank');
    assert.equal(await page.locator('#news-list .news-title').nth(2).textContent(), '<img src=x onerror="window.__pwned=1">');
    assert.equal(await page.evaluate(() => window.__pwned), undefined);

    const latest = splitSync(await waitForSent(page, /^m crierV1 syncLatest /), 'm crierV1 syncLatest yawp-wah');
    assert.equal(latest.old, '-');
    assert.deepEqual(latest.doc, { seen: '2025-06-01T12:00:00.000Z' });
    assert.equal(await badge(page), null);
    assert.ok((await sent(page)).includes('m crierV1 getNews '));

    await page.keyboard.press('Escape');
    assert.equal(await page.locator('#news-panel').isHidden(), true);
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('offline with a stored id and cached news: shows them, writes nothing, stays usable', async () => {
    const { page, errors } = await openEditor(browser);
    await waitForSent(page, /^m crierV1 init /);
    await deliver(page,
      'm crierV1 initSid 0123456789abcdef0123456789abcdef',
      `m crierV1 initNews ${stored([OLD_ITEM])}`,
      'm crierV1 initDone ');
    await page.waitForFunction(() => !document.getElementById('news-badge').hidden);
    assert.equal(await badge(page), '1');
    await page.waitForTimeout(800);
    const list = await sent(page);
    assert.ok(!list.some((m) => /newSid|syncNews/.test(m)), JSON.stringify(list));
    await page.click('#news-button');
    assert.equal(await page.locator('#news-list .news-title').textContent(), 'An old note');
    await page.click('#news-close');
    await clearSent(page);
    await page.click('[role=switch][data-key="lfo_on"]');
    assert.deepEqual(await sent(page), ['b 00000012 00000000', 's 00000012 3f800000', 'e 00000012 3f800000']);
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('does not fetch again while the stored news is recent', async () => {
    let requests = 0;
    const { page } = await openEditor(browser, { feed: FEED });
    await page.route(FEED_URL, (route) => { requests++; return route.abort('internetdisconnected'); });
    await deliver(page, `m crierV1 initNews ${stored([OLD_ITEM], new Date().toISOString())}`,
      'm crierV1 initLatest ZZZZZZZZ {"seen":"2019-12-01T00:00:00.000Z"}', 'm crierV1 initDone ');
    await page.waitForTimeout(800);
    assert.equal(requests, 0);
    assert.equal(await badge(page), null, 'the marker says the cached item was seen');
    await page.close();
  });

  it('merges and retries when the news file changed meanwhile', async () => {
    const { page, errors } = await openEditor(browser, { feed: FEED });
    await deliver(page, 'm crierV1 initSid x', `m crierV1 initNews ${stored([OLD_ITEM])}`, 'm crierV1 initDone ');
    const first = splitSync(await waitForSent(page, /^m crierV1 syncNews /), 'm crierV1 syncNews');
    assert.equal(first.old, 'AAAAAAAA');
    assert.deepEqual(first.doc.items.map((i) => i.id), ['yawp-1-1', 'other-2', 'all-1', 'html-1']);

    // Another editor stored newer news in between.
    const theirs = { id: 'x-9', date: '2026-01-01T00:00:00.000Z', title: 'Even newer' };
    await clearSent(page);
    await deliver(page, `m crierV1 syncNewsConflict ${stored([theirs], '2030-01-01T00:00:00.000Z', 'BBBBBBBB')}`);
    const retry = splitSync(await waitForSent(page, /^m crierV1 syncNews /), 'm crierV1 syncNews');
    assert.equal(retry.old, 'BBBBBBBB');
    assert.notEqual(retry.tag, first.tag);
    assert.equal(retry.doc.fetched, '2030-01-01T00:00:00.000Z');
    assert.deepEqual(retry.doc.items.map((i) => i.id), ['x-9', 'yawp-1-1', 'other-2', 'all-1', 'html-1']);
    await page.waitForFunction(() => document.getElementById('news-badge').textContent === '4');

    // A stored version that already holds everything is simply taken over.
    await clearSent(page);
    await deliver(page, `m crierV1 syncNewsConflict ${'CCCCCCCC ' + JSON.stringify(retry.doc)}`);
    await page.waitForTimeout(300);
    assert.deepEqual(await sent(page), []);

    // A stored text too short to carry a tag can only be overwritten.
    await deliver(page, 'm crierV1 syncNewsConflict abc');
    const force = await waitForSent(page, /^m crierV1 syncNewsForce /);
    assert.match(force, new RegExp(`^m crierV1 syncNewsForce ${TAG} \\{`));
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('merges the seen marker on a conflict', async () => {
    const { page } = await openEditor(browser, { feed: FEED });
    await deliver(page, 'm crierV1 initSid x', 'm crierV1 initLatest DDDDDDDD {"seen":"2020-01-01T00:00:00.000Z"}',
      'm crierV1 initDone ');
    await waitForSent(page, /^m crierV1 syncNews /);
    await page.click('#news-button');
    const first = splitSync(await waitForSent(page, /^m crierV1 syncLatest /), 'm crierV1 syncLatest yawp-wah');
    assert.equal(first.old, 'DDDDDDDD');

    await clearSent(page);
    await deliver(page, 'm crierV1 syncLatestConflict EEEEEEEE {"seen":"2024-01-01T00:00:00.000Z"}');
    const retry = splitSync(await waitForSent(page, /^m crierV1 syncLatest /), 'm crierV1 syncLatest yawp-wah');
    assert.equal(retry.old, 'EEEEEEEE');
    assert.deepEqual(retry.doc, { seen: '2025-06-01T12:00:00.000Z' });

    await clearSent(page);
    await deliver(page, 'm crierV1 syncLatestConflict FFFFFFFF {"seen":"2027-01-01T00:00:00.000Z"}');
    await page.waitForTimeout(300);
    assert.deepEqual(await sent(page), [], 'a later marker elsewhere wins without a write');
    await page.close();
  });

  it('stores text outside ASCII as escapes and shows it intact', async () => {
    const title = 'Gr\u00f6\u00dfer \u2013 \u66f4\u65b0 \ud83c\udfb8';
    const feed = `{"items":[{"id":"u-1","date":"2025-07-01T00:00:00Z","title":"${title}","text":"broken \\ud800 pair"}]}`;
    const { page, errors } = await openEditor(browser, { feed });
    await deliver(page, 'm crierV1 initSid x', 'm crierV1 initDone ');
    const message = await waitForSent(page, /^m crierV1 syncNews /);
    assert.match(message, /^[\x20-\x7e]+$/, 'pure ASCII');
    assert.ok(message.includes('Gr\\u00f6\\u00dfer'), message);
    assert.equal(splitSync(message, 'm crierV1 syncNews').doc.items[0].title, title);
    await page.click('#news-button');
    assert.equal(await page.locator('#news-list .news-title').textContent(), title);
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('ignores store replies it cannot use', async () => {
    const { page, errors } = await openEditor(browser);
    await deliver(page,
      'm crierV1 initNews not json at all',
      'm crierV1 initLatest {',
      'm crierV1 initSid ',
      'm crierV2 initDone ',
      'm crierV1',
      'm crierV1 ',
      'm crierV1 nonsense words here',
      'm crierV1 getNews 12345678 {"items":"no"}',
      'm crierV1 syncNewsConflict',
      'm crierV1 syncLatestConflict',
      'm crierV1 toString x',
      'm crierV1 __proto__ x',
      'm crierV1 initDone ');
    const sid = await waitForSent(page, /^m crierV1 newSid /);
    assert.match(sid, /[0-9a-f]{32}$/, 'an empty stored id counts as none');
    await frames(page);
    assert.equal(await badge(page), null);
    await page.click('#news-button');
    assert.equal(await page.locator('#news-empty').isVisible(), true);
    assert.deepEqual(errors, []);
    await page.close();
  });
});
