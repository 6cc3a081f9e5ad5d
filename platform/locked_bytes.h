// Bytes in memory that the system keeps out of swap and core dumps, fenced by guard
// pages and wiped when freed (libsodium's sodium_malloc). For keys and passwords.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quillet::platform {

class LockedBytes {
  public:
    LockedBytes() = default;
    explicit LockedBytes(std::size_t size);
    explicit LockedBytes(std::string_view bytes);
    LockedBytes(const LockedBytes& other) : LockedBytes(other.view()) {}
    LockedBytes(LockedBytes&& other) noexcept;
    LockedBytes& operator=(const LockedBytes& other);
    LockedBytes& operator=(LockedBytes&& other) noexcept;
    ~LockedBytes();

    std::uint8_t* data() { return data_; }
    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::string_view view() const { return {reinterpret_cast<const char*>(data_), size_}; }

  private:
    void release();

    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace quillet::platform
