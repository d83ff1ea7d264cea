// Allocation and moves of ByteString.
#include "ByteString.h"

#include <stdlib.h>
#include <string.h>

ByteView ByteView::FromCString(const char* text) {
    return ByteView(text, strlen(text));
}

ByteString::ByteString(size_t size) : data_(nullptr), size_(0) {
    if (size == static_cast<size_t>(-1)) {
        return;  // no room left for the terminator
    }
    data_ = static_cast<char*>(malloc(size + 1));
    if (data_ != nullptr) {
        size_ = size;
        data_[size] = '\0';
    }
}

ByteString::~ByteString() {
    free(data_);
}

ByteString::ByteString(ByteString&& other) noexcept : data_(other.data_), size_(other.size_) {
    other.data_ = nullptr;
    other.size_ = 0;
}

ByteString& ByteString::operator=(ByteString&& other) noexcept {
    if (this != &other) {
        free(data_);
        data_ = other.data_;
        size_ = other.size_;
        other.data_ = nullptr;
        other.size_ = 0;
    }
    return *this;
}

ByteString ByteString::Copy(ByteView bytes) {
    ByteString result(bytes.size);
    if (!result.Failed() && bytes.size != 0) {
        memcpy(result.data_, bytes.data, bytes.size);
    }
    return result;
}

void ByteString::Truncate(size_t newSize) {
    if (data_ != nullptr && newSize < size_) {
        size_ = newSize;
        data_[size_] = '\0';
    }
}
