// The default form: each readable address, and "mailto:", written as character references where it stands; no markup moves.
#include "References.h"

#include <string.h>

#include <algorithm>

#include "Ascii.h"
#include "PageRules.h"
#include "Places.h"
#include "Scan.h"

namespace site {

namespace {

// Bytes that can continue a character reference after its "&": a name's
// letters and digits, "#", and a hex "x". Such a run before an address is
// kept as it stands, so that every reference of the page reads the same.
bool CanContinueReference(char c) { return ascii::IsAlphanumeric(c) || c == '#'; }

bool Accepted(const ProtectOptions& options, std::string_view address) {
    if (options.accepted == nullptr) return false;
    return options.accepted->count(ascii::Lowered(address)) != 0;
}

// One run of bytes to write as references, and the place it stands in.
struct Edit {
    Span span;
    size_t place;
    bool json = false;  // in a JSON string: its "@" written \u0040, as every JSON reader reads it back
};

class ReferencesForm {
public:
    ReferencesForm(std::string_view page, const ProtectOptions& options, ProtectResult* result)
        : page_(page), options_(options), result_(result) {}

    void Run();

private:
    bool WideCharset();
    bool LeftForCharset(const PageReading& reading, bool anything);
    void Decide(const PageReading& reading, std::vector<Edit>* edits);
    void Write(const PageReading& reading, const std::vector<Edit>& edits);
    void List(size_t offset, std::string reason) { result_->listed.push_back({offset, std::move(reason)}); }

