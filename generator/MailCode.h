// The mail code generator: turns an address and a link text into the NOSCRIPT + SCRIPT HTML block.
#ifndef QUORVANE_MAILCODE_H
#define QUORVANE_MAILCODE_H

#include <stdint.h>

#include "ByteString.h"
#include "MailCodeMarks.h"

// Every text is a byte string in the ANSI code page, taken and returned as
// it is: no locale, no character set conversion, bytes 0 and 128-255
// included. Every line ends with CR LF. A result whose Failed() is true
// means that memory ran out (or that the code would not fit in memory at
// all); nothing else can fail.

// The lead-byte test of a double-byte ANSI code page (932, 936, 949, 950),
// supplied by the caller: true for a byte that starts a two-byte character.
// Its second byte, the trail byte, may be 0x5C or 0x40 (the backslash and the
// at sign) in 932, 936 and 950: with the test it belongs to its character, is
// never escaped and never taken for the "@" of the address. Without the test
// every byte stands alone.
typedef bool (*LeadByteTest)(unsigned char byte);

// Decimal text of a signed 32-bit value: no leading zeros, no plus sign,
// "-" before negative values, "-2147483648" for the lowest one.
ByteString IntToDecimal(int32_t value);

// The three NOSCRIPT lines: the anchor's address written as decimal
// character references after a plain "MAILTO:", the link text as raw HTML.
ByteString BuildNoScriptBlock(ByteView address, ByteView linkText);

// The ten SCRIPT lines that write the mailto anchor at page load from
// pieces split at the first "@"; empty when the address holds no "@".
ByteString BuildScriptBlock(ByteView address, ByteView linkText, LeadByteTest isLeadByte = nullptr);

// BuildNoScriptBlock followed directly by BuildScriptBlock, in one buffer.
ByteString ComposeMailCode(ByteView address, ByteView linkText, LeadByteTest isLeadByte = nullptr);

// An attribute of a page's anchor that the code carries onto both of its
// anchors: its name, and its value as the page's bytes write it (without
// the quotes), character references and all.
struct CarriedAttribute {
    ByteView name;
    ByteView value;
    // The value holds an address or the word "mailto": every ASCII byte of it
    // is written as a character reference, so that it reads the same and
    // stands nowhere in plain text.
    bool hidden;
};

// The code as it replaces an anchor in a page: the page's own line end, and
// none where a browser would show one as a space (around the NOSCRIPT
// anchor and after the script); the href's tail and the anchor's attributes
// carried into both parts; the script's variables inside a function of their
// own, so that they meet none of the page's names.
struct PageForm {
    ByteView lineEnd;
    // What follows the addresses in the href ("?subject=..."), as it reads
    // once character references are decoded, in ASCII (percent-encoded
    // beyond). The NOSCRIPT part writes it as references like the address.
    ByteView tail;
    const CarriedAttribute* attributes;
    size_t attributeCount;
};

// The code for a page. `addresses` is one address or several joined by
// commas; the script splits the first at its "@", and writes every further
// "@" and any "mailto" (in the addresses, the tail and the attributes) as
// separate pieces too.
// It is written straight into `out`, which must have room for it; with a
// null `out` it is only counted. Returns its size, or SIZE_MAX when that
// would not fit in the address space. A page of many anchors counts them all
// first and then writes them into one buffer of the exact size.
size_t WritePageCode(char* out, ByteView addresses, ByteView linkText, const PageForm& form);

#endif
