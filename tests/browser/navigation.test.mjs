// Browser check of quorvane-code --protect on pages that scripts, style sheets and navigation libraries act on: each form's protected site, reached as a visitor reaches it, must show what the original shows.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { cpSync, existsSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { dirname, extname, join, normalize, relative, sep } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

import { openBrowser } from './chromium.mjs';
import { DECODER, readable } from './readable.mjs';

const TOOL = process.env.QUORVANE_CODE;
const ARTIFACTS = process.env.QUORVANE_ARTIFACTS;
// "default" runs --protect with no --form, as the tool was before it had forms.
const FORMS = (process.env.QUORVANE_FORMS ?? 'references script strong').split(/\s+/).filter(Boolean);
const HERE = dirname(fileURLToPath(import.meta.url));
// Hang guard for one wait in the browser: far longer than a page of this size takes on a busy machine.
const GUARD_MS = 20000;

const ADDRESSES = ['jane@example.org', 'sales@example.net', 'info@example.org', 'boss@example.net',
  'team@example.org', 'icon@example.org', 'press@example.org'];

// Mail links as authors write them: plain, with class and title, with a query, the address as the text, icons.
// Well-formed XML too, so that the XHTML page can hold them.
const LINKS = `
<p>Write to <a href="mailto:jane@example.org">Jane</a>, or call.</p>
<p>Sales: <a class="mail" title="Mail sales@example.net" href="mailto:sales@example.net">the sales team</a>.</p>
<p>Questions: <a href="mailto:info@example.org?subject=Hello%20there&amp;cc=boss@example.net">ask us</a>.</p>
<p>Team: <a href="mailto:team@example.org">team@example.org</a></p>
<p class="icons"><a href="mailto:icon@example.org" aria-label="Mail icon@example.org"><svg xmlns="http://www.w3.org/2000/svg" width="12" height="12" aria-hidden="true"><circle cx="6" cy="6" r="5"/></svg></a>
<a href="mailto:press@example.org"><svg xmlns="http://www.w3.org/2000/svg" width="12" height="12" aria-hidden="true"><rect width="10" height="10"/></svg> Press</a></p>
`;

const html = (title, body, head = '', bodyAttributes = '') =>
  `<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n<title>${title}</title>\n${head}</head>\n<body${bodyAttributes}>\n${body}</body>\n</html>\n`;

const contactBody = '<h1>Contact</h1>\n' + LINKS;
const BOOST = ' hx-boost:inherited="true"';

