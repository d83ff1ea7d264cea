// Charset labels and byte-order marks: how a browser will read a page's bytes.
#include <string.h>

#include "Ascii.h"
#include "CharacterReferences.h"
#include "PageRules.h"

namespace site {

namespace {

// One code unit of `size` bytes at `p`.
unsigned long Unit(const unsigned char* p, size_t size, bool bigEndian) {
    unsigned long value = 0;
    for (size_t i = 0; i < size; ++i) value |= static_cast<unsigned long>(p[bigEndian ? i : size - 1 - i]) << (8 * (size - 1 - i));
    return value;
}

// UTF-16 or UTF-32 text, the bytes after its mark, as UTF-8.
std::string WideToUtf8(std::string_view bytes, const Mark& mark) {
    const size_t size = mark.charset == Charset::kUtf32 ? 4 : 2;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t units = bytes.size() / size;
    std::string out;
    out.reserve(units + units / 2);
    for (size_t i = 0; i < units; ++i) {
        unsigned long code = Unit(p + i * size, size, mark.bigEndian);
        if (size == 2 && code >= 0xD800 && code < 0xDC00 && i + 1 < units) {
            const unsigned long low = Unit(p + (i + 1) * size, size, mark.bigEndian);
            if (low >= 0xDC00 && low < 0xE000) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        AppendUtf8(&out, code);
    }
    if (bytes.size() % size != 0) AppendUtf8(&out, 0xFFFD);
    return out;
}

}  // namespace

// Labels as the encoding standard lists them, by family.
Charset ClassifyLabel(std::string_view rawLabel) {
    const std::string label = ascii::Lowered(ascii::Trim(rawLabel));
    static const char* const kUtf8[] = {"utf-8", "utf8", "unicode-1-1-utf-8", "unicode11utf8", "unicode20utf8",
                                        "x-unicode20utf8",
                                        // a meta naming UTF-16 is read as UTF-8
                                        "utf-16", "utf-16le", "utf-16be", "unicode", "ucs-2", "unicodefffe",
                                        "unicodefeff", "csunicode", "iso-10646-ucs-2"};
    static const char* const kDoubleByte[] = {
        "shift_jis", "shift-jis", "sjis", "ms_kanji", "csshiftjis", "windows-31j", "x-sjis", "ms932", "cp932",
        "gbk", "gb2312", "gb_2312", "gb_2312-80", "chinese", "csgb2312", "csiso58gb231280", "iso-ir-58", "x-gbk",
        "gb18030", "cp936", "windows-936", "big5", "big5-hkscs", "cn-big5", "csbig5", "x-x-big5", "cp950",
        // The encoding standard's EUC-KR is Windows' code page 949, whose second bytes include ASCII letters.
        "euc-kr", "cseuckr", "csksc56011987", "iso-ir-149", "korean", "ks_c_5601-1987", "ks_c_5601-1989",
        "ksc5601", "ksc_5601", "windows-949"};
    static const char* const kMultiByte[] = {"euc-jp", "cseucpkdfmtjapanese", "x-euc-jp"};
    static const char* const kSingleByte[] = {
        "us-ascii", "ascii", "ansi_x3.4-1968", "cp819", "ibm819", "csisolatin1", "iso-ir-100", "iso_8859-1:1987",
        "l1", "l2", "l3", "l4", "l5", "l6", "l9", "latin1", "latin2", "latin3", "latin4", "latin5", "latin6",
        "x-cp1250", "x-cp1251", "x-cp1252", "x-cp1253", "x-cp1254", "x-cp1255", "x-cp1256", "x-cp1257",
        "x-cp1258", "cp1250", "cp1251", "cp1252", "cp1253", "cp1254", "cp1255", "cp1256", "cp1257", "cp1258",
        "866", "cp866", "csibm866", "ibm866", "koi", "koi8", "koi8-r", "koi8_r", "cskoi8r", "koi8-u", "koi8-ru",
        "macintosh", "mac", "csmacintosh", "x-mac-roman", "x-mac-cyrillic", "x-mac-ukrainian", "windows-874",
        "dos-874", "tis-620", "cyrillic", "greek", "greek8", "hebrew", "arabic", "ecma-114", "ecma-118",
        "elot_928", "asmo-708", "visual", "logical", "sun_eu_greek", "csisolatinarabic", "csisolatincyrillic",
        "csisolatingreek", "csisolatinhebrew", "csisolatin2", "csisolatin3", "csisolatin4", "csisolatin5",
        "csisolatin6", "csisolatin9", "x-user-defined"};
    for (const char* name : kUtf8) {
        if (label == name) return Charset::kUtf8;
    }
    for (const char* name : kDoubleByte) {
        if (label == name) return Charset::kDoubleByte;
    }
    for (const char* name : kMultiByte) {
        if (label == name) return Charset::kMultiByte;
    }
    for (const char* name : kSingleByte) {
        if (label == name) return Charset::kSingleByte;
    }
    for (const char* prefix : {"iso-8859-", "iso8859-", "iso_8859-", "iso8859", "windows-125", "iso-ir-1"}) {
        if (label.size() > strlen(prefix) && label.compare(0, strlen(prefix), prefix) == 0) return Charset::kSingleByte;
    }
    return Charset::kOther;
}

// The charset named in a Content-Type value ("text/html; charset=...").
std::string_view CharsetInContentType(std::string_view content) {
    const std::string lower = ascii::Lowered(content);
    for (size_t at = lower.find("charset"); at != std::string::npos; at = lower.find("charset", at + 1)) {
        size_t i = at + 7;
        while (i < content.size() && ascii::IsBlank(content[i])) ++i;
        if (i >= content.size() || content[i] != '=') continue;
        ++i;
        while (i < content.size() && ascii::IsBlank(content[i])) ++i;
        if (i < content.size() && (content[i] == '"' || content[i] == '\'')) {
            size_t close = content.find(content[i], i + 1);
            if (close == std::string_view::npos) return {};
            return content.substr(i + 1, close - i - 1);
        }
        size_t end = i;
        while (end < content.size() && !ascii::IsBlank(content[end]) && content[end] != ';') ++end;
        return content.substr(i, end - i);
    }
    return {};
}

Mark ByteOrderMark(std::string_view bytes) {
    Mark mark;
    if (bytes.substr(0, 4) == std::string_view("\xFF\xFE\0\0", 4)) mark = {Charset::kUtf32, 4, false};
    else if (bytes.substr(0, 4) == std::string_view("\0\0\xFE\xFF", 4)) mark = {Charset::kUtf32, 4, true};
    else if (bytes.substr(0, 3) == "\xEF\xBB\xBF") mark = {Charset::kUtf8, 3, false};
    else if (bytes.substr(0, 2) == "\xFF\xFE") mark = {Charset::kUtf16, 2, false};
    else if (bytes.substr(0, 2) == "\xFE\xFF") mark = {Charset::kUtf16, 2, true};
    return mark;
}

std::string_view ReadableText(std::string_view bytes, std::string* decoded, const char** wide) {
    const Mark mark = ByteOrderMark(bytes);
    if (wide != nullptr) *wide = nullptr;
    if (!IsWide(mark.charset)) return bytes;
    *decoded = WideToUtf8(bytes.substr(mark.length), mark);
    if (wide != nullptr) *wide = mark.charset == Charset::kUtf16 ? "UTF-16" : "UTF-32";
    return *decoded;
}

}  // namespace site
