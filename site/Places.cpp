// Places a page's addresses by one pass of the page reader, and notes the page's declarations on the way.
#include "Places.h"

#include <algorithm>

#include "Ascii.h"
#include "Data.h"
#include "MailCode.h"
#include "Reader.h"

namespace site {

namespace {

std::string_view Slice(std::string_view page, size_t begin, size_t end) { return page.substr(begin, end - begin); }

std::string_view AttributeValue(std::string_view page, const ReadTag& tag, std::string_view name, bool* found = nullptr) {
    for (const ReadAttribute& a : tag.attributes) {
        if (ascii::EqualsNoCase(Slice(page, a.nameBegin, a.nameEnd), name)) {
            if (found) *found = true;
            return Slice(page, a.valueBegin, a.valueEnd);
        }
    }
    if (found) *found = false;
    return std::string_view();
}

// Marks of scripts that load a site's next pages into the open document:
// an inline script written then by document.write would replace the whole page.
const char* InstantNavigation(std::string_view page, const ReadTag& tag) {
    // Read without copies: every start tag of every page is asked.
    for (const ReadAttribute& a : tag.attributes) {
        const std::string_view name = Slice(page, a.nameBegin, a.nameEnd);
        // htmx writes it hx-boost, data-hx-boost, and from version 4 with a modifier (hx-boost:inherited).
        if (ascii::StartsWithNoCase(name, "hx-boost") || ascii::StartsWithNoCase(name, "data-hx-boost")) return "htmx hx-boost";
        if (ascii::StartsWithNoCase(name, "data-turbo")) return "Turbo";
        if (ascii::StartsWithNoCase(name, "data-swup")) return "swup";
        if (ascii::StartsWithNoCase(name, "data-pjax")) return "pjax";
        if (ascii::EqualsNoCase(name, "data-astro-transition") || ascii::StartsWithNoCase(name, "data-astro-transition-")) {
            return "Astro's view transitions";
        }
    }
    if (tag.roles & kRoleMeta) {
        const std::string_view name = AttributeValue(page, tag, "name");
        if (ascii::EqualsNoCase(name, "astro-view-transitions-enabled")) return "Astro's view transitions";
        if (ascii::StartsWithNoCase(name, "turbo-")) return "Turbo";
    }
    if (tag.roles & kRoleScript) {
        const std::string src = ascii::Lowered(AttributeValue(page, tag, "src"));
        for (const char* mark : {"turbo", "swup", "pjax"}) {
            if (src.find(mark) != std::string::npos) return mark;
        }
    }
    return nullptr;
}

class Placer : public ReaderEvents {
public:
    Placer(std::string_view page, const std::vector<Span>& addresses, PageReading* reading)
        : page_(page), addresses_(addresses), reading_(reading) {
        // The word is looked for once in the whole page, not once a place: pages have many places and few words.
        for (size_t at = 0; (at = FindMailto(page, at)) != std::string_view::npos; at += 6) words_.push_back(at);
    }

    void Text(size_t begin, size_t end, TextKind kind, std::string_view element, bool exact) override {
        if (kind == TextKind::kRawText && element == "noscript" && HoldsSomething(begin, end)) {
            // Hidden as browsers without scripts read it; with scripts it is text that nothing shows.
            inNoScript_ = true;
            ownNoScript_ = lastStartTag_ == kMailCodeNoScriptStart;
            const bool read = exact && !optOut_ && ReadNoScriptContent(page_, begin, end, *this);
            inNoScript_ = false;
            if (read) return;
        }
        std::string where;
        if (kind == TextKind::kData) {
            where = "text";
        } else if (kind == TextKind::kCData) {
            where = "CDATA";
        } else if (element == "script") {
            where = ScriptKind();
            if (reading_->instantNavigation.empty() && !inNoScript_ &&
                Slice(page_, begin, end).find("navigation.instant") != std::string_view::npos) {
                reading_->instantNavigation = "instant loading (navigation.instant)";
                reading_->instantNavigationOffset = begin;
            }
        } else {
            where = std::string(element);
        }
        const bool decoded = kind == TextKind::kData || kind == TextKind::kRcdata;
        const size_t first = reading_->addresses.size();
        Place(begin, end, [&] { return where; }, decoded, exact);
        if (kind == TextKind::kScriptData && where != "script" && exact && !optOut_) InJson(begin, end, first);
    }