// Each case: its site's files, the page a visitor opens, what they click and where that leads, the pages
// seen on the way, and the response headers of some files.
const CASES = [
  { name: 'CSP header', dir: 'csp-header', start: 'index.html', pages: ['index.html'],
    headers: { 'index.html': { 'Content-Security-Policy': "script-src 'self'" } },
    files: () => ({
      'index.html': html('CSP header', '<p id="js">scripts off</p>\n<script src="site.js"></script>\n' + LINKS),
      'site.js': "document.getElementById('js').textContent = 'scripts on';\n",
    }) },
  // A policy that lets no string reach a sink that parses it as HTML or script.
  { name: 'Trusted Types header', dir: 'trusted-types', start: 'index.html', pages: ['index.html'],
    headers: { 'index.html': { 'Content-Security-Policy': "script-src 'self'; require-trusted-types-for 'script'" } },
    files: () => ({
      'index.html': html('Trusted Types header', '<p id="js">scripts off</p>\n<script src="site.js"></script>\n' + LINKS),
      'site.js': "document.getElementById('js').textContent = 'scripts on';\n",
    }) },
  // Run with a contact page for the mail links of visitors without JavaScript.
  { name: 'fallback URL', dir: 'fallback-url', start: 'index.html', pages: ['index.html'], forms: ['strong'],
    args: ['--fallback-url', '/contact/'],
    files: () => ({ 'index.html': html('Fallback URL', contactBody) }) },
  { name: 'CSP meta', dir: 'csp-meta', start: 'index.html', pages: ['index.html'],
    files: () => ({
      'index.html': html('CSP meta', '<p id="js">scripts off</p>\n<script src="site.js"></script>\n' + LINKS,
        `<meta http-equiv="Content-Security-Policy" content="script-src 'self'">\n`),
      'site.js': "document.getElementById('js').textContent = 'scripts on';\n",
    }) },
  // The page's own globals, declared before and after the links, and a report of what they hold once all ran.
  { name: 'page globals', dir: 'globals', start: 'index.html', pages: ['index.html'],
    files: () => ({
      'index.html': html('Page globals', [
        "<script>const link = 1; function attributes() { return 'page'; }</script>",
        LINKS,
        '<script>let tail = 2;</script>',
        '<p id="report">scripts off</p>',
        "<script>document.getElementById('report').textContent = `link=${link} tail=${tail} attributes=${attributes()}`;</script>",
        ''].join('\n')),
    }) },
  { name: 'structural CSS', dir: 'css', start: 'index.html', pages: ['index.html'],
    files: () => ({
      'index.html': html('Structural CSS', [
        '<ul><li><a href="mailto:jane@example.org">Jane</a> or <a href="https://example.org/jane">her page</a></li></ul>',
        '<div class="social"><a href="mailto:team@example.org">team@example.org</a><a href="https://example.org/">web</a></div>',
        '<p>Both: <a href="mailto:sales@example.net">sales</a> <a href="mailto:press@example.org">press</a></p>',
        '<p><a class="mail" title="Mail info@example.org" href="mailto:info@example.org">ask us</a></p>',
        ''].join('\n'), `<style>
li a:first-child { color: rgb(200, 0, 0); font-weight: 700; }
.social > a { color: rgb(0, 128, 0); margin-left: 7px; }
a + a { color: rgb(0, 0, 200); margin-left: 13px; }
p > a:only-child { display: block; color: rgb(128, 0, 128); font-weight: 300; margin-top: 5px; }
</style>\n`),
    }) },
  // A script places fragments with mail links, from a template and from a partial page it fetches, as pages
  // do for dialogs, tabs and "more" buttons; #slot gets data-placed once both are in.
  { name: 'innerHTML fragment', dir: 'fragment', start: 'index.html', pages: ['index.html', 'more.html'],
    click: '#more', placed: '#slot[data-placed]',
    files: () => ({
      'index.html': html('Fragment', [
        '<p>Or write to <a href="mailto:press@example.org">the press office</a>.</p>',
        '<template id="more-links"><p>From the template: <a href="mailto:jane@example.org">Jane</a>.</p></template>',
        '<button id="more" type="button">More</button>',
        '<div id="slot"></div>',
        "<script>document.getElementById('more').addEventListener('click', async () => {",
        "  const slot = document.getElementById('slot');",
        "  const partial = await (await fetch('more.html')).text();",
        "  slot.innerHTML = document.getElementById('more-links').innerHTML + partial;",
        "  slot.dataset.placed = 'yes';",
        '});</script>',
        ''].join('\n')),
      'more.html': LINKS,
    }) },
  // The strong form writes references into XHTML, as it adds no markup to an XML document, and lists the page.
  { name: 'XHTML', dir: 'xhtml', start: 'contact.xhtml', pages: ['contact.xhtml'], forms: ['references', 'script'],
    files: () => ({
      'contact.xhtml': '<?xml version="1.0" encoding="utf-8"?>\n<!DOCTYPE html>\n'
        + '<html xmlns="http://www.w3.org/1999/xhtml" lang="en">\n<head>\n<title>XHTML</title>\n</head>\n<body>\n'
        + contactBody + '</body>\n</html>\n',
    }) },
  { name: 'Turbo Drive', dir: 'turbo', start: 'index.html', pages: ['index.html', 'contact.html'],
    click: 'a[href="contact.html"]', to: 'contact.html',
    files: () => {
      const head = '<script type="module" src="turbo.js"></script>\n';
      return {
        'index.html': html('Home', '<h1>Home</h1>\n<p>See the <a href="contact.html">contact page</a>.</p>\n', head),
        'contact.html': html('Contact', contactBody, head),
        'turbo.js': npmFile('@hotwired/turbo/dist/turbo.es2017-esm.js'),
      };
    } },
  // htmx 4 inherits attributes only when told to, so the body's boost is marked as inherited.
  { name: 'htmx hx-boost', dir: 'htmx', start: 'index.html', pages: ['index.html', 'contact.html'],
    click: 'a[href="contact.html"]', to: 'contact.html',
    files: () => {
      const head = '<script src="htmx.js"></script>\n';
      return {
        'index.html': html('Home', '<h1>Home</h1>\n<p>See the <a href="contact.html">contact page</a>.</p>\n', head, BOOST),
        'contact.html': html('Contact', contactBody, head, BOOST),
        'htmx.js': npmFile('htmx.org/dist/htmx.js'),
      };
    } },
  { name: 'MkDocs instant', dir: 'mkdocs', start: 'index.html', pages: ['index.html', 'contact/index.html'],
    click: 'article a[href="contact/"]', to: 'contact/', files: mkdocsSite },
];

