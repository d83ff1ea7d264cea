// Loads each page from two HTTP servers (original and protected site) in headless Chromium, JavaScript on and off, and says which differ.
//
// stdin: {"orig": "http://127.0.0.1:P1/", "prot": "http://127.0.0.1:P2/", "pages": ["a/index.html", ...], "instant": "index.html" or null}
// stdout: {"on": [{"page", "equal", "again", "why"}...], "off": [...], "instant": [...] when asked}
// A page's picture: its links (href as resolved, with the server's origin cut off, and text), the body's innerText,
// and the page errors thrown while it loaded. A page that differs is loaded once more on both sides, with a second's wait.
import { openBrowser } from '../../tests/browser/chromium.mjs';

const input = JSON.parse(await new Promise((resolve) => {
  let s = '';
  process.stdin.setEncoding('utf8');
  process.stdin.on('data', (d) => { s += d; });
  process.stdin.on('end', () => resolve(s));
}));

// With via set: loads `via` first and goes on to `path` by a click on a link to it, as a visitor does, so that a
// theme's instant navigation (which swaps the content in without a new load) is used where there is one.
async function picture(page, base, path, settle = 50, via = null) {
  const origin = new URL(base).origin;
  const errors = [];
  const onError = (err) => errors.push(String(err.message ?? err).split(origin).join('ORIGIN'));
  page.on('pageerror', onError);
  let loadError = '';
  try {
    const url = base + path.split('/').map(encodeURIComponent).join('/');
    if (via === null) {
      await page.goto(url, { waitUntil: 'load', timeout: 30000 });
    } else {
      await page.goto(base + via, { waitUntil: 'load', timeout: 30000 });
      await page.waitForTimeout(500);
      // Linked as such sites link their pages: a folder's index.html by the folder's name.
      const linked = url.endsWith('/index.html') ? url.slice(0, -'index.html'.length) : url;
      await page.evaluate((u) => {
        window.quorvaneStayed = true;
        const a = document.createElement('a');
        a.href = u;
        a.textContent = 'go';
        (document.querySelector('main') ?? document.body).append(a);
        a.click();
      }, linked);
      await page.waitForURL(linked, { timeout: 30000 });
      await page.waitForLoadState('load');
      await page.waitForTimeout(1000);
    }
    await page.waitForTimeout(settle);
  } catch (err) {
    loadError = String(err.message).split('\n')[0];
  }
  let shown = { links: [], text: '', stayed: false };
  try {
    shown = await page.evaluate(() => ({
      stayed: window.quorvaneStayed === true,
      links: [...document.querySelectorAll('a[href], area[href]')].map((a) => [a.href, a.textContent]),
      text: document.body ? document.body.innerText : '',
    }));
  } catch (err) {
    loadError ||= String(err.message).split('\n')[0];
  }
  page.off('pageerror', onError);
  const cut = (s) => s.split(origin).join('ORIGIN');
  return { links: shown.links.map(([h, t]) => [cut(h), t]), text: shown.text, errors, loadError, stayed: shown.stayed };
}

function compare(a, b) {
  const why = [];
  if (a.loadError || b.loadError) why.push(`load: ${a.loadError || '-'} / ${b.loadError || '-'}`);
  if (JSON.stringify(a.links) !== JSON.stringify(b.links)) {
    const sa = a.links.map((l) => JSON.stringify(l)), sb = b.links.map((l) => JSON.stringify(l));
    const gone = sa.filter((x) => !sb.includes(x)), added = sb.filter((x) => !sa.includes(x));
    why.push(`links ${a.links.length} -> ${b.links.length}` +
      (gone.length ? `; only in original: ${gone.slice(0, 3).join(' ')}` : '') +
      (added.length ? `; only in protected: ${added.slice(0, 3).join(' ')}` : '') +
      (!gone.length && !added.length ? '; same links in another order' : ''));
    const decoded = (links) => JSON.stringify(links.map(([h, t]) => { try { return [decodeURIComponent(h), t]; } catch { return [h, t]; } }));
    if (decoded(a.links) === decoded(b.links)) why.push('(links equal once %XX in the hrefs is decoded)');
  }
  if (a.text !== b.text) {
    let i = 0;
    while (i < a.text.length && a.text[i] === b.text[i]) i++;
    why.push(`innerText differs at ${i}: ${JSON.stringify(a.text.slice(i, i + 60))} / ${JSON.stringify(b.text.slice(i, i + 60))}`);
  }
  if (JSON.stringify(a.errors) !== JSON.stringify(b.errors)) {
    why.push(`page errors: ${JSON.stringify(a.errors.slice(0, 2))} / ${JSON.stringify(b.errors.slice(0, 2))}`);
  }
  return why;
}

const result = {};
for (const [mode, js] of [['on', true], ['off', false]]) {
  const browser = await openBrowser(js);
  try {
    const { page } = browser;
    result[mode] = [];
    for (const path of input.pages) {
      const a = await picture(page, input.orig, path);
      const b = await picture(page, input.prot, path);
      let why = compare(a, b), again = false;
      if (why.length) {
        // Scripts that finish after the load event (search indexes, say) get a second chance of a second.
        again = true;
        why = compare(await picture(page, input.orig, path, 1000), await picture(page, input.prot, path, 1000));
      }
      result[mode].push({ page: path, equal: why.length === 0, again, why: why.join(' | ') });
    }
  } finally {
    await browser.close();
  }
}
// Instant navigation (JavaScript on): each page reached by a click from input.instant (the start page).
if (input.instant != null) {
  const browser = await openBrowser(true);
  try {
    const { page } = browser;
    result.instant = [];
    for (const path of input.pages.filter((p) => p !== input.instant)) {
      const a = await picture(page, input.orig, path, 50, input.instant);
      const b = await picture(page, input.prot, path, 50, input.instant);
      const why = compare(a, b);
      result.instant.push({ page: path, equal: why.length === 0, again: false, why: why.join(' | '),
        stayed: [a.stayed, b.stayed], links: b.links.filter(([h]) => h.startsWith('mailto:')).length, origLinks: a.links.filter(([h]) => h.startsWith('mailto:')).length });
    }
  } finally {
    await browser.close();
  }
}
process.stdout.write(JSON.stringify(result));
