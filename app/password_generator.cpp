#include "app/password_generator.h"

#include <climits>
#include <cstdint>
#include <utility>

#include "platform/secure_random.h"

namespace quillet::app {
namespace {

constexpr std::string_view kSymbols = "!@#$%^&*+-";

char random_letter(bool upper) {
    const bool lower = !upper || platform::secure_random_below(2) == 1;
    return static_cast<char>((lower ? 'a' : 'A') + platform::secure_random_below(26));
}

char random_symbol() { return kSymbols[platform::secure_random_below(kSymbols.size())]; }

char random_digit() { return static_cast<char>('0' + platform::secure_random_below(10)); }

// Fisher-Yates: every order equally likely, in linear time.
void shuffle(std::string& text) {
    for (std::size_t i = text.size(); i > 1; --i) {
        const std::size_t j = platform::secure_random_below(static_cast<std::uint32_t>(i));
        std::swap(text[i - 1], text[j]);
    }
}

}  // namespace

PasswordComposition password_composition(int length, const PasswordClasses& classes) {
    PasswordComposition composition;
    if (length <= 0) return composition;
    composition.letters = classes.letters ? length / 2 : 0;
    composition.symbols = classes.symbols ? (length - composition.letters) / 2 : 0;
    composition.digits = length - composition.letters - composition.symbols;
    if (!classes.digits && classes.letters) {
        composition.letters += std::exchange(composition.digits, 0);
    } else if (!classes.digits && classes.symbols) {
        composition.symbols += std::exchange(composition.digits, 0);
    }
    return composition;
}

std::string generate_password(int length, const PasswordClasses& classes) {
    if (length <= 0 || length > kMaxGeneratedLength) return {};
    const PasswordComposition composition = password_composition(length, classes);
    std::string password;
    password.reserve(static_cast<std::size_t>(length));
    for (int i = 0; i < composition.letters; ++i) password += random_letter(classes.upper);
    for (int i = 0; i < composition.symbols; ++i) password += random_symbol();
    for (int i = 0; i < composition.digits; ++i) password += random_digit();
    shuffle(password);
    return password;
}

int parse_length(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
    long long value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = value * 10 + (text[pos] - '0');
        if (value > INT_MAX) {
            value = static_cast<long long>(INT_MAX) + 1;  // keeps the clamp exact for INT_MIN
        }
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

}  // namespace quillet::app