function npmFile(path) {
  const file = join(HERE, 'node_modules', path);
  if (!existsSync(file)) throw new Error(`${file} is missing: run tools/setup.sh (npm ci in tests/browser)`);
  return readFileSync(file);
}

// A MkDocs site with the Material theme's instant navigation, built by Debian's mkdocs. Its fonts would come
// from the network, so they are off; the contact page has the links as raw HTML and as Markdown writes them.
function mkdocsSite(workDir) {
  const mkdocs = '/usr/bin/mkdocs';
  if (!existsSync(mkdocs)) throw new Error(`${mkdocs} is missing: run tools/setup.sh (Debian's mkdocs and mkdocs-material)`);
  const src = join(workDir, 'mkdocs-source');
  mkdirSync(join(src, 'docs'), { recursive: true });
  writeFileSync(join(src, 'mkdocs.yml'), [
    'site_name: Navigation check', 'site_url: https://example.org/docs/',
    'theme:', '  name: material', '  font: false', '  features:', '    - navigation.instant',
    'markdown_extensions:', '  - attr_list',
    'nav:', '  - Home: index.md', '  - Contact: contact.md', ''].join('\n'));
  writeFileSync(join(src, 'docs', 'index.md'), '# Home\n\nSee the [contact page](contact.md).\n');
  writeFileSync(join(src, 'docs', 'contact.md'), contactBody
    + '\nMarkdown: [write to us](mailto:team@example.org){ .md-button title="Mail team@example.org" } or <jane@example.org>.\n');
  const run = spawnSync(mkdocs, ['build', '--quiet', '--site-dir', join(src, 'site')], { cwd: src, encoding: 'utf8' });
  if (run.status !== 0) throw new Error(`mkdocs build failed (${run.status}):\n${run.stdout}${run.stderr}`);
  return join(src, 'site');
}

const CONTENT_TYPES = {
  '.html': 'text/html; charset=utf-8', '.xhtml': 'application/xhtml+xml', '.js': 'text/javascript',
  '.css': 'text/css', '.json': 'application/json', '.xml': 'application/xml', '.svg': 'image/svg+xml',
};

