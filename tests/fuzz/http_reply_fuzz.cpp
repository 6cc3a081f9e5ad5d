// A reply's header block and the cookie texts, as a hostile server could shape them.
// The input's first NUL, if any, separates the cookies sent from the headers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/http_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillet::net;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view sent = split == std::string_view::npos ? std::string_view() : input.substr(0, split);
    const std::string_view headers = split == std::string_view::npos ? input : input.substr(split + 1);
    status_of(headers);
    const std::string normalised = normalise_set_cookie(headers);
    const std::string received = cookies_set_by(normalised);
    redirect_target_of(normalised);
    merge_cookies(sent, received);
    return 0;
}
