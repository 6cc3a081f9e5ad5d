#include "platform/locked_bytes.h"

#include <sodium.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/sodium_ready.h"

namespace quillet::platform {

LockedBytes::LockedBytes(std::size_t size) {
    if (size == 0) return;
    ensure_sodium_ready();
    data_ = static_cast<std::uint8_t*>(sodium_malloc(size));
    // Out of memory for a few bytes of key: nothing sensible can go on.
    if (data_ == nullptr) {
        std::fputs("out of memory for a secret\n", stderr);
        std::abort();
    }
    size_ = size;
    sodium_memzero(data_, size_);
}

LockedBytes::LockedBytes(std::string_view bytes) : LockedBytes(bytes.size()) {
    if (!bytes.empty()) std::memcpy(data_, bytes.data(), bytes.size());
}

LockedBytes::LockedBytes(LockedBytes&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

LockedBytes& LockedBytes::operator=(const LockedBytes& other) {
    if (this != &other) *this = LockedBytes(other);
    return *this;
}

LockedBytes& LockedBytes::operator=(LockedBytes&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

LockedBytes::~LockedBytes() { release(); }

void LockedBytes::release() {
    if (data_ != nullptr) sodium_free(data_);  // wipes before it frees
    data_ = nullptr;
    size_ = 0;
}

}  // namespace quillet::platform