    std::string_view page_;
    const ProtectOptions& options_;
    ProtectResult* result_;
};

void ReferencesForm::Run() {
    if (WideCharset()) return;
    const bool at = memchr(page_.data(), '@', page_.size()) != nullptr;
    const std::vector<Span> addresses = at ? FindAddresses(page_) : std::vector<Span>();
    if (addresses.empty() && FindMailto(page_, 0) == std::string_view::npos) return;
    PageReading reading;
    ReadPageAddresses(page_, addresses, &reading);
    const bool anything = !reading.mailtos.empty() ||
                          std::any_of(reading.addresses.begin(), reading.addresses.end(), [](const PlacedAddress& a) {
                              return a.fate == Fate::kHide || a.fate == Fate::kJson;
                          });
    if (LeftForCharset(reading, anything)) return;
    std::vector<Edit> edits;
    Decide(reading, &edits);
    Write(reading, edits);
}

// A page in UTF-16 or UTF-32 is read in its own encoding; references are not written into it.
bool ReferencesForm::WideCharset() {
    std::string decoded;
    const char* wide;
    const std::string_view text = ReadableText(page_, &decoded, &wide);
    if (wide == nullptr) return false;
    if (HasMailto(text) || !FindAddresses(text).empty()) {
        result_->pageLeft = true;
        List(0, std::string("the page is in ") + wide +
                    " (byte-order mark): references are written into UTF-8 and single-byte pages only");
    }
    return true;
}

// A charset in which an ASCII byte may mean another character after an escape.
bool ReferencesForm::LeftForCharset(const PageReading& reading, bool anything) {
    if (reading.charset != Charset::kOther || ByteOrderMark(page_).charset == Charset::kUtf8 || !anything) return false;
    result_->pageLeft = true;
    List(reading.charsetOffset, "charset " + ascii::Printable(reading.charsetName) +
                                    " is neither UTF-8 nor a charset whose ASCII bytes always stand for themselves");
    for (const PlacedAddress& a : reading.addresses) {
        List(a.span.begin, "an address that stays readable (" + a.where + "): " +
                               std::string(page_.substr(a.span.begin, a.span.end - a.span.begin)));
    }
    return true;
}

void ReferencesForm::Decide(const PageReading& reading, std::vector<Edit>* edits) {
    for (const PlacedAddress& a : reading.addresses) {
        const std::string_view address = page_.substr(a.span.begin, a.span.end - a.span.begin);
        switch (a.fate) {
            case Fate::kHide:
            case Fate::kJson:
                if (Accepted(options_, address)) {
                    ++result_->accepted;
                } else {
                    edits->push_back({a.span, a.place, a.fate == Fate::kJson});
                }
                break;
            case Fate::kRaw:
                if (Accepted(options_, address)) {
                    ++result_->accepted;
                } else {
                    List(a.span.begin, "an address that stays readable (" + a.where + "): " + std::string(address));
                }
                break;
            case Fate::kOptOut:
                ++result_->optedOut;
                List(a.span.begin, "inside an <!--email_off--> region, left as written (" + a.where + "): " + std::string(address));
                break;
            case Fate::kInexact:
                List(a.span.begin, "an address that stays readable (" + a.where +
                                       ", after SVG or MathML markup that this tool cannot read as a browser does): " +
                                       std::string(address));
                break;
            case Fate::kOwnCode:
                break;
        }
    }
    for (const PlacedWord& word : reading.mailtos) edits->push_back({word.span, word.place});
    std::sort(edits->begin(), edits->end(), [](const Edit& a, const Edit& b) { return a.span.begin < b.span.begin; });
}

// The page with each edit's bytes written as decimal references, but for a
// run that continues a character reference before it; ASCII bytes only, so
// that the page's charset reads them alike.
void ReferencesForm::Write(const PageReading& reading, const std::vector<Edit>& edits) {
    if (edits.empty()) return;
    std::string& out = result_->output;
    out.reserve(page_.size() + edits.size() * 64);
    size_t copied = 0;
    std::vector<size_t> anchorPlaces, valuePlaces;
    for (const Edit& edit : edits) {
        if (edit.span.begin < copied) continue;
        size_t begin = edit.span.begin;
        size_t back = begin;
        while (back > copied && CanContinueReference(page_[back - 1])) --back;
        if (back > 0 && page_[back - 1] == '&') {
            while (begin < edit.span.end && CanContinueReference(page_[begin])) ++begin;
        }
        out.append(page_.substr(copied, edit.span.begin - copied));
        const size_t at = out.size();
        if (edit.json) {
            for (const char c : page_.substr(edit.span.begin, edit.span.end - edit.span.begin)) {
                if (c == '@') {
                    out.append("\\u0040");
                } else {
                    out.push_back(c);
                }
            }
            result_->replaced.push_back({edit.span.begin, edit.span.end - edit.span.begin, at, out.size() - at});
            copied = edit.span.end;
            valuePlaces.push_back(edit.place);
            continue;
        }
        out.append(page_.substr(edit.span.begin, begin - edit.span.begin));
        for (size_t i = begin; i < edit.span.end; ++i) {
            const unsigned char c = static_cast<unsigned char>(page_[i]);
            // A tab or line break stays: the parser reads CR LF as LF, but a reference to CR as CR.
            if (c < 128 && c != '\t' && c != '\n' && c != '\r') {
                out.append("&#").append(std::to_string(c)).push_back(';');
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
        result_->replaced.push_back({edit.span.begin, edit.span.end - edit.span.begin, at, out.size() - at});
        copied = edit.span.end;
        (reading.IsAnchorHref(edit.place) ? anchorPlaces : valuePlaces).push_back(edit.place);
    }
    out.append(page_.substr(copied));
    const auto distinct = [](std::vector<size_t>& places) {
        places.erase(std::unique(places.begin(), places.end()), places.end());
        return places.size();
    };
    result_->rewritten = distinct(anchorPlaces);
    result_->values = distinct(valuePlaces);
}

}  // namespace

bool StartsWithMailtoReferences(std::string_view raw) {
    size_t i = !raw.empty() && (raw[0] == '"' || raw[0] == '\'') ? 1 : 0;
    while (i < raw.size() && ascii::IsBlank(raw[i])) ++i;  // the URL parser trims them
    for (const char want : std::string_view("mailto:")) {
        while (i < raw.size() && (raw[i] == '\t' || raw[i] == '\n' || raw[i] == '\r')) ++i;
        if (raw.substr(i, 2) != "&#") return false;
        i += 2;
        unsigned value = 0;
        const size_t digits = i;
        while (i < raw.size() && ascii::IsDigit(raw[i]) && value < 1000) value = value * 10 + static_cast<unsigned>(raw[i++] - '0');
        if (i == digits || i >= raw.size() || raw[i] != ';' || value > 127) return false;
        ++i;
        if (ascii::Lower(static_cast<char>(value)) != want) return false;
    }
    return true;
}

void ProtectWithReferences(std::string_view page, const ProtectOptions& options, ProtectResult* result) {
    ReferencesForm(page, options, result).Run();
}

}  // namespace site
