// The update service's reply split into fields: the fields and separators account for
// every byte of the reply.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/reply_fields.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    std::size_t bytes = 0;
    const auto fields = quillet::net::split_reply(reply);
    for (const std::string& field : fields) bytes += field.size();
    if (bytes > reply.size()) std::abort();
    return 0;
}
