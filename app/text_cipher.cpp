#include "app/text_cipher.h"

#include "platform/md5.h"

namespace quillet::app {
namespace {

constexpr std::size_t kTagLength = 9;
constexpr unsigned char kMask = 0x10;

// Characters 3 to 11 of the key digest's hex form, letters upper-cased.
std::string check_tag(std::string_view key) {
    std::string tag = platform::md5_hex(key).substr(2, kTagLength);
    for (char& c : tag) {
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    }
    return tag;
}

// Reads any character as a digit: lower-case letters, upper-case letters and everything
// else by their own offsets, so lower-case hex reads like upper-case.
int digit_value(char c) {
    int code = static_cast<unsigned char>(c);
    if (code > 0x60) return code - 0x57;
    if (code > 0x40) return code - 0x37;
    return code - 0x30;
}

}  // namespace

std::string encipher(std::string_view plain, std::string_view key) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string cipher;
    cipher.reserve(plain.size() * 2 + kTagLength);
    for (char c : plain) {
        auto byte = static_cast<unsigned char>(static_cast<unsigned char>(c) ^ kMask);
        cipher += kDigits[byte >> 4];
        cipher += kDigits[byte & 0x0F];
    }
    return cipher + check_tag(key);
}

std::string decipher(std::string_view cipher, std::string_view key) {
    std::string_view tag = cipher.size() < kTagLength ? cipher : cipher.substr(cipher.size() - kTagLength);
    if (tag != check_tag(key)) return {};
    std::string body(cipher.substr(0, cipher.size() - kTagLength));
    if (body.size() % 2 != 0) body.insert(body.size() - 1, 1, '0');  // "ABC" reads as "AB0C"

    std::string plain;
    plain.reserve(body.size() / 2);
    for (std::size_t i = 0; i + 1 < body.size(); i += 2) {
        auto byte = static_cast<unsigned char>((digit_value(body[i]) * 16 + digit_value(body[i + 1])) & 0xFF);
        byte ^= kMask;
        if (byte == 0) break;
        plain += static_cast<char>(byte);
    }
    return plain;
}

}  // namespace quillet::app
