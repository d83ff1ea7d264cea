// Runs gumbo on an arena: the caps stop it by a long jump, and the whole tree goes with one walk over the arena's chunks.
#include "Parse.h"

#include <stdlib.h>
#include <string.h>

#include <atomic>

#if defined(__SANITIZE_ADDRESS__)
#define QUORVANE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVANE_ASAN 1
#endif
#endif
#ifdef QUORVANE_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace site {

size_t MemoryCap(size_t pageBytes) { return kMemoryCapBase + kMemoryCapPerByte * pageBytes; }

unsigned long long AttributePairsCap(size_t pageBytes) {
    return kAttributePairsBase + kAttributePairsPerByte * static_cast<unsigned long long>(pageBytes);
}

namespace {

const size_t kAlign = 16;
// Blocks come from chunks of one size, kept for the next parse (up to
// kKeptChunks for the whole process, however many threads parse): pages of a
// site are parsed one after another, and fresh memory costs a page fault per
// 4 KB. A larger block gets a chunk of its own, freed after the parse.
const size_t kChunkSize = 1024 * 1024;
const size_t kKeptChunks = 16;

void* GumboAllocate(void* userdata, size_t size) { return static_cast<Parse*>(userdata)->Allocate(size); }
// Nothing is freed one by one: the arena goes as a whole.
void GumboFree(void*, void*) {}
void GumboTokenHook(void* userdata, unsigned int openElements) {
    static_cast<Parse*>(userdata)->AfterToken(openElements);
}

}  // namespace

struct Parse::Chunk {
    Chunk* previous;
    size_t size;
};

namespace {

// The kept chunks of all threads. A spin lock: each holder only moves a
// pointer or two, and the platform's mutexes differ.
class KeptChunks {
public:
    Parse::Chunk* Take() {
        Hold();
        Parse::Chunk* chunk = top_;
        if (chunk != nullptr) {
            top_ = chunk->previous;
            --count_;
        }
        busy_.clear(std::memory_order_release);
        return chunk;
    }
    // False when enough are kept: the caller frees it.
    bool Keep(Parse::Chunk* chunk) {
        Hold();
        const bool kept = count_ < kKeptChunks;
        if (kept) {
            chunk->previous = top_;
            top_ = chunk;
            ++count_;
        }
        busy_.clear(std::memory_order_release);
        return kept;
    }

private:
    void Hold() {
        while (busy_.test_and_set(std::memory_order_acquire)) {
        }
    }
    std::atomic_flag busy_ = ATOMIC_FLAG_INIT;
    Parse::Chunk* top_ = nullptr;
    size_t count_ = 0;
};
KeptChunks kept;

}  // namespace

Parse::Parse(std::string_view page) {
    if (page.size() > kMaxPageBytes) {
        cap_ = Cap::kPageSize;
        return;
    }
    memoryCap_ = MemoryCap(page.size());

    GumboOptions options = kGumboDefaultOptions;
    options.allocator = GumboAllocate;
    options.deallocator = GumboFree;
    options.userdata = this;
    options.token_hook = GumboTokenHook;
    // No error records: at depth d each parse error copied the d open
    // elements, 767 MB for 50 KB of nested <div>; nothing here reads them.
    options.max_errors = 0;

    // __builtin_setjmp rather than setjmp: mingw's x86-64 longjmp unwinds
    // the stack through each frame, and gumbo's and the project's Windows
    // objects carry no unwind tables.
    if (__builtin_setjmp(jump_) != 0) {
        root_ = nullptr;
        return;
    }
    // gumbo reads one byte past an input that does not end in a NUL: it gets
    // a copy with one, in the arena. The copy is also what the offsets of
    // the original texts point into.
    char* copy = static_cast<char*>(Allocate(page.size() + 1));
    if (!page.empty()) {
        memcpy(copy, page.data(), page.size());
    }
    copy[page.size()] = '\0';
    copy_ = copy;
    GumboOutput* output = gumbo_parse_with_options(&options, copy, page.size());
    root_ = output->document;
}

Parse::~Parse() {
    while (chunks_ != nullptr) {
#ifdef QUORVANE_ASAN
        ASAN_UNPOISON_MEMORY_REGION(chunks_, sizeof(Chunk));
#endif
        Chunk* previous = chunks_->previous;
        if (chunks_->size != kChunkSize || !kept.Keep(chunks_)) free(chunks_);
        chunks_ = previous;
    }
}

void* Parse::Allocate(size_t size) {
    const size_t header = (sizeof(Chunk) + kAlign - 1) & ~(kAlign - 1);
#ifdef QUORVANE_ASAN
    // Under the address sanitizer each block is a heap block of its own, of
    // the exact size, so that a read past one (gumbo's, or one past the
    // page's copy) is caught as it would be without the arena.
    if (header + size > memoryCap_ - reserved_) {
        Stop(Cap::kMemory);
    }
    Chunk* block = static_cast<Chunk*>(malloc(header + size));
    if (block == nullptr) {
        Stop(Cap::kMemory);
    }
    block->previous = chunks_;
    block->size = 0;  // never kept
    chunks_ = block;
    reserved_ += header + size;
    ASAN_POISON_MEMORY_REGION(block, header);
    return reinterpret_cast<char*>(block) + header;
#else
    size = (size + kAlign - 1) & ~(kAlign - 1);
    if (size > static_cast<size_t>(end_ - next_)) {
        const bool own = size > kChunkSize / 4;
        const size_t chunkSize = own ? header + size : kChunkSize;
        if (chunkSize > memoryCap_ - reserved_) {
            Stop(Cap::kMemory);
        }
        Chunk* chunk = own ? nullptr : kept.Take();
        if (chunk == nullptr) {
            chunk = static_cast<Chunk*>(malloc(chunkSize));
            if (chunk == nullptr) {
                Stop(Cap::kMemory);
            }
            chunk->size = chunkSize;
        }
        chunk->previous = chunks_;
        chunks_ = chunk;
        reserved_ += chunkSize;
        char* start = reinterpret_cast<char*>(chunk) + header;
        if (own) {
            // The current chunk stays the one to fill; the block has its own.
            return start;
        }
        next_ = start;
        end_ = reinterpret_cast<char*>(chunk) + chunkSize;
    }
    void* block = next_;
    next_ += size;
    return block;
#endif
}

void Parse::AfterToken(unsigned int openElements) {
    // Each token scans the open elements: with their number capped, a parse is linear in its tokens.
    if (openElements > kMaxDepth) {
        Stop(Cap::kDepth);
    }
}

void Parse::Stop(Cap cap) {
    cap_ = cap;
#ifdef QUORVANE_ASAN
    // The frames jumped over keep their poisoned stack redzones otherwise.
    __asan_handle_no_return();
#endif
    __builtin_longjmp(jump_, 1);
}

}  // namespace site
