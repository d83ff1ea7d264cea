// A gumbo parse held within caps on page size, nesting depth and memory, with every byte of it freed at once.
#ifndef QUORVANE_SITE_PARSE_H
#define QUORVANE_SITE_PARSE_H

#include <stddef.h>

#include <string_view>

#include "Site.h"
#include "gumbo.h"

namespace site {

class Parse {
public:
    // Parses a copy of `page`; Root() is null when a cap stopped it (see CapReached()).
    explicit Parse(std::string_view page);
    ~Parse();
    Parse(const Parse&) = delete;
    Parse& operator=(const Parse&) = delete;

    const GumboNode* Root() const { return root_; }
    Cap CapReached() const { return cap_; }
    size_t MemoryUsed() const { return reserved_; }

    // Byte offset in the page of a pointer into gumbo's original_* texts.
    size_t Offset(const char* p) const { return static_cast<size_t>(p - copy_); }

    // Called from gumbo's allocator and token hook; leave by a long jump when a cap is reached.
    void* Allocate(size_t size);
    void AfterToken(unsigned int openElements);

    struct Chunk;

private:
    // Never inlined: __builtin_longjmp may not run in the function that called __builtin_setjmp.
    [[noreturn]] __attribute__((noinline)) void Stop(Cap cap);

    Chunk* chunks_ = nullptr;
    char* next_ = nullptr;
    char* end_ = nullptr;
    size_t reserved_ = 0;
    size_t memoryCap_ = 0;
    const char* copy_ = nullptr;
    const GumboNode* root_ = nullptr;
    Cap cap_ = Cap::kNone;
    void* jump_[5];
};

}  // namespace site

#endif
