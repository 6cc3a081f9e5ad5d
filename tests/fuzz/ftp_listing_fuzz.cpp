// Listing bodies as a server might send them, through both parsers.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ftp/listing_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    for (const auto& entry : quillet::ftp::parse_mlsd(body)) {
        if (entry.size < 0 && entry.name.empty()) return 0;  // keeps the result in use
    }
    const quillet::platform::LocalTime now{2021, 10, 6, 12, 0, 0, 0};
    quillet::ftp::parse_list(body, now);
    return 0;
}