    void Tag(const ReadTag& tag, bool exact) override {
        if (!tag.isEnd) {
            lastStartTag_ = Slice(page_, tag.begin, tag.end);
            const size_t n = tag.attributes.size();
            reading_->attributePairs += n * (n - (n ? 1 : 0)) / 2;
            lastType_ = (tag.roles & kRoleScript) ? ascii::Lowered(ascii::Trim(AttributeValue(page_, tag, "type"))) : "";
            if (!tag.foreign && (tag.roles & kRoleMeta) && !inNoScript_) Meta(tag);
            if (reading_->instantNavigation.empty() && !inNoScript_) {
                if (const char* mark = InstantNavigation(page_, tag)) {
                    reading_->instantNavigation = mark;
                    reading_->instantNavigationOffset = tag.begin;
                }
            }
        }
        // Names are made only for a place that holds an address: most tags hold none.
        const auto tagName = [&] { return "tag <" + std::string(tag.isEnd ? "/" : "") + ascii::Printable(tag.name) + ">"; };
        // The code's own NOSCRIPT anchor, as the generator writes it.
        const bool own = inNoScript_ && ownNoScript_ && !tag.isEnd &&
                         page_.compare(tag.begin, sizeof kMailCodeAnchorStart - 1, kMailCodeAnchorStart) == 0;
        size_t covered = tag.begin;
        for (const ReadAttribute& a : tag.attributes) {
            Place(covered, a.valueBegin > covered ? a.valueBegin : a.nameEnd, tagName, false, exact);
            if (!a.hasValue) {
                covered = a.nameEnd;
                continue;
            }
            const bool href = (tag.roles & kRoleAnchor) && !tag.isEnd && ascii::EqualsNoCase(Slice(page_, a.nameBegin, a.nameEnd), "href");
            if (href) reading_->anchorHrefs.push_back(places_);
            const auto name = [&] { return "attribute " + ascii::Printable(ascii::Lowered(Slice(page_, a.nameBegin, a.nameEnd))); };
            if (own) {
                PlaceOwn(a.valueEnd, name);
            } else {
                Place(a.valueBegin, a.valueEnd, name, !tag.isEnd, exact);
                if (!tag.isEnd && exact && !optOut_) BrokenMailto(a.valueBegin, a.valueEnd);
            }
            covered = a.valueEnd;
        }
        Place(covered, tag.end, tagName, false, exact);
    }

    void Comment(size_t begin, size_t end) override {
        const std::string_view text = ascii::Trim(Slice(page_, begin, end));
        if (text == "email_off") optOut_ = true;
        if (text == "/email_off") optOut_ = false;
        Place(begin, end, [] { return std::string("comment"); }, false, true);
    }

    void Doctype(size_t begin, size_t end) override {
        Place(begin, end, [] { return std::string("doctype"); }, false, true);
    }

    // Addresses that no place took: inside a tag the page ends in.
    void Finish() {
        for (; next_ < addresses_.size(); ++next_) {
            reading_->addresses.push_back({addresses_[next_], "markup", Fate::kRaw, places_});
        }
    }

private:
    bool HoldsSomething(size_t begin, size_t end) const {
        const bool address = next_ < addresses_.size() && addresses_[next_].begin < end;
        const auto word = std::lower_bound(words_.begin(), words_.end(), begin);
        return address || (word != words_.end() && *word + 6 <= end);
    }

    std::string ScriptKind() const {
        if (lastType_ == "application/ld+json") return "JSON-LD";
        if (lastType_ == "application/json" || lastType_ == "importmap") return "JSON script";
        return "script";
    }

    void Meta(const ReadTag& tag) {
        bool hasCharset = false, hasEquiv = false, hasContent = false;
        const std::string_view declared = AttributeValue(page_, tag, "charset", &hasCharset);
        const std::string_view equiv = ascii::Trim(AttributeValue(page_, tag, "http-equiv", &hasEquiv));
        const std::string_view content = AttributeValue(page_, tag, "content", &hasContent);
        std::string_view name;
        if (hasCharset) {
            name = ascii::Trim(declared);
        } else if (hasEquiv && hasContent && ascii::EqualsNoCase(equiv, "content-type")) {
            name = CharsetInContentType(content);
        }
        if (!name.empty() && reading_->charsetName.empty()) {
            reading_->charset = ClassifyLabel(name);
            reading_->charsetName = std::string(name);
            reading_->charsetOffset = tag.begin;
        }
        if (hasEquiv && hasContent && ascii::EqualsNoCase(equiv, "content-security-policy") && !reading_->policyForbids &&
            PolicyForbidsInlineScript(content)) {
            reading_->policyForbids = true;
            reading_->policyOffset = tag.begin;
        }
    }

    // The addresses that start in [begin, end), and for a place that decodes
    // references the word "mailto:" in it; each place gets its own number.
    // `name` makes the place's name for the listing.
    template <typename Name>
    void Place(size_t begin, size_t end, const Name& name, bool decoded, bool exact) {
        const size_t place = places_++;
        for (; next_ < addresses_.size() && addresses_[next_].begin < end; ++next_) {
            const Span& span = addresses_[next_];
            if (span.begin < begin) {
                // It began in an earlier place and runs into this one.
                reading_->addresses.push_back({span, name(), Fate::kRaw, place});
                continue;
            }
            Fate fate = Fate::kRaw;
            if (decoded && span.end <= end) fate = optOut_ ? Fate::kOptOut : exact ? Fate::kHide : Fate::kInexact;
            reading_->addresses.push_back({span, name(), fate, place});
        }
        if (!decoded || !exact || optOut_) return;
        for (auto word = std::lower_bound(words_.begin(), words_.end(), begin); word != words_.end() && *word + 6 <= end; ++word) {
            if (*word + 7 <= end && page_[*word + 6] == ':') reading_->mailtos.push_back({{*word, *word + 7}, place});
        }
    }

