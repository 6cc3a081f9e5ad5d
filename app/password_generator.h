// Random passwords for the record editor: digits, optionally mixed with letters of both
// cases and with symbols, in fixed shares and shuffled. Every draw comes from the
// operating system's unpredictable source.
#pragma once

#include <string>
#include <string_view>

namespace quillet::app {

// The record's password field holds an enciphered password of at most 123 bytes.
inline constexpr int kMaxGeneratedLength = 123;

struct PasswordComposition {
    int letters = 0;
    int symbols = 0;
    int digits = 0;
};

// The classes a password draws from. The window offers letters and symbols; the command
// line can also leave out upper-case letters or digits.
struct PasswordClasses {
    bool letters = true;
    bool upper = true;  // letters of both cases; lower case only when false
    bool symbols = true;
    bool digits = true;
};

// Letters take half of `length` (rounded down) when wanted, symbols half of the rest,
// digits what remains. Without digits their share goes to the letters, or to the symbols
// when there are no letters either; with no class at all the digits keep it. All zero
// when `length` is 0 or less.
PasswordComposition password_composition(int length, const PasswordClasses& classes);
inline PasswordComposition password_composition(int length, bool letters, bool symbols) {
    return password_composition(length, PasswordClasses{.letters = letters, .symbols = symbols});
}

// A password of `length` characters (1 to kMaxGeneratedLength) in the shares above, in
// random order; empty text for any other length.
std::string generate_password(int length, const PasswordClasses& classes);
inline std::string generate_password(int length, bool letters, bool symbols) {
    return generate_password(length, PasswordClasses{.letters = letters, .symbols = symbols});
}

// The length box's text as a number: an optional sign and the leading digits, 0 when
// there are none; values beyond the int range are clamped.
int parse_length(std::string_view text);

}  // namespace quillet::app
