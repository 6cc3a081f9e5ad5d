#include "db/names.h"

namespace quillet::db {
namespace {

enum class CharClass { kLetter, kDigit, kOther };

bool is_ascii_letter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

CharClass double_byte_class(unsigned char lead, unsigned char trail) {
    if (lead == 0xA3) {
        if ((trail >= 0xC1 && trail <= 0xDA) || (trail >= 0xE1 && trail <= 0xFA)) return CharClass::kLetter;
        if (trail >= 0xB0 && trail <= 0xB9) return CharClass::kDigit;
        return CharClass::kOther;
    }
    const bool gb2312_hanzi = lead >= 0xB0 && lead <= 0xF7 && trail >= 0xA1 && trail <= 0xFE;
    const bool gbk3_hanzi = lead >= 0x81 && lead <= 0xA0 && trail >= 0x40 && trail <= 0xFE && trail != 0x7F;
    const bool gbk4_hanzi = lead >= 0xAA && lead <= 0xFE && trail >= 0x40 && trail <= 0xA0 && trail != 0x7F;
    return gb2312_hanzi || gbk3_hanzi || gbk4_hanzi ? CharClass::kLetter : CharClass::kOther;
}

}  // namespace

bool is_valid_name(std::string_view gbk) {
    if (gbk.empty()) return false;
    bool first = true;
    for (std::size_t i = 0; i < gbk.size(); first = false) {
        const auto c = static_cast<unsigned char>(gbk[i]);
        CharClass kind;
        if (c >= 0x81 && c <= 0xFE) {
            if (i + 1 >= gbk.size()) return false;
            kind = double_byte_class(c, static_cast<unsigned char>(gbk[i + 1]));
            i += 2;
        } else {
            kind = is_ascii_letter(c) ? CharClass::kLetter : (c >= '0' && c <= '9') ? CharClass::kDigit : CharClass::kOther;
            ++i;
        }
        if (kind == CharClass::kOther || (first && kind != CharClass::kLetter)) return false;
    }
    return true;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto x = static_cast<unsigned char>(a[i]);
        auto y = static_cast<unsigned char>(b[i]);
        if (x >= 0x81 && x <= 0xFE && i + 1 < a.size()) {
            if (x != y || a[i + 1] != b[i + 1]) return false;
            ++i;
            continue;
        }
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

}  // namespace quillet::db
