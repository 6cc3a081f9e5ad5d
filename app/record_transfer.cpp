#include "app/record_transfer.h"

#include <array>
#include <cctype>

#include "app/csv.h"
#include "app/session.h"
#include "app/text_cipher.h"
#include "platform/text_codec.h"

namespace quillet::app {
namespace {

// Header names of the five record texts in one layout, in RecordText's order; empty where
// the layout has no such column. The Firefox layout has no name column: the platform is
// the host of the address.
struct Columns {
    std::array<std::string_view, 5> names;
    std::array<bool, 5> optional{};
    bool platform_from_address = false;
};

constexpr std::array<std::string_view, 5> kFieldNames = {"platform", "account", "password", "address", "remark"};

Columns columns_of(CsvLayout layout) {
    switch (layout) {
        case CsvLayout::kQuillet:
            return {kFieldNames};
        case CsvLayout::kKeepassxc:
            return {{"Title", "Username", "Password", "URL", "Notes"}};
        case CsvLayout::kBitwarden:
            return {{"name", "login_username", "login_password", "login_uri", "notes"}};
        case CsvLayout::kChrome:
            // Older exports have no note column.
            return {{"name", "username", "password", "url", "note"}, {false, false, false, false, true}};
        case CsvLayout::kFirefox:
            return {{"", "username", "password", "url", ""}, {}, true};
    }
    return {};
}

bool same_name(std::string_view a, std::string_view b) {
    auto trim = [](std::string_view s) {
        while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
        while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
        return s;
    };
    a = trim(a);
    b = trim(b);
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// "https://user@mail.example.com:8080/x" gives "mail.example.com".
std::string host_of(std::string_view address) {
    if (const std::size_t scheme = address.find("://"); scheme != std::string_view::npos) {
        address.remove_prefix(scheme + 3);
    }
    address = address.substr(0, address.find_first_of("/?#"));
    if (const std::size_t at = address.rfind('@'); at != std::string_view::npos) address.remove_prefix(at + 1);
    if (!address.empty() && address.front() != '[') address = address.substr(0, address.find(':'));
    return std::string(address);
}

constexpr std::size_t kPassword = 2;
constexpr std::size_t kAddress = 3;
constexpr std::size_t kRemark = 4;

std::string longer_than(std::string_view field, int max_bytes) {
    return "the " + std::string(field) + " is longer than " + std::to_string(max_bytes) + " bytes";
}

// The first control character in `text`, where the record window's boxes would not hold
// one: none in a one-line box, only tab and line breaks in the remark's.
std::optional<unsigned char> control_character(std::string_view text, bool multi_line) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) continue;
        if (multi_line && (c == '\t' || c == '\r' || c == '\n')) continue;
        return byte;
    }
    return std::nullopt;
}

// Why a field's text cannot be kept as it is, or nothing; `*gbk` receives it when it can.
std::optional<std::string> field_problem(std::size_t field, std::string_view utf8, bool cut, std::string* gbk) {
    const std::string_view name = kFieldNames[field];
    if (cut) return longer_than(name, field == kPassword ? kMaxPasswordBytes : kTextFieldWidth);
    if (const std::optional<unsigned char> control = control_character(utf8, field == kRemark)) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        return "the " + std::string(name) + " holds a control character (byte 0x" + kHex[*control >> 4] +
               kHex[*control & 0xF] + ")";
    }
    std::optional<std::string> exact = exact_gbk(utf8);
    if (!exact) return "the " + std::string(name) + " holds characters the store cannot keep (GBK)";
    *gbk = std::move(*exact);
    return std::nullopt;
}

// Adds the row's record to the plan, or the reason it cannot be one.
void plan_row(int line, const std::array<std::string, 5>& utf8, const std::array<bool, 5>& cut, ImportPlan* plan) {
    RecordText text;
    std::string* targets[] = {&text.platform, &text.account, &text.password, &text.address, &text.remark};
    for (std::size_t field = 0; field < utf8.size(); ++field) {
        if (std::optional<std::string> problem = field_problem(field, utf8[field], cut[field], targets[field])) {
            plan->rejected.push_back({line, std::move(*problem)});
            wipe_text(text.password);
            return;
        }
    }
    if (const std::optional<FieldLimit> limit = overlong_field(text)) {
        plan->rejected.push_back({line, describe_limit(*limit)});
        wipe_text(text.password);
        return;
    }
    plan->records.push_back(std::move(text));
}

}  // namespace

