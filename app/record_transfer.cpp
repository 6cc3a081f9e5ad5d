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

}  // namespace

std::string describe_limit(const FieldLimit& limit) {
    static const std::array<std::pair<std::string_view, std::string_view>, 5> english = {
        {{"平台", "platform"}, {"账号", "account"}, {"密码", "password"}, {"网址", "address"}, {"备注", "remark"}}};
    std::string_view name = limit.field;
    for (const auto& [gbk, word] : english) {
        if (gbk == limit.field) name = word;
    }
    return "the " + std::string(name) + " is longer than " + std::to_string(limit.max_bytes) + " bytes";
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

ImportPlan plan_import(std::string_view csv_utf8, CsvLayout layout) {
    ImportPlan plan;
    std::vector<CsvRow> rows;
    if (!parse_csv(csv_utf8, &rows, &plan.error)) return plan;
    if (rows.empty()) {
        plan.error = "the file has no header row";
        return plan;
    }
    const Columns columns = columns_of(layout);
    const std::vector<std::string>& header = rows.front().fields;
    std::array<int, 5> index{-1, -1, -1, -1, -1};
    for (std::size_t field = 0; field < columns.names.size(); ++field) {
        if (columns.names[field].empty()) continue;
        for (std::size_t i = 0; i < header.size(); ++i) {
            if (same_name(header[i], columns.names[field])) {
                index[field] = static_cast<int>(i);
                break;
            }
        }
        if (index[field] < 0 && !columns.optional[field]) {
            plan.error = "the header row has no \"" + std::string(columns.names[field]) + "\" column";
            return plan;
        }
    }

    constexpr std::size_t kAddress = 3;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const CsvRow& row = rows[r];
        std::array<std::string, 5> utf8;
        bool anything = false;
        for (std::size_t field = 0; field < utf8.size(); ++field) {
            const int i = index[field];
            if (i >= 0 && static_cast<std::size_t>(i) < row.fields.size()) utf8[field] = row.fields[i];
            anything = anything || !utf8[field].empty();
        }
        if (!anything) continue;
        if (columns.platform_from_address) utf8[0] = host_of(utf8[kAddress]);

        RecordText text;
        std::string* targets[] = {&text.platform, &text.account, &text.password, &text.address, &text.remark};
        bool held = true;
        for (std::size_t field = 0; field < utf8.size() && held; ++field) {
            std::optional<std::string> gbk = exact_gbk(utf8[field]);
            if (!gbk) {
                plan.rejected.push_back({row.line, "the " + std::string(kFieldNames[field]) +
                                                       " holds characters the store cannot keep (GBK)"});
                held = false;
            } else {
                *targets[field] = std::move(*gbk);
            }
        }
        wipe_text(utf8[2]);
        if (!held) continue;
        if (const std::optional<FieldLimit> limit = overlong_field(text)) {
            plan.rejected.push_back({row.line, describe_limit(*limit)});
            wipe_text(text.password);
            continue;
        }
        plan.records.push_back(std::move(text));
    }
    return plan;
}

}  // namespace quillet::app
