// Help page check: the HTML help in Debian's chromium, read back against the topic source, and a screenshot of it.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { join } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

import { openBrowser } from './chromium.mjs';

const { QUORVANE_HELP_PAGE: PAGE, QUORVANE_HELP_SOURCE: SOURCE, QUORVANE_PYTHON: PYTHON,
  QUORVANE_ARTIFACTS: ARTIFACTS } = process.env;

// The topics as the tests' own reader of the source sees them.
const helpsource = fileURLToPath(new URL('../help/helpsource.py', import.meta.url));
const source = JSON.parse(execFileSync(PYTHON ?? 'python3', ['-B', helpsource, SOURCE]));

// JavaScript is off: the page must need none. Every file the browser asks for is noted, to show that
// the page loads nothing besides itself.
test('every topic of the source, self-contained, rendered', async () => {
  assert.ok(PAGE && SOURCE, 'QUORVANE_HELP_PAGE and QUORVANE_HELP_SOURCE must name the page and the topic source');
  const browser = await openBrowser(false);
  try {
    const { page } = browser;
    const url = pathToFileURL(PAGE).href;
    const requests = [];
    page.on('request', (request) => requests.push(request.url()));
    await page.goto(url);

    const found = await page.evaluate(() => ({
      lang: document.documentElement.lang,
      charset: document.characterSet,
      title: document.title,
      heading: document.querySelector('h1')?.textContent,
      links: [...document.querySelectorAll('nav a')].map((a) => ({ href: a.getAttribute('href'), text: a.textContent })),
      topics: [...document.querySelectorAll('section')].map((section) => ({
        id: section.id,
        title: section.querySelector('h2')?.textContent,
        paragraphs: [...section.querySelectorAll('p')].map((p) => p.textContent),
      })),
      scripts: document.querySelectorAll('script, [src], link[rel], [style]').length,
      bodyFont: getComputedStyle(document.body).fontFamily,
    }));
    assert.deepEqual(requests, [url], 'the page loads other files');
    assert.deepEqual([found.lang, found.charset], ['en', 'UTF-8'], 'declared language and character set');
    assert.deepEqual([found.title, found.heading], [source.title, source.title], 'page title and main heading');
    assert.deepEqual(found.links, source.topics.map((t) => ({ href: `#${t.name}`, text: t.title })), 'the topic list');
    assert.deepEqual(found.topics, source.topics.map((t) => ({ id: t.name, title: t.title, paragraphs: t.paragraphs })),
      'the topics, in source order');
    assert.equal(found.scripts, 0, 'scripts, external files or inline style attributes');
    assert.match(found.bodyFont, /^Arial\b/, 'the inline style sheet is applied');

    for (const t of source.topics) {
      const heading = page.locator(`section[id="${t.name}"] h2`);
      assert.ok(await heading.isVisible(), `heading of ${t.name} is shown`);
    }
    if (ARTIFACTS) {
      await page.screenshot({ path: join(ARTIFACTS, 'help-page.png'), fullPage: true });
    }
  } finally {
    await browser.close();
  }
});
