#include "db/rc4.h"

#include <utility>

namespace quillet::db {

void Rc4::schedule(const std::uint8_t* key, std::size_t length) {
    for (int n = 0; n < 256; ++n) s[n] = static_cast<std::uint8_t>(n);
    i = 0;
    j = 0;
    if (length == 0) return;
    std::uint8_t k = 0;
    std::size_t at = 0;
    for (int n = 0; n < 256; ++n) {
        k = static_cast<std::uint8_t>(k + s[n] + key[at]);
        std::swap(s[n], s[k]);
        if (++at == length) at = 0;
    }
}

void Rc4::generate(std::uint8_t* out, std::size_t length) {
    std::uint8_t a = i, b = j;
    for (std::size_t n = 0; n < length; ++n) {
        a = static_cast<std::uint8_t>(a + 1);
        const std::uint8_t x = s[a];
        b = static_cast<std::uint8_t>(b + x);
        const std::uint8_t y = s[b];
        s[a] = y;
        s[b] = x;
        out[n] = s[static_cast<std::uint8_t>(x + y)];
    }
    i = a;
    j = b;
}

void Rc4::discard(std::size_t count) {
    std::uint8_t sink[64];
    while (count > 0) {
        const std::size_t step = count < sizeof sink ? count : sizeof sink;
        generate(sink, step);
        count -= step;
    }
}

}  // namespace quillet::db