// Serves the work folder; a folder's URL gets its index.html, and a case's files their extra headers.
function serve(root) {
  const server = createServer((req, res) => {
    let path = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    if (path.endsWith('/')) path += 'index.html';
    const file = normalize(join(root, path));
    if (!file.startsWith(root + sep) || !existsSync(file)) {
      res.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found');
      return;
    }
    const [dir, , ...rest] = relative(root, file).split(sep);
    const extra = CASES.find((c) => c.dir === dir)?.headers?.[rest.join('/')] ?? {};
    res.writeHead(200, { 'Content-Type': CONTENT_TYPES[extname(file)] ?? 'application/octet-stream', 'Cache-Control': 'no-store', ...extra });
    res.end(readFileSync(file));
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

const workDir = mkdtempSync(join(tmpdir(), 'quorvane-navigation-'));
let server;
let origin;
const toolRuns = new Map(); // form -> { error?, skip?, output, lines: Map(file -> [line]) }
const table = new Map(); // `${case}\t${form}\t${js}` -> result

const variantDir = (c, variant) => join(workDir, c.dir, variant);
const formArgs = (form) => (form === 'default' ? [] : ['--form', form]);
// The cases run in a form: those that name their forms run only in them.
const casesOf = (form) => CASES.filter((c) => !c.forms || c.forms.includes(form));

function writeSite(dir, files) {
  for (const [name, content] of Object.entries(files)) {
    mkdirSync(dirname(join(dir, name)), { recursive: true });
    writeFileSync(join(dir, name), content);
  }
}

// Every file under dir, as paths relative to it with forward slashes.
function listFiles(dir, prefix = '') {
  return readdirSync(dir, { withFileTypes: true }).flatMap((e) => (e.isDirectory()
    ? listFiles(join(dir, e.name), `${prefix}${e.name}/`) : [`${prefix}${e.name}`]));
}

before(async () => {
  assert.ok(TOOL, 'QUORVANE_CODE must name the quorvane-code tool');
  for (const c of CASES) {
    const files = c.files(workDir);
    if (typeof files === 'string') cpSync(files, variantDir(c, 'original'), { recursive: true });
    else writeSite(variantDir(c, 'original'), files);
  }
  for (const form of FORMS) {
    // One run of the tool for the cases that share their options.
    const groups = new Map();
    for (const c of casesOf(form)) {
      cpSync(variantDir(c, 'original'), variantDir(c, form), { recursive: true });
      const args = JSON.stringify(c.args ?? []);
      groups.set(args, [...(groups.get(args) ?? []), variantDir(c, form)]);
    }
    const result = { output: '', lines: new Map() };
    for (const [args, dirs] of groups) {
      const command = ['--protect', ...formArgs(form), ...JSON.parse(args)];
      const run = spawnSync(TOOL, [...command, ...dirs], { encoding: 'utf8' });
      // A tool built before the strong form refuses it as a usage error, naming --form; only then is it skipped.
      if (form === 'strong' && run.status === 2 && /--form/.test(run.stderr)) {
        result.skip = `this quorvane-code has no strong form yet; it answers: ${run.stderr.split('\n')[0]}`;
        break;
      }
      result.output += `${run.stdout}${run.stderr}`;
      // FILE: N anchors rewritten, FILE:LINE: reason, FILE: reason.
      for (const line of run.stdout.split('\n')) {
        const m = /^(\/[^:]*)(?::\d+)?: /.exec(line);
        if (m) result.lines.set(m[1], [...(result.lines.get(m[1]) ?? []), line]);
      }
      if (run.status !== 0) {
        result.error = `quorvane-code ${command.join(' ')} exited with ${run.status ?? run.signal}:\n${run.stdout}${run.stderr}`;
      }
    }
    toolRuns.set(form, result);
  }
  server = await serve(workDir);
  origin = `http://127.0.0.1:${server.address().port}`;
});

after(async () => {
  await new Promise((resolve) => (server ? server.close(resolve) : resolve()));
  rmSync(workDir, { recursive: true, force: true });
  const rows = [['case', 'form', 'JavaScript', 'result']];
  for (const [key, result] of table) rows.push([...key.split('\t'), result]);
  const widths = rows[0].map((_, i) => Math.max(...rows.map((r) => r[i].length)));
  const text = rows.map((r) => r.map((cell, i) => (i === r.length - 1 ? cell : cell.padEnd(widths[i]))).join('  ')).join('\n');
  const tool = spawnSync(TOOL ?? 'false', ['--version'], { encoding: 'utf8' }).stdout.trim();
  const report = `Navigation check, ${tool}; forms: ${FORMS.join(' ')}\n${text}\n`;
  console.log(report);
  if (ARTIFACTS) writeFileSync(join(ARTIFACTS, 'browser-navigation.txt'), report);
});

// What a visitor meets: every link (the href as the browser resolved it, its text, other attributes, the
// computed style that structural selectors change), the page's text and its elements in document order.
const shown = (page) => page.evaluate(() => {
  const anchors = [...document.getElementsByTagName('a')];
  return {
    links: anchors.map((a) => {
      const s = getComputedStyle(a);
      return {
        href: a.href, rawHref: a.getAttribute('href'), text: a.textContent,
        attributes: [...a.attributes].filter((at) => at.name !== 'href').map((at) => `${at.name}=${at.value}`).sort(),
        style: [s.color, s.fontWeight, s.display, s.marginTop, s.marginRight, s.marginBottom, s.marginLeft].join(' '),
        mail: a.protocol === 'mailto:',
      };
    }),
    text: document.body ? document.body.innerText : document.documentElement.textContent,
    elements: [...document.getElementsByTagName('*')].map((e) => e.localName),
    // All a script or a collector reads: the text of every node and the value of every attribute.
    readable: [document.documentElement.textContent,
      ...[...document.getElementsByTagName('*')].flatMap((e) => [...e.attributes].map((at) => at.value))].join('\n'),
  };
});

// Opens the case's start page and clicks as a visitor would; returns what is shown and any errors, with the
// variant's folder in URLs and messages made the same for every variant.
async function visit(browser, javaScript, c, variant) {
  const { page } = browser;
  const errors = [];
  const onError = (err) => errors.push(`pageerror: ${err.message}`);
  const onConsole = (msg) => { if (msg.type() === 'error') errors.push(`console: ${msg.text()}`); };
  page.on('pageerror', onError);
  page.on('console', onConsole);
  const problems = [];
  try {
    const base = `${origin}/${c.dir}/${variant}/`;
    await page.goto(base + c.start, { timeout: GUARD_MS });
    if (c.click) {
      // MkDocs Material takes over clicks only once it has fetched and read the site map, which the page asks
      // for as it loads; a click before that is an ordinary page load. So the click waits until the network
      // is quiet, as a visitor's click comes after the page has settled.
      if (javaScript) await page.waitForLoadState('networkidle', { timeout: GUARD_MS });
      // Set on the window before the click: still there afterwards when the library swapped the page in place.
      if (javaScript && c.to) await page.evaluate(() => { window.quorvaneSameDocument = true; });
      await page.click(c.click, { timeout: GUARD_MS });
      if (c.placed && javaScript) {
        await page.locator(c.placed).waitFor({ state: 'attached', timeout: GUARD_MS })
          .catch((err) => problems.push(`the fragment was not placed within the ${GUARD_MS / 1000} s hang guard (${err.message.split('\n')[0]})`));
      }
      if (c.to) {
        try {
          await page.waitForURL(base + c.to, { timeout: GUARD_MS });
          await page.locator('h1').filter({ hasText: /^\s*Contact\s*$/ }).first().waitFor({ timeout: GUARD_MS });
        } catch (err) {
          problems.push(`the contact page did not show within the ${GUARD_MS / 1000} s hang guard (${err.message.split('\n')[0]})`);
        }
      }
    }
    if (javaScript) {
      // Whatever the scripts of the swapped-in page queued runs before the page is read.
      await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(() => setTimeout(resolve, 0)))));
    }
    const view = await shown(page);
    view.inPlace = javaScript && c.to ? await page.evaluate(() => window.quorvaneSameDocument === true) : null;
    view.writes = javaScript ? await page.evaluate(() => window.quorvaneWrites ?? 0) : 0;
    view.names = [];
    for (let i = 0; i < view.links.length; i++) {
      // The role and accessible name; its /url line is the raw attribute, whose letter case a visitor never meets.
      const snapshot = await page.locator('a').nth(i).ariaSnapshot({ timeout: GUARD_MS })
        .catch((err) => `(no snapshot: ${err.message.split('\n')[0]})`);
      view.names.push(snapshot.split('\n').filter((line) => !/^\s*- \/url:/.test(line)).join('\n'));
    }
    view.errors = errors;
    view.problems = problems;
    view.url = page.url();
    const local = (s) => s.replaceAll(`/${c.dir}/${variant}/`, `/${c.dir}/*/`);
    return JSON.parse(local(JSON.stringify(view)));
  } finally {
    page.off('pageerror', onError);
    page.off('console', onConsole);
  }
}

