// Runs the decoder script on a small stand-in for the DOM: sealed values opened, attributes and text put back on load and as content arrives, and nothing else touched.
// node decoder-check.mjs SCRIPT KEYHEX [SEALED.json]; SEALED.json lists [value, sealed] pairs made by the site library.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import vm from 'node:vm';

const [scriptFile, keyHex, sealedFile] = process.argv.slice(2);
const script = readFileSync(scriptFile, 'utf8');
const key = Buffer.from(keyHex, 'hex');
const A = 'data-quorvane';
const T = 'data-quorvane-text';

// The format of a sealed value, with n given rather than taken from the value, so that every n is tried.
const seal = (value, n) => {
  const bytes = Buffer.isBuffer(value) ? value : Buffer.from(value, 'utf8');
  return Buffer.from([n, ...bytes.map((b, i) => b ^ key[(n + i) % 32])]).toString('base64url');
};

// Elements with attributes and children; the observer gets the records a browser would send, when flushed.
let records = [];
let observer = null;
class Element {
  constructor(localName, attributes = {}, children = []) {
    Object.assign(this, { nodeType: 1, localName, attributes: new Map(Object.entries(attributes)), children: [], parent: null });
    children.forEach((c) => this.append(c));
  }
  append(child) {
    child.parent = this;
    this.children.push(child);
    records.push({ type: 'childList', target: this, addedNodes: [child] });
  }
  getAttribute(name) { return this.attributes.has(name) ? this.attributes.get(name) : null; }
  setAttribute(name, value) { this.attributes.set(name, String(value)); records.push({ type: 'attributes', target: this, attributeName: name }); }
  removeAttribute(name) { this.attributes.delete(name); records.push({ type: 'attributes', target: this, attributeName: name }); }
  matches(selector) { return selector.split(',').some((s) => this.attributes.has(/^\[([\w-]+)\]$/.exec(s.trim())[1])); }
  querySelectorAll(selector) {
    const found = [];
    const walk = (e) => e.children.forEach((c) => { if (c.nodeType === 1) { if (c.matches(selector)) found.push(c); walk(c); } });
    walk(this);
    return found;
  }
  set textContent(text) {
    this.children = [];
    this.append({ nodeType: 3, data: String(text) });
  }
  replaceWith(text) {
    if (!this.parent) return;
    const node = { nodeType: 3, data: String(text), parent: this.parent };
    this.parent.children[this.parent.children.indexOf(this)] = node;
    records.push({ type: 'childList', target: this.parent, addedNodes: [node] });
    this.parent = null;
  }
}
// What a visitor meets, as one string per element: its attributes in order of name, then its text.
const show = (e) => (e.nodeType === 3 ? e.data
  : `<${e.localName}${[...e.attributes].sort().map(([n, v]) => ` ${n}=${JSON.stringify(v)}`).join('')}>${e.children.map(show).join('')}</${e.localName}>`);

// Delivers the queued records until none come; a decoder that keeps mutating what it observes fails.
function flush() {
  for (let round = 0; records.length; round++) {
    assert.ok(round < 10, 'the decoder keeps answering its own changes');
    const list = records.filter((r) => r.type === 'childList' || observer.options.attributeFilter.includes(r.attributeName));
    records = [];
    if (list.length) observer.callback(list);
  }
}

const root = new Element('html');
const body = new Element('body');
root.append(body);
const listeners = {};
const context = vm.createContext({
  atob, TextDecoder,
  document: { documentElement: root, addEventListener: (type, f) => (listeners[type] ??= []).push(f) },
  MutationObserver: class { constructor(callback) { observer = { callback }; } observe(target, options) { Object.assign(observer, { target, options }); } },
});
const before = Object.keys(context);

// Values as pages hold them: a link's attributes (empty values too), text in any script, and a value that is not UTF-8.
const link = ['href', 'mailto:jane@example.org?subject=Hello%20there', 'title', 'Mail jane@example.org', 'class', ''];
const text = 'Zoë Ünal <zoe@exämple.org> ✉ 𝄞';
const paragraph = (n) => new Element('p', {}, [
  new Element('a', { [A]: seal(link.join('\0'), n), href: '/contact/', title: 'Mail (e-mail address)', class: '' }, [
    new Element('span', { [T]: seal(text, (n + 7) % 256) }, [{ nodeType: 3, data: '(e-mail address)' }])]),
  new Element('span', { [T]: seal('', n) }, [])]);
