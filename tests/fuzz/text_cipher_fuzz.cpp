// Stored cipher texts may be edited by hand: deciphering anything must not fail, and
// what enciphering makes deciphers back. The trust list inside a deciphered value is
// read the same way.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/text_cipher.h"
#include "ftp/server_trust.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillet;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string plain = app::decipher(input, app::kCipherKey);
    ftp::parse_trust_list(plain);
    ftp::parse_trust_list(input);
    const std::string prefix = input.substr(0, input.find('\0'));
    if (app::decipher(app::encipher(prefix, app::kCipherKey), app::kCipherKey) != prefix) std::abort();
    return 0;
}
