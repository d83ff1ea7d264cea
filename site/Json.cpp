// A strict JSON reader that notes where each string stands; it builds no values, so its memory is that of the nesting only.
#include <vector>

#include "Ascii.h"
#include "Data.h"

namespace site {

namespace {

class JsonReader {
public:
    JsonReader(std::string_view text, std::vector<Span>* strings) : text_(text), strings_(strings) {}

    // Empty when the whole text is one JSON value; else what is wrong.
    std::string Read();

private:
    void SkipBlanks() {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r')) {
            ++at_;
        }
    }
    bool Literal(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }
    bool Digits() {
        const size_t start = at_;
        while (at_ < text_.size() && ascii::IsDigit(text_[at_])) ++at_;
        return at_ > start;
    }
    bool String();
    bool Number();
    bool Scalar();

    std::string_view text_;
    std::vector<Span>* strings_;
    size_t at_ = 0;
};

bool JsonReader::String() {
    ++at_;  // the quote
    const size_t begin = at_;
    while (at_ < text_.size()) {
        const unsigned char c = static_cast<unsigned char>(text_[at_]);
        if (c == '"') {
            strings_->push_back({begin, at_});
            ++at_;
            return true;
        }
        if (c < 0x20) return false;
        if (c == '\\') {
            if (++at_ >= text_.size()) return false;
            const char escape = text_[at_];
            if (escape == 'u') {
                for (int i = 1; i <= 4; ++i) {
                    if (at_ + i >= text_.size() || !ascii::IsHexDigit(text_[at_ + i])) return false;
                }
                at_ += 4;
            } else if (std::string_view("\"\\/bfnrt").find(escape) == std::string_view::npos) {
                return false;
            }
        }
        ++at_;
    }
    return false;
}

bool JsonReader::Number() {
    if (at_ < text_.size() && text_[at_] == '-') ++at_;
    if (at_ < text_.size() && text_[at_] == '0') {
        ++at_;
    } else if (!Digits()) {
        return false;
    }
    if (at_ < text_.size() && text_[at_] == '.' && (++at_, !Digits())) return false;
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
        ++at_;
        if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
        if (!Digits()) return false;
    }
    return true;
}

bool JsonReader::Scalar() {
    if (at_ >= text_.size()) return false;
    const char c = text_[at_];
    if (c == '"') return String();
    if (c == '-' || ascii::IsDigit(c)) return Number();
    return Literal("true") || Literal("false") || Literal("null");
}

// Values nest on an explicit stack, so that no depth of nesting can
// overflow the call stack.
std::string JsonReader::Read() {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") at_ = 3;
    std::vector<char> open;  // '{' or '[' for each value still open
    bool wantValue = true;
    for (;;) {
        SkipBlanks();
        if (wantValue) {
            if (at_ < text_.size() && (text_[at_] == '{' || text_[at_] == '[')) {
                open.push_back(text_[at_++]);
                SkipBlanks();
                if (at_ < text_.size() && text_[at_] == (open.back() == '{' ? '}' : ']')) {
                    ++at_;
                    open.pop_back();
                    wantValue = false;
                    continue;
                }
                if (open.back() == '[') continue;
                // An object's first member: a name comes first.
            } else if (!Scalar()) {
                return "not a JSON value at byte " + std::to_string(at_);
            } else {
                wantValue = false;
                continue;
            }
        } else if (open.empty()) {
            if (at_ != text_.size()) return "more after the JSON value, at byte " + std::to_string(at_);
            return std::string();
        } else if (at_ < text_.size() && text_[at_] == ',') {
            ++at_;
            wantValue = true;
            if (open.back() == '[') continue;
            SkipBlanks();
        } else if (at_ < text_.size() && text_[at_] == (open.back() == '{' ? '}' : ']')) {
            ++at_;
            open.pop_back();
            continue;
        } else {
            return "a JSON value ends wrongly at byte " + std::to_string(at_);
        }
        // An object's member: its name, a colon, then its value.
        if (at_ >= text_.size() || text_[at_] != '"' || !String()) {
            return "not a member name at byte " + std::to_string(at_);
        }
        SkipBlanks();
        if (at_ >= text_.size() || text_[at_] != ':') return "no colon after a name at byte " + std::to_string(at_);
        ++at_;
        wantValue = true;
    }
}

}  // namespace

std::vector<Span> JsonStrings(std::string_view text, std::string* problem) {
    std::vector<Span> strings;
    *problem = JsonReader(text, &strings).Read();
    if (!problem->empty()) strings.clear();
    return strings;
}

}  // namespace site
