// The reversible transform for every secret the program stores as text: the login
// password in data.ini, the 密码 field of each record and the values of ftp.ini.
// Cipher text is two upper-case hex digits per plain byte (each XOR 0x10) followed by a
// nine-character check tag taken from the MD5 digest of the key. Pure functions.
#pragma once

#include <string>
#include <string_view>

namespace quillet::app {

// The key every stored value of the program is enciphered with.
inline constexpr std::string_view kCipherKey = "5830264917";

std::string encipher(std::string_view plain, std::string_view key);
// Empty text when the check tag does not match `key`. Never fails otherwise: stray
// characters in the digits are read by the same arithmetic as digits, and a zero byte
// ends the result.
std::string decipher(std::string_view cipher, std::string_view key);

}  // namespace quillet::app