    // A JSON script block that reads as JSON: each address placed in it from
    // `first` on that stands inside one of its strings can take \u0040.
    void InJson(size_t begin, size_t end, size_t first) {
        if (first == reading_->addresses.size()) return;
        std::string problem;
        const std::vector<Span> strings = JsonStrings(Slice(page_, begin, end), &problem);
        if (!problem.empty()) return;
        auto string = strings.begin();
        for (size_t i = first; i < reading_->addresses.size(); ++i) {
            PlacedAddress& a = reading_->addresses[i];
            while (string != strings.end() && begin + string->end <= a.span.begin) ++string;
            if (string != strings.end() && begin + string->begin <= a.span.begin && a.span.end <= begin + string->end) {
                a.fate = Fate::kJson;
            }
        }
    }

    // "mailto:" at the start of a URL with tabs or line breaks between its
    // letters (m\nailto:), which the URL parser drops: a mail link all the same.
    void BrokenMailto(size_t begin, size_t end) {
        size_t i = begin;
        while (i < end && static_cast<unsigned char>(page_[i]) <= ' ') ++i;
        const size_t start = i;
        bool broken = false;
        for (const char want : std::string_view("mailto:")) {
            while (i < end && (page_[i] == '\t' || page_[i] == '\n' || page_[i] == '\r')) {
                broken = true;
                ++i;
            }
            if (i >= end || ascii::Lower(page_[i]) != want) return;
            ++i;
        }
        if (broken) reading_->mailtos.push_back({{start, i}, places_ - 1});
    }

    template <typename Name>
    void PlaceOwn(size_t end, const Name& name) {
        const size_t place = places_++;
        for (; next_ < addresses_.size() && addresses_[next_].begin < end; ++next_) {
            reading_->addresses.push_back({addresses_[next_], name(), Fate::kOwnCode, place});
        }
    }

    std::string_view page_;
    const std::vector<Span>& addresses_;
    std::vector<size_t> words_;  // where "mailto" starts, any case
    PageReading* reading_;
    size_t next_ = 0;
    size_t places_ = 0;
    bool optOut_ = false;
    bool inNoScript_ = false;
    bool ownNoScript_ = false;
    std::string_view lastStartTag_;
    std::string lastType_;
};

bool IsValidUtf8(std::string_view bytes) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
        if (length == 0 || (c > 0xF4) || i + length > n) return false;
        for (size_t k = 1; k < length; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

}  // namespace

bool PageReading::IsAnchorHref(size_t place) const {
    return std::binary_search(anchorHrefs.begin(), anchorHrefs.end(), place);
}

void ReadPlaces(std::string_view page, const std::vector<Span>& addresses, PageReading* reading) {
    Placer placer(page, addresses, reading);
    ReadPage(page, placer);
    placer.Finish();
}

bool DoubleByteRisk(std::string_view page, Charset charset) {
    if (charset == Charset::kDoubleByte) return true;
    if (charset != Charset::kUndeclared) return false;
    return !IsValidUtf8(page);
}

void ReadPageAddresses(std::string_view page, PageReading* reading) {
    ReadPageAddresses(page, FindAddresses(page), reading);
}

void ReadPageAddresses(std::string_view page, const std::vector<Span>& addresses, PageReading* reading) {
    ReadPlaces(page, addresses, reading);
    const Charset charset = ByteOrderMark(page).charset == Charset::kUtf8 ? Charset::kUtf8 : reading->charset;
    if (!DoubleByteRisk(page, charset)) return;
    *reading = PageReading();
    ReadPlaces(page, FindAddresses(page, Letters::kAscii), reading);
    TrimAfterHighBytes(page, &reading->addresses);
}

void TrimAfterHighBytes(std::string_view page, std::vector<PlacedAddress>* addresses) {
    std::vector<PlacedAddress> kept;
    for (PlacedAddress& a : *addresses) {
        if (a.span.begin > 0 && static_cast<unsigned char>(page[a.span.begin - 1]) > 127) {
            ++a.span.begin;
            while (a.span.begin < a.span.end && page[a.span.begin] == '.') ++a.span.begin;
            if (a.span.begin >= a.span.end || page[a.span.begin] == '@') continue;
        }
        kept.push_back(std::move(a));
    }
    addresses->swap(kept);
}

}  // namespace site
