// Text as a collector of addresses reads it: character references and percent-escapes decoded, over and over.

// Named references such a reader decodes, beside every numeric one.
const NAMED = { amp: '&', lt: '<', gt: '>', quot: '"', apos: "'", nbsp: ' ', commat: '@', period: '.', colon: ':',
  sol: '/', percnt: '%', num: '#', semi: ';', equals: '=', quest: '?', lowbar: '_', hyphen: '-', dash: '-', plus: '+' };

export function readable(text) {
  for (let round = 0; round < 10; round++) {
    const next = text
      .replace(/&#(x?)([0-9a-f]+);?/gi, (m, x, digits) => {
        const code = parseInt(digits, x ? 16 : 10);
        return code > 0 && code <= 0x10ffff ? String.fromCodePoint(code) : m;
      })
      .replace(/&([a-z]+);?/gi, (m, name) => NAMED[name] ?? m)
      .replace(/%([0-9a-f]{2})/gi, (m, hex) => String.fromCharCode(parseInt(hex, 16)));
    if (next === text) return text;
    text = next;
  }
  return text;
}

// The strong form's decoder, at the top of each folder the tool is given.
export const DECODER = 'quorvane-mail.js';
