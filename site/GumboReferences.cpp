// The HTML parser's reading of a character reference, over the library's own table of names: one table serves both readers, and the parser's much larger machine for the names is left out.
#include <string_view>

#include "CharacterReferences.h"
#include "char_ref.h"
#include "utf8.h"

extern "C" {

const int kGumboNoChar = -1;

// The parser's contract: `input` stands on the "&"; on a reference it is left
// after it and `output` holds its code points, otherwise it is put back on
// the "&" and `output` holds none. False marks a parse error (the parser only
// counts them).
bool consume_char_ref(struct GumboInternalParser*, struct GumboInternalUtf8Iterator* input, int additional_allowed_char,
                      bool is_in_attribute, OneOrTwoCodepoints* output) {
    output->first = kGumboNoChar;
    output->second = kGumboNoChar;
    utf8iterator_mark(input);
    utf8iterator_next(input);
    const int c = utf8iterator_current(input);
    if (c == additional_allowed_char || c == '\t' || c == '\n' || c == '\f' || c == ' ' || c == '<' || c == '&' ||
        c == -1) {
        utf8iterator_reset(input);
        return true;
    }
    const char* at = utf8iterator_get_char_pointer(input);
    const std::string_view text(at, static_cast<size_t>(utf8iterator_get_end_pointer(input) - at));
    unsigned long first = 0, second = 0;
    if (c == '#') {
        bool terminated = false;
        const size_t length = site::NumericReferenceAt(text.substr(1), &first, &terminated);
        if (length == 0) {
            utf8iterator_reset(input);
            return false;
        }
        utf8iterator_maybe_consume_match(input, at, length + 1, true);
        output->first = static_cast<int>(first);
        // Replaced values and ones a page may not write are errors too, for the count alone.
        return terminated;
    }
    const size_t length = site::NamedReferenceAt(text, &first, &second);
    if (length == 0) {
        utf8iterator_reset(input);
        size_t run = 0;
        while (run < text.size() && ((text[run] >= '0' && text[run] <= '9') || ((text[run] | 0x20) >= 'a' && (text[run] | 0x20) <= 'z'))) {
            ++run;
        }
        return !(run < text.size() && text[run] == ';');
    }
    const bool legacy = text[length - 1] != ';';
    if (legacy && is_in_attribute && length < text.size()) {
        const char next = text[length];
        if (next == '=' || (next >= '0' && next <= '9') || ((next | 0x20) >= 'a' && (next | 0x20) <= 'z')) {
            utf8iterator_reset(input);
            return true;
        }
    }
    utf8iterator_maybe_consume_match(input, at, length, true);
    output->first = static_cast<int>(first);
    output->second = second != 0 ? static_cast<int>(second) : kGumboNoChar;
    return !legacy;
}

}  // extern "C"