std::string describe_limit(const FieldLimit& limit) {
    static const std::array<std::pair<std::string_view, std::string_view>, 5> english = {
        {{"平台", "platform"}, {"账号", "account"}, {"密码", "password"}, {"网址", "address"}, {"备注", "remark"}}};
    std::string_view name = limit.field;
    for (const auto& [gbk, word] : english) {
        if (gbk == limit.field) name = word;
    }
    return longer_than(name, limit.max_bytes);
}

std::optional<CsvLayout> csv_layout_named(std::string_view name) {
    static constexpr std::pair<std::string_view, CsvLayout> kNames[] = {{"quillet", CsvLayout::kQuillet},
                                                                        {"keepassxc", CsvLayout::kKeepassxc},
                                                                        {"bitwarden", CsvLayout::kBitwarden},
                                                                        {"chrome", CsvLayout::kChrome},
                                                                        {"firefox", CsvLayout::kFirefox}};
    for (const auto& [known, layout] : kNames) {
        if (known == name) return layout;
    }
    return std::nullopt;
}

std::string export_csv(const std::vector<Record>& records) {
    std::string csv = csv_line({kFieldNames.begin(), kFieldNames.end()});
    for (const Record& record : records) {
        std::string password = decipher(record.password_cipher, kCipherKey);
        std::vector<std::string> fields = {platform::gbk_to_utf8(record.platform),
                                           platform::gbk_to_utf8(record.account), platform::gbk_to_utf8(password),
                                           platform::gbk_to_utf8(record.address), platform::gbk_to_utf8(record.remark)};
        csv += csv_line(fields);
        wipe_text(password);
        wipe_text(fields[2]);  // a secret
    }
    return csv;
}

std::optional<std::string> exact_gbk(std::string_view utf8) {
    std::string gbk = platform::utf8_to_gbk(utf8);
    if (platform::gbk_to_utf8(gbk) != utf8) return std::nullopt;
    return gbk;
}

ImportPlan plan_import(CsvSource source, CsvLayout layout, const CsvLimits& limits) {
    ImportPlan plan;
    CsvReader reader(std::move(source), limits);
    CsvRow row;
    if (!reader.next(&row)) {
        plan.error = reader.error().empty() ? "the file has no header row" : reader.error();
        return plan;
    }
    const Columns columns = columns_of(layout);
    std::array<int, 5> index{-1, -1, -1, -1, -1};
    for (std::size_t field = 0; field < columns.names.size(); ++field) {
        if (columns.names[field].empty()) continue;
        for (std::size_t i = 0; i < row.fields.size(); ++i) {
            if (same_name(row.fields[i], columns.names[field])) {
                index[field] = static_cast<int>(i);
                break;
            }
        }
        if (index[field] < 0 && !columns.optional[field]) {
            plan.error = "the header row has no \"" + std::string(columns.names[field]) + "\" column";
            return plan;
        }
    }

    while (reader.next(&row)) {
        std::array<std::string, 5> utf8;
        std::array<bool, 5> cut{};
        bool anything = false;
        for (std::size_t field = 0; field < utf8.size(); ++field) {
            const int i = index[field];
            if (i >= 0 && static_cast<std::size_t>(i) < row.fields.size()) {
                utf8[field] = std::move(row.fields[i]);
                cut[field] = row.cut[i];
            }
            anything = anything || !utf8[field].empty();
        }
        for (std::string& unmapped : row.fields) wipe_text(unmapped);
        if (anything) {
            if (columns.platform_from_address) utf8[0] = host_of(utf8[kAddress]);
            plan_row(row.line, utf8, cut, &plan);
        }
        for (std::string& text : utf8) wipe_text(text);
    }
    if (!reader.error().empty()) {
        plan.error = reader.error();
        for (RecordText& text : plan.records) wipe_text(text.password);
        plan.records.clear();
        plan.rejected.clear();
    }
    return plan;
}

}  // namespace quillet::app