const restored = show(new Element('p', {}, [
  new Element('a', { href: link[1], title: link[3], class: '' }, [{ nodeType: 3, data: text }]), { nodeType: 3, data: '' }]));
// A sealed value in the standard alphabet, which opens once its + and / are read as - and _.
const standardBase64 = [...Array(256).keys()].map((n) => seal('team@example.org', n)).find((v) => /[-_]/.test(v)).replace(/-/g, '+').replace(/_/g, '/');
// Left as they are: not base64url (or base64url in the other alphabet), a length that decodes to no whole byte, bytes that are not UTF-8, attributes that would run script.
const left = [
  new Element('b', { [T]: 'not sealed!' }), new Element('b', { [T]: standardBase64 }), new Element('b', { [T]: 'AAAAA' }), new Element('b', { [T]: seal(Buffer.from([0xff, 0x41]), 3) }),
  new Element('b', { [A]: '' })];
const leftHolder = new Element('div', {}, left);
const leftShown = show(leftHolder);
const risky = new Element('a', { [A]: seal(['onclick', 'go()', 'href', ' java\tscript:go()', 'srcdoc', '<p>', 'title', 'kept'].join('\0'), 200) });

for (const n of [0, 1, 31, 32, 200, 255]) body.append(paragraph(n));
body.append(leftHolder);
body.append(risky);
records = [];
vm.runInContext(script, context, { filename: scriptFile });

assert.deepEqual(Object.keys(context), before, 'the script defined a global name');
assert.equal(vm.runInContext('typeof key + typeof open + typeof A', context), 'undefined'.repeat(3), 'the script declared a name at the top');
assert.equal(observer.target, root);
assert.deepEqual({ ...observer.options, attributeFilter: [...observer.options.attributeFilter].sort() },
  { childList: true, subtree: true, attributeFilter: [A, T] });
for (const p of body.children.slice(0, 6)) assert.equal(show(p), restored);
assert.equal(show(leftHolder), leftShown);
assert.equal(show(risky), '<a title="kept"></a>');
flush();

// Content that arrives later: a swapped-in subtree, and a sealed attribute set on an element already there.
const later = paragraph(77);
body.append(new Element('div', {}, [later]));
const morphed = new Element('a', { href: '/contact/' });
body.append(morphed);
flush();
assert.equal(show(later), restored);
morphed.setAttribute(A, seal('href\0mailto:team@example.org', 9));
flush();
assert.equal(show(morphed), '<a href="mailto:team@example.org"></a>');

// htmx sets up what it swaps in before an observer hears of it: its event puts the links back at once.
const swapped = paragraph(5);
const swapHolder = new Element('div', {}, [swapped]);
body.append(swapHolder);
for (const type of ['htmx:before:process', 'htmx:beforeProcessNode']) {
  assert.equal(listeners[type]?.length, 1, `no listener for ${type}`);
}
listeners['htmx:before:process'][0]({ target: swapHolder });
assert.equal(show(swapped), restored);
flush();

// A title, a textarea or an option holds its sealed text itself.
const title = new Element('title', { [T]: seal('team@example.org', 4) }, [{ nodeType: 3, data: '(e-mail address)' }]);
body.append(title);
flush();
assert.equal(show(title), '<title>team@example.org</title>');

// Values sealed by the site library itself open to the same values.
if (sealedFile) {
  const pairs = JSON.parse(readFileSync(sealedFile, 'utf8'));
  assert.ok(pairs.length > 0);
  for (const [value, sealed] of pairs) {
    const span = new Element('span', { [T]: sealed });
    const holder = new Element('p', {}, [span]);
    body.append(holder);
    flush();
    assert.equal(show(holder), show(new Element('p', {}, [{ nodeType: 3, data: value }])), `sealed ${sealed}`);
  }
}
console.log('decoder check: passed');
