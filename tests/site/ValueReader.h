// Reads every value of a JSON or XML file as its readers get it: shared by the file table and the fuzz target.
#ifndef QUORVANE_TESTS_VALUEREADER_H
#define QUORVANE_TESTS_VALUEREADER_H

#include <cstdlib>
#include <map>
#include <string>

#include "Data.h"
#include "Site.h"

inline std::string Utf8(unsigned long code) {
    std::string out;
    if (code < 0x80) return std::string(1, static_cast<char>(code));
    if (code < 0x800) return {static_cast<char>(0xC0 | code >> 6), static_cast<char>(0x80 | (code & 0x3F))};
    return {static_cast<char>(0xE0 | code >> 12), static_cast<char>(0x80 | ((code >> 6) & 0x3F)),
            static_cast<char>(0x80 | (code & 0x3F))};
}

// Every value of a JSON or XML file as its readers get it: JSON strings
// unescaped, XML character data, CDATA and attribute values with their
// references decoded; empty when the file is not read as one.
inline std::string Values(site::FileKind kind, const std::string& text) {
    std::string values, problem;
    if (kind == site::FileKind::kJson) {
        for (const site::Span& s : site::JsonStrings(text, &problem)) {
            for (size_t i = s.begin; i < s.end; ++i) {
                if (text[i] != '\\') {
                    values += text[i];
                } else if (text[++i] == 'u') {
                    values += Utf8(std::strtoul(text.substr(i + 1, 4).c_str(), nullptr, 16));
                    i += 4;
                } else {
                    values += std::string("\"\\/\b\f\n\r\t")[std::string("\"\\/bfnrt").find(text[i])];
                }
            }
            values += '|';
        }
        return values;
    }
    site::XmlDocument document;
    if (!site::ReadXml(text, &document, &problem)) return "";
    for (const site::XmlPart& part : document.parts) {
        if (part.kind == site::XmlPart::kComment || part.kind == site::XmlPart::kInstruction) continue;
        if (part.kind == site::XmlPart::kAttribute) values += '|';
        for (size_t i = part.begin; i < part.end; ++i) {
            const size_t semicolon = text.find(';', i);
            if (part.kind == site::XmlPart::kCData || text[i] != '&') {
                values += text[i];
            } else {
                const std::string name = text.substr(i + 1, semicolon - i - 1);
                const std::map<std::string, char> named = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
                values += name[0] != '#' ? std::string(1, named.at(name))
                                         : Utf8(std::strtoul(name.substr(name[1] == 'x' ? 2 : 1).c_str(), nullptr, name[1] == 'x' ? 16 : 10));
                i = semicolon;
            }
        }
    }
    return values;
}

#endif