const short = (s) => JSON.stringify(s.length > 60 ? `${s.slice(0, 57)}...` : s);

// The ways the protected view differs from the original, in a few words each; empty when it does not.
function differences(original, got, form) {
  const out = [...got.problems];
  if (got.url !== original.url) out.push(`ends at ${got.url}, not ${original.url}`);
  if (got.inPlace !== original.inPlace) out.push(got.inPlace ? 'navigated in place' : 'loaded a new document instead of swapping in place');
  const mail = (v) => v.links.filter((l) => l.mail);
  if (mail(got).length !== mail(original).length) out.push(`${mail(got).length} of ${mail(original).length} mail links`);
  if (got.links.length === original.links.length) {
    for (const field of ['href', 'text', 'attributes', 'style']) {
      const i = got.links.findIndex((l, k) => JSON.stringify(l[field]) !== JSON.stringify(original.links[k][field]));
      const show = (v) => short(typeof v === 'string' ? v : JSON.stringify(v));
      if (i >= 0) out.push(`link ${i + 1} ${field}: ${show(original.links[i][field])} -> ${show(got.links[i][field])}`);
    }
    const n = got.names.findIndex((name, k) => name !== original.names[k]);
    if (n >= 0) out.push(`link ${n + 1} accessible name: ${short(original.names[n])} -> ${short(got.names[n])}`);
  } else if (mail(got).length === mail(original).length) {
    out.push(`${got.links.length} links, not ${original.links.length}`);
  }
  if (got.text !== original.text) {
    const a = original.text.split('\n');
    const b = got.text.split('\n');
    const i = a.findIndex((line, k) => line !== b[k]);
    const at = i < 0 ? a.length : i;
    out.push(`text: ${short(a[at] ?? '(end)')} -> ${short(b[at] ?? '(end)')}`);
  }
  const count = (list) => list.reduce((m, e) => m.set(e, (m.get(e) ?? 0) + 1), new Map());
  const [before, now] = [count(original.errors), count(got.errors)];
  const changed = (a, b) => {
    const list = [...a].filter(([e, n]) => n > (b.get(e) ?? 0)).map(([e, n]) => `${n - (b.get(e) ?? 0)}x ${short(e)}`);
    return list.length > 2 ? [...list.slice(0, 2), `${list.length - 2} more`] : list;
  };
  if (changed(now, before).length) out.push(`errors: ${changed(now, before).join(', ')}`);
  if (changed(before, now).length) out.push(`errors gone: ${changed(before, now).join(', ')}`);
  // The references form changes only characters: any element it added or dropped is markup it inserted.
  if (form === 'references' && JSON.stringify(got.elements) !== JSON.stringify(original.elements)) {
    const i = got.elements.findIndex((e, k) => e !== original.elements[k]);
    out.push(`elements differ at #${i + 1}: ${original.elements[i] ?? '(end)'} -> ${got.elements[i] ?? '(end)'}`);
  }
  return out;
}

