// Browser check of quorvane-code --protect: each rewritten page shows the same mailto links and the same text as the original, with JavaScript on and off (the strong form: on, and without JavaScript no address at all).
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { cpSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

import { openBrowser } from './chromium.mjs';
import { DECODER, readable } from './readable.mjs';

const TOOL = process.env.QUORVANE_CODE;
const HEAD = '<!DOCTYPE html><html><head><meta charset="utf-8"><title>Site check</title></head><body>';

// Page name, its body lines, the line end, and the addresses that must stand nowhere in the rewritten source.
const PAGES = [
  { name: 'sentence.html', eol: '\n', rewritten: ['me@example.org', 'sales@example.net'], body: [
    '<p>Write to <a href=mailto:me@example.org>me</a>.</p>',
    "<p>Or ask <a href='mailto:sales@example.net'><b>Sales</b> <i>team</i></a>, they answer.</p>"] },
  { name: 'crlf.html', eol: '\r\n', rewritten: ['x@example.org', 'y@example.org'], body: [
    '<p>Mail',
    '<a href="mailto:x@example.org">x@example.org</a>',
    'today; the <a class="m" href="mailto:y@example.org">other one</a> too.</p>'] },
  { name: 'list.htm', eol: '\n', rewritten: ['a@example.org', 'b@example.org'], body: [
    '<ul><li><a href="mailto:a@example.org">A</a> (first)</li>',
    '<li>then <a HREF="MAILTO:b@example.org">b@example.org</a></li></ul><p>End.</p>'] },
  // As generators write them: attributes, queries, encoded hrefs, an icon.
  { name: 'generators.html', eol: '\r\n', rewritten: ['jane@example.org', 'sales@example.net', 'boss@example.net', 'team@example.org'], body: [
    '<p>Mail <a class="reference external" href="mailto:jane&#37;&#52;&#48;example.org" title="Mail jane@example.org"',
    'target="_blank" rel="noopener" id="m1">Jane <i>Doe</i></a> or',
    '<a href="mailto:sales@example.net?subject=Hello%20there&amp;cc=boss@example.net&body=a b">sales</a>,',
    '<a href="&#109;&#97;&#105;&#108;&#116;&#111;&#58;&#116;&#101;&#97;&#109;&#64;example.org">&#116;&#101;&#97;&#109;&#64;example.org</a>',
    '<a class="icon" href="mailto:team@example.org"><svg width="9" height="9"><circle cx="4" cy="4" r="4"/></svg> team</a>.</p>'] },
  // Left as they are, beside one taken: the code's NOSCRIPT block would end early, or show as an option's text.
  { name: 'left.html', eol: '\n', rewritten: ['ok@example.org'], body: [
    '<p><a href="mailto:n@example.org">x<!-- </noscript> -->z</a> and <a href="mailto:ok@example.org">ok</a></p>',
    '<datalist id="d"><option><a href="mailto:o@example.org">opt</a></option></datalist><input list="d">'] },
  // Addresses outside links, hidden where they stand: text, a sample in <pre>, attribute values of every kind, JSON-LD.
  // The strong form writes a meta's content as references, for the readers of a page that run no script.
  { name: 'hidden.html', eol: '\n', rewritten: ['author@example.org', 'og@example.org', 'alt@example.org', 'data@example.org',
    'pre@example.org', 'ld@example.org', 'title@example.org'], strongReferences: ['author@example.org', 'og@example.org'], head: [
    '<meta name="author" content="Jane Roe <author@example.org>">',
    '<meta property="og:description" content="Write to og@example.org">',
    '<script type="application/ld+json">{"@type": "Person", "email": "ld@example.org", "name": "Jane"}</script>'], body: [
    '<p>Author: Jane, author@example.org.</p><pre>$ mail pre@example.org</pre>',
    '<img alt="Mail alt@example.org" src="data:,"><div data-contact="data@example.org" title="title@example.org">x</div>'] },
  // A UTF-16 page is listed and left whole.
  { name: 'utf16.html', eol: '\n', utf16: true, rewritten: [], body: ['<p><a href="mailto:w@example.org">w</a></p>'] },
];

const workDir = mkdtempSync(join(tmpdir(), 'quorvane-site-'));
const url = (side, page) => pathToFileURL(join(workDir, side, page.name)).href;
// Why the strong form is skipped: a tool built before it refuses --form strong as a usage error; null when it ran.
let strongMissing = null;

before(() => {
  assert.ok(TOOL, 'QUORVANE_CODE must name the quorvane-code tool');
  mkdirSync(join(workDir, 'original'));
  for (const p of PAGES) {
    const head = p.head ? HEAD.replace('</head>', p.head.join(p.eol) + '</head>') : HEAD;
    const text = head + p.eol + p.body.join(p.eol) + p.eol + '</body></html>' + p.eol;
    writeFileSync(join(workDir, 'original', p.name), p.utf16 ? Buffer.from('\ufeff' + text, 'utf16le') : text);
  }
  cpSync(join(workDir, 'original'), join(workDir, 'protected'), { recursive: true });
  execFileSync(TOOL, ['--protect', join(workDir, 'protected')], { stdio: ['ignore', 'inherit', 'inherit'] });
  cpSync(join(workDir, 'original'), join(workDir, 'strong'), { recursive: true });
  const run = spawnSync(TOOL, ['--protect', '--form', 'strong', join(workDir, 'strong')], { encoding: 'utf8' });
  if (run.status === 2 && /--form/.test(run.stderr)) strongMissing = `this quorvane-code has no strong form yet; it answers: ${run.stderr.split('\n')[0]}`;
  else assert.equal(run.status, 0, `quorvane-code --protect --form strong:\n${run.stdout}${run.stderr}`);
});

after(() => rmSync(workDir, { recursive: true, force: true }));

test('the tool rewrote the anchors', () => {
  for (const p of PAGES) {
    const source = readFileSync(join(workDir, 'protected', p.name), 'latin1');
    for (const address of p.rewritten) {
      assert.ok(!source.includes(address), `${p.name}: ${address} still stands in the source`);
    }
  }
});

// The addresses of a page that the strong form seals.
const sealed = (p) => p.rewritten.filter((a) => !p.strongReferences?.includes(a));

test('the strong form sealed the addresses, for the decoder at the top', (t) => {
  if (strongMissing) {
    t.skip(strongMissing);
    return;
  }
  const decoder = readFileSync(join(workDir, 'strong', DECODER), 'latin1');
  assert.doesNotMatch(readable(decoder), /@|mailto/i);
  for (const p of PAGES.filter((page) => page.rewritten.length)) {
    // Read as a collector that decodes references and escapes reads it.
    const source = readable(readFileSync(join(workDir, 'strong', p.name), 'latin1')).toLowerCase();
    for (const address of sealed(p)) assert.ok(!source.includes(address), `${p.name}: ${address} reads in the source`);
    assert.match(source, new RegExp(`<script src="${DECODER.replace('.', '\\.')}" defer(="defer")?></script>`), p.name);
  }
});

// The mailto links as a visitor meets them (the href as a mail program reads it, the other attributes, the text),
// and the page's visible text.
const shown = (page) => page.evaluate(() => ({
  links: [...document.querySelectorAll('a')].filter((a) => a.protocol === 'mailto:').map((a) => [
    decodeURIComponent(a.href),
    [...a.attributes].filter((at) => at.name !== 'href').map((at) => [at.name, at.value]),
    a.textContent]),
  text: document.body.innerText,
  // Every attribute of every element (the strong form's decoder script aside), as scripts read them through the
  // DOM, and JSON-LD as a JSON reader parses it.
  attributes: [...document.querySelectorAll('*')].filter((e) => !/(^|\/)quorvane-mail\.js$/.test(e.getAttribute('src') ?? ''))
    .map((e) => [e.localName, ...[...e.attributes].map((at) => `${at.name}=${at.value}`)]),

  jsonLd: [...document.querySelectorAll('script[type="application/ld+json"]')].map((e) => JSON.parse(e.textContent)),
}));
// All that a script or collector reads in the page: the text of every node and the value of every attribute.
const readableIn = (page) => page.evaluate(() => [document.documentElement.textContent,
  ...[...document.querySelectorAll('*')].flatMap((e) => [...e.attributes].map((at) => at.value))].join('\n').toLowerCase());

for (const javaScript of [true, false]) {
  describe(`JavaScript ${javaScript ? 'on' : 'off'}`, () => {
    let browser;
    before(async () => { browser = await openBrowser(javaScript); });
    after(async () => { await browser?.close(); });

    for (const p of PAGES) {
      test(p.name, async () => {
        const { page } = browser;
        await page.goto(url('original', p));
        const original = await shown(page);
        await page.goto(url('protected', p));
        assert.deepEqual(await shown(page), original);
      });
      test(`${p.name}, strong form`, async (t) => {
        if (strongMissing) {
          t.skip(strongMissing);
          return;
        }
        const { page } = browser;
        await page.goto(url('original', p));
        const original = await shown(page);
        await page.goto(url('strong', p));
        const got = await shown(page);
        if (javaScript) {
          // A mail link's href comes back last among its attributes, as the DOM adds it; their order aside, the same.
          const sorted = (view) => ({ ...view, attributes: view.attributes.map(([name, ...list]) => [name, ...list.sort()]) });
          assert.deepEqual(sorted(got), sorted(original));
          return;
        }
        // Without JavaScript: none of the sealed addresses in the text or any attribute, and no mail link to them.
        const readable = await readableIn(page);
        for (const address of sealed(p)) assert.ok(!readable.includes(address), `${p.name}: ${address} shows`);
        for (const [href] of got.links) assert.ok(!p.rewritten.some((a) => href.includes(a)), `${p.name}: a mail link to ${href}`);
      });
    }
  });
}
