// Browser check of the generated mail code: real pages in Debian's chromium, with JavaScript on and off.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

import { openBrowser } from './chromium.mjs';

const TOOL = process.env.QUORVANE_CODE;
const ARTIFACTS = process.env.QUORVANE_ARTIFACTS;

// The page is declared windows-1252, the ANSI code page of Western Windows, so that a byte above 127
// means the same character in the script's string literal and in the NOSCRIPT character reference.
const bytes = (s) => Buffer.from(s, 'latin1');

// address and linkText are the bytes handed to the tool. shown is the address as the browser reads it
// in windows-1252 and text what an HTML parser makes of the link text (the anchor's textContent), both
// written out here by hand. (Node 20's TextDecoder('windows-1252') decodes 0x80-0x9F as Latin-1, so
// it cannot stand in for the browser here.)
const CASES = [
  { name: 'plain address', address: bytes('someone@example.org'), linkText: bytes('Write to me'),
    shown: 'someone@example.org', text: 'Write to me' },
  { name: 'empty local part', address: bytes('@example.org'), linkText: bytes('mail'),
    shown: '@example.org', text: 'mail' },
  { name: 'two at signs', address: bytes('a@b@example.org'), linkText: bytes('two ats'),
    shown: 'a@b@example.org', text: 'two ats' },
  // 0xFC u-umlaut, 0x80 euro sign, 0xE9 e-acute in windows-1252.
  { name: 'bytes above 127', address: bytes('j\xFCrgen\x80@caf\xE9.example'), linkText: bytes('\x80 caf\xE9 M\xFCller'),
    shown: 'j\u00FCrgen\u20AC@caf\u00E9.example', text: '\u20AC caf\u00E9 M\u00FCller' },
  // The stray end tag has no open element to close and is dropped; CR LF becomes one LF in the parser's input.
  { name: 'quote, backslash, end tag and line break in the link text', address: bytes('info@example.org'),
    linkText: bytes('say "hi" \\ to</script>me\r\nnow'),
    shown: 'info@example.org', text: 'say "hi" \\ tome\nnow' },
  // The address pieces are string literals too: a quote or backslash there must not end them.
  { name: 'quote and backslash in the address', address: bytes('o"ne\\il@example.org'), linkText: bytes('odd'),
    shown: 'o"ne\\il@example.org', text: 'odd' },
];

// Node hands argv to a child as UTF-8, so bytes above 127 cannot travel as they are. The shell gets
// every byte as an octal escape in ASCII and lets printf make the raw bytes; the trailing "x" keeps
// command substitution from eating a final line break.
const RUN_TOOL = 'a=$(printf "$1"; printf x); a=${a%x}; t=$(printf "$2"; printf x); t=${t%x}; exec "$QUORVANE_CODE" "$a" "$t"';
const octal = (buf) => [...buf].map((b) => '\\' + b.toString(8).padStart(3, '0')).join('');

function mailCode(address, linkText) {
  return execFileSync('/bin/sh', ['-c', RUN_TOOL, 'sh', octal(address), octal(linkText)],
    { env: { ...process.env, QUORVANE_CODE: TOOL }, maxBuffer: 1 << 20 });
}

const workDir = mkdtempSync(join(tmpdir(), 'quorvane-browser-'));
const pages = new Map();

before(() => {
  assert.ok(TOOL, 'QUORVANE_CODE must name the quorvane-code tool');
  CASES.forEach((c, i) => {
    const source = Buffer.concat([
      Buffer.from('<!DOCTYPE html><html><head><meta charset="windows-1252"><title>Mail code check</title></head><body>'),
      mailCode(c.address, c.linkText),
      Buffer.from('</body></html>'),
    ]);
    const file = join(workDir, `case${i}.html`);
    writeFileSync(file, source);
    pages.set(c, { source, url: pathToFileURL(file).href });
  });
});

after(() => rmSync(workDir, { recursive: true, force: true }));

// Every anchor of the page with its href attribute, its text and whether it sits inside a NOSCRIPT element.
const listAnchors = (page) => page.$$eval('a', (as) => as.map((a) => ({
  href: a.getAttribute('href'), text: a.textContent, inNoScript: a.closest('noscript') !== null,
})));

// The anchor is really on the page: visible and laid out.
const assertShown = async (link, what) => {
  assert.ok(await link.isVisible(), `${what} is visible`);
  assert.notEqual(await link.boundingBox(), null, `${what} has a box on the page`);
};

describe('JavaScript on: the script writes the mailto anchor', () => {
  let browser;
  before(async () => { browser = await openBrowser(true); });
  after(async () => { await browser?.close(); });

  for (const c of CASES) {
    test(c.name, async () => {
      const { page } = browser;
      await page.goto(pages.get(c).url);
      const written = (await listAnchors(page)).filter((a) => !a.inNoScript);
      assert.equal(written.length, 1, `${c.name}: anchors written by the script: ${JSON.stringify(written)}`);
      assert.equal(written[0].href, 'mailto:' + c.shown, `${c.name}: href of the written anchor`);
      assert.equal(written[0].text, c.text, `${c.name}: text of the written anchor`);
      await assertShown(page.locator('a:not(noscript *)'), `${c.name}: the written anchor`);

      if (c === CASES[0] && ARTIFACTS) {
        await page.screenshot({ path: join(ARTIFACTS, 'browser-mailcode.png') });
      }
    });
  }
});

describe('JavaScript off: the NOSCRIPT anchor is shown', () => {
  let browser;
  before(async () => { browser = await openBrowser(false); });
  after(async () => { await browser?.close(); });

  for (const c of CASES) {
    test(c.name, async () => {
      const { page } = browser;
      await page.goto(pages.get(c).url);
      const anchors = await listAnchors(page);
      assert.equal(anchors.length, 1, `${c.name}: anchors in the page: ${JSON.stringify(anchors)}`);
      assert.ok(anchors[0].inNoScript, `${c.name}: the only anchor sits in NOSCRIPT`);
      assert.equal(anchors[0].href, 'MAILTO:' + c.shown, `${c.name}: href of the NOSCRIPT anchor`);
      assert.equal(anchors[0].text, c.text, `${c.name}: text of the NOSCRIPT anchor`);
      await assertShown(page.locator('noscript a'), `${c.name}: the NOSCRIPT anchor`);
    });
  }
});

describe('page source hides the address', () => {
  for (const c of CASES) {
    test(c.name, () => {
      const { source } = pages.get(c);
      assert.equal(source.indexOf(c.address), -1, `${c.name}: the address bytes stand in the page source`);
      assert.equal(source.indexOf('mailto:'), -1, `${c.name}: "mailto:" stands in the page source`);
    });
  }
});