const toolFile = (c, form, page) => join(variantDir(c, form), page);
const sameBytes = (c, form, page) => readFileSync(toolFile(c, 'original', page)).equals(readFileSync(toolFile(c, form, page)));
// The tool's lines for one page other than its count of what it rewrote (anchors, or in XHTML, values).
const REWRITTEN = /^[^:]*: \d+ [^:]* rewritten$/;
const listedLines = (form, file) => (toolRuns.get(form).lines.get(file) ?? []).filter((l) => !REWRITTEN.test(l));
const rewritten = (form, file) => (toolRuns.get(form).lines.get(file) ?? []).some((l) => REWRITTEN.test(l));

// The strong form's decoder at the top of the folder the tool was given, and a page's one reference to it (defer, or defer="defer" as XHTML needs).
function decoderFaults(c, form, name, source) {
  const faults = [];
  const decoder = join(variantDir(c, form), DECODER);
  if (!existsSync(decoder)) return [`${c.dir}: no ${DECODER} at the top of the folder`];
  const text = readable(readFileSync(decoder, 'latin1'));
  if (/@|mailto/i.test(text)) faults.push(`${c.dir}/${DECODER}: holds "@" or "mailto"`);
  const refs = [...source.matchAll(/<script src="([^"]+)" defer(?:="defer")?><\/script>/g)].map((m) => m[1]);
  const to = refs.map((src) => fileURLToPath(new URL(src.replaceAll('&amp;', '&'), pathToFileURL(toolFile(c, form, name)))));
  if (refs.length !== 1 || to[0] !== decoder) faults.push(`${c.dir}/${name}: refers to the decoder as ${JSON.stringify(refs)}, not once to ${DECODER} at the top`);
  return faults;
}

