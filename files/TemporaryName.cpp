// Temporary names with four check letters over their eight random ones.
#include "TemporaryName.h"

namespace files {

namespace {

const char kPrefix[] = ".quorvane-";
const char kSuffix[] = ".tmp";
const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
const size_t kRandom = 8;
const size_t kCheck = 4;

// FNV-1a over the random letters, after a word of the tool's own: 36^4 ways, so one name in 1.7 million
// that was not made here passes by chance.
std::string CheckLetters(std::string_view random) {
    unsigned long long hash = 0xcbf29ce484222325ULL;
    for (const char c : std::string_view("quorvane-temporary:")) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    for (const char c : random) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    std::string check;
    for (size_t i = 0; i < kCheck; ++i, hash /= 36) check += kDigits[hash % 36];
    return check;
}

}  // namespace

std::string MakeTemporaryName(unsigned long long seed) {
    seed ^= seed >> 33, seed *= 0xFF51AFD7ED558CCDULL, seed ^= seed >> 33;
    std::string random;
    for (size_t i = 0; i < kRandom; ++i, seed /= 36) random += kDigits[seed % 36];
    return kPrefix + random + CheckLetters(random) + kSuffix;
}

bool IsOwnTemporaryName(std::string_view name) {
    const size_t prefix = sizeof kPrefix - 1, suffix = sizeof kSuffix - 1;
    if (name.size() != prefix + kRandom + kCheck + suffix || name.substr(0, prefix) != kPrefix ||
        name.substr(prefix + kRandom + kCheck) != kSuffix) {
        return false;
    }
    const std::string_view random = name.substr(prefix, kRandom);
    for (const char c : random) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'))) return false;
    }
    return name.substr(prefix + kRandom, kCheck) == CheckLetters(random);
}

}  // namespace files
