#include "app/recovery_code.h"

#include "platform/secure_random.h"

namespace quillet::app {
namespace {

constexpr std::string_view kAlphabet = "23456789ABCDEFGHJKMNPQRSTUVWXYZ";  // 31 symbols
constexpr int kGroups = 7;
constexpr int kGroupSize = 4;  // 28 symbols: log2(31) * 28 = 138.7 bits

}  // namespace

std::string new_recovery_code() {
    std::string code;
    for (int group = 0; group < kGroups; ++group) {
        if (group > 0) code += '-';
        for (int i = 0; i < kGroupSize; ++i) {
            code += kAlphabet[platform::secure_random_below(static_cast<std::uint32_t>(kAlphabet.size()))];
        }
    }
    return code;
}

std::optional<std::string> normalized_recovery_code(std::string_view typed) {
    std::string code;
    for (char c : typed) {
        if (c == '-' || c == ' ') continue;
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (kAlphabet.find(c) == std::string_view::npos) return std::nullopt;
        code += c;
    }
    if (code.size() != static_cast<std::size_t>(kGroups * kGroupSize)) return std::nullopt;
    return code;
}

}  // namespace quillet::app
