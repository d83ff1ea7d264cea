// Owning byte string with an explicit length: the text type of the generator and its callers.
#ifndef QUORVANE_BYTESTRING_H
#define QUORVANE_BYTESTRING_H

#include <stddef.h>

// A read-only window onto bytes that someone else owns. Any byte value,
// zero included, may stand inside; nothing is converted.
struct ByteView {
    const char* data;
    size_t size;

    ByteView() : data(""), size(0) {}
    ByteView(const char* bytes, size_t length) : data(bytes), size(length) {}
    // For string literals and other zero-terminated texts.
    static ByteView FromCString(const char* text);
};

// The bytes are kept with one extra zero byte behind them, so that data()
// can go straight to an API that wants a zero-terminated string. Memory
// comes from malloc rather than operator new: the Windows program links no
// C++ exception support, and a failed allocation is reported by Failed()
// instead of a throw.
class ByteString {
public:
    ByteString() : data_(nullptr), size_(0) {}
    // Room for exactly `size` bytes (contents undefined) plus the terminator.
    explicit ByteString(size_t size);
    ~ByteString();

    ByteString(ByteString&& other) noexcept;
    ByteString& operator=(ByteString&& other) noexcept;
    ByteString(const ByteString&) = delete;
    ByteString& operator=(const ByteString&) = delete;

    static ByteString Copy(ByteView bytes);

    // Drops the bytes from newSize on (no-op when not shorter) and moves the terminator.
    void Truncate(size_t newSize);

    bool Failed() const { return data_ == nullptr; }
    char* data() { return data_; }
    const char* data() const { return data_; }
    size_t size() const { return size_; }
    ByteView View() const { return ByteView(data_ ? data_ : "", size_); }

private:
    char* data_;
    size_t size_;
};

#endif