for (const form of FORMS) {
  test(`${form} form: the tool rewrote the pages and left no plain address or "mailto:" in them`, (t) => {
    const run = toolRuns.get(form);
    if (run.skip) {
      t.skip(run.skip);
      return;
    }
    assert.ok(!run.error, run.error);
    const faults = [];
    // The strong form's pages are read as a collector that decodes references and escapes would read them.
    const strong = form === 'strong';
    for (const c of casesOf(form)) {
      for (const name of listFiles(variantDir(c, 'original')).filter((n) => /\.x?html$/.test(n))) {
        const original = readFileSync(toolFile(c, 'original', name), 'latin1');
        if (!/mailto:/i.test(original) && !(strong && ADDRESSES.some((a) => original.includes(a)))) continue;
        const file = toolFile(c, form, name);
        const source = readFileSync(file, 'latin1');
        const listed = listedLines(form, file);
        if (!rewritten(form, file)) {
          // Only the script form may leave a page, and then whole and with its reason listed.
          if (form === 'references') faults.push(`${c.dir}/${name}: not rewritten (${listed.join(' | ') || 'no line from the tool'})`);
          else if (!listed.length) faults.push(`${c.dir}/${name}: neither rewritten nor listed`);
          else if (source !== original) faults.push(`${c.dir}/${name}: listed as left, yet changed`);
          continue;
        }
        // Readable only on the lines the tool listed (an anchor inside a <template>, say), as lines of the
        // rewritten page. The script form's NOSCRIPT part keeps a readable MAILTO: before the encoded
        // address; the references form encodes the scheme too.
        const listedAt = new Set(listed.map((l) => /^\/[^:]*:(\d+):/.exec(l)?.[1]).filter(Boolean).map(Number));
        const patterns = ADDRESSES.map((a) => new RegExp(a.replaceAll('.', '\\.'), strong ? 'gi' : 'g'));
        if (form === 'references' || strong) patterns.push(/mailto:/gi);
        if (strong) faults.push(...decoderFaults(c, form, name, source));
        source.split('\n').map(strong ? readable : (line) => line).forEach((line, i) => {
          for (const pattern of patterns) {
            for (const m of line.matchAll(pattern)) {
              if (!listedAt.has(i + 1)) faults.push(`${c.dir}/${name}:${i + 1}: ${m[0]} stands in the source`);
            }
          }
        });
      }
    }
    assert.deepEqual(faults, []);
  });
}

// What the script form cannot help, as the README says: a policy sent as a header, which the files do not
// show; selectors that count an anchor's place among its siblings, where the code puts a NOSCRIPT before it; a
// fragment placed with innerHTML, whose scripts never run. Its table cell says so, and any other difference fails.
const SCRIPT_FORM_LIMITS = new Set(['CSP header\ton', 'Trusted Types header\ton', 'structural CSS\ton', 'structural CSS\toff',
  'innerHTML fragment\ton']);

