// Content-Security-Policy as it bears on the code: an inline script that calls document.write.
#include <string>

#include "Ascii.h"
#include "PageRules.h"

namespace site {

// True when a Content-Security-Policy stops the code's inline script or its document.write.
bool PolicyForbidsInlineScript(std::string_view policy) {
    std::string_view chosen;
    int rank = 0;  // script-src-elem before script-src before default-src
    bool trustedTypes = false;
    size_t start = 0;
    while (start <= policy.size()) {
        size_t end = policy.find(';', start);
        if (end == std::string_view::npos) end = policy.size();
        std::string_view directive = ascii::Trim(policy.substr(start, end - start));
        start = end + 1;
        size_t nameEnd = 0;
        while (nameEnd < directive.size() && !ascii::IsBlank(directive[nameEnd])) ++nameEnd;
        const std::string name = ascii::Lowered(directive.substr(0, nameEnd));
        const int thisRank = name == "script-src-elem" ? 3 : name == "script-src" ? 2 : name == "default-src" ? 1 : 0;
        if (thisRank > rank) {
            rank = thisRank;
            chosen = directive.substr(nameEnd);
        }
        if (name == "require-trusted-types-for") trustedTypes = true;
    }
    if (trustedTypes) return true;  // document.write of a plain string throws
    if (rank == 0) return false;
    bool unsafeInline = false;
    const std::string sources = ascii::Lowered(chosen);
    size_t i = 0;
    while (i < sources.size()) {
        while (i < sources.size() && ascii::IsBlank(sources[i])) ++i;
        size_t end = i;
        while (end < sources.size() && !ascii::IsBlank(sources[end])) ++end;
        const std::string source = sources.substr(i, end - i);
        i = end;
        if (source == "'unsafe-inline'") unsafeInline = true;
        // A nonce, a hash or 'strict-dynamic' makes browsers ignore 'unsafe-inline'.
        if (source.rfind("'nonce-", 0) == 0 || source.rfind("'sha256-", 0) == 0 ||
            source.rfind("'sha384-", 0) == 0 || source.rfind("'sha512-", 0) == 0 || source == "'strict-dynamic'") {
            return true;
        }
    }
    return !unsafeInline;
}

}  // namespace site