// The strong form without JavaScript: no address and no "mailto:" anywhere a script or collector reads, and each
// mail link of the original without an href, or with the fallback URL the case names.
function strongFallbackFaults(original, got, c) {
  const out = [...got.problems];
  if (got.url !== original.url) out.push(`ends at ${got.url}, not ${original.url}`);
  for (const a of ADDRESSES) if (got.readable.toLowerCase().includes(a)) out.push(`${a} shows in the page`);
  if (/mailto:/i.test(got.readable)) out.push('"mailto:" shows in the page');
  if (got.links.length !== original.links.length) out.push(`${got.links.length} links, not ${original.links.length}`);
  const fallback = c.args?.includes('--fallback-url') ? c.args[c.args.indexOf('--fallback-url') + 1] : null;
  original.links.forEach((l, i) => {
    if (l.mail && got.links[i] && got.links[i].rawHref !== fallback) {
      out.push(`link ${i + 1} href: ${JSON.stringify(got.links[i].rawHref)}, not ${JSON.stringify(fallback)}`);
    }
  });
  if (got.errors.length) out.push(`errors: ${got.errors.slice(0, 2).join(', ')}`);
  return out;
}

for (const javaScript of [true, false]) {
  const js = javaScript ? 'on' : 'off';
  describe(`JavaScript ${js}`, () => {
    let browser;
    before(async () => {
      browser = await openBrowser(javaScript);
      browser.page.setDefaultTimeout(GUARD_MS);
      // The pages are served here; anything else they would load stays off the network.
      await browser.page.route('**/*', (route) => (new URL(route.request().url()).hostname === '127.0.0.1' ? route.continue() : route.abort()));
      // Counts each document.write, which the strong form must never need.
      await browser.page.addInitScript(() => {
        for (const name of ['write', 'writeln']) {
          const write = Document.prototype[name];
          Document.prototype[name] = function (...args) {
            window.quorvaneWrites = (window.quorvaneWrites ?? 0) + 1;
            return write.apply(this, args);
          };
        }
      });
    });
    after(async () => { await browser?.close(); });

    for (const c of CASES) {
      describe(c.name, () => {
        let original;
        before(async () => {
          original = await visit(browser, javaScript, c, 'original');
          assert.deepEqual(original.problems, [], `${c.name}: the original site does not work as the check expects`);
          assert.ok(original.links.some((l) => l.mail), `${c.name}: the original page shows no mail link`);
          assert.notEqual(original.inPlace, false, `${c.name}: the library loaded the contact page as a new document, so the case does not test it`);
        });

        for (const form of FORMS.filter((f) => casesOf(f).includes(c))) {
          test(`${form} form`, async (t) => {
            const key = `${c.name}\t${form}\tJS ${js}`;
            const run = toolRuns.get(form);
            if (run.skip) {
              table.set(key, 'skipped: the tool has no such form');
              t.skip(run.skip);
              return;
            }
            if (run.error) {
              table.set(key, 'tool failed');
              assert.fail(run.error);
            }
            const unchanged = c.pages.every((p) => sameBytes(c, form, p));
            const listed = c.pages.some((p) => listedLines(form, toolFile(c, form, p)).length > 0);
            const got = await visit(browser, javaScript, c, form);
            const diff = form === 'strong' && !javaScript ? strongFallbackFaults(original, got, c) : differences(original, got, form);
            if (form === 'strong' && got.writes > original.writes) diff.push(`${got.writes - original.writes}x document.write`);
            if (unchanged) {
              // Only the script and strong forms may leave pages they would break, and they must say so.
              table.set(key, `${listed ? 'left by the tool' : 'unchanged, not listed'}${diff.length ? `, yet differs: ${diff.join('; ')}` : ''}`);
              assert.ok(listed, `${c.name}: the ${form} form left the pages unchanged without listing them`);
              assert.notEqual(form, 'references', `${c.name}: the references form left the pages as they were`);
            } else if (diff.length && form === 'script' && SCRIPT_FORM_LIMITS.has(`${c.name}\t${js}`)) {
              table.set(key, `differs, a limit of the script form: ${diff.join('; ')}`);
              return;
            } else {
              table.set(key, diff.length ? `differs: ${diff.join('; ')}` : 'equal');
            }
            assert.deepEqual(diff, [], `${c.name}, ${form} form, JavaScript ${js}: the protected site differs`);
          });
        }
      });
    }
  });
}
