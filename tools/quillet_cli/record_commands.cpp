// ls, show, add, edit and rm: the record store's operations, as the main list and the
// record window use them.
#include <algorithm>
#include <cstdio>
#include <set>

#include "app/password_generator.h"
#include "app/record_store.h"
#include "app/record_transfer.h"
#include "app/session.h"
#include "app/text_cipher.h"
#include "platform/terminal_password.h"
#include "platform/text_codec.h"
#include "tools/quillet_cli/commands.h"
#include "tools/quillet_cli/console.h"
#include "tools/quillet_cli/login.h"
#include "tools/quillet_cli/record_lookup.h"

namespace quillet::cli {
namespace {

using app::Record;
using app::RecordText;

// Wipes the login password when the command ends, on every path.
struct Password {
    ~Password() { app::wipe_text(text); }
    std::string text;
};

// The ID argument, the login and the record with that ID, in that order; an exit status
// other than kExitOk as soon as one of them fails.
int log_in_to_record(const CommandLine& line, std::int32_t* id, Password* password, std::optional<Record>* record) {
    if (const int status = parse_record_id(line, id); status != kExitOk) return status;
    if (const int status = log_in(line, &password->text); status != kExitOk) return status;
    *record = record_with_id(password->text, *id);
    return *record ? kExitOk : fail("no record with ID " + std::to_string(*id));
}

// Pads in GBK, where a double-byte character takes two columns on the terminal as it
// takes two bytes, then converts.
void print_table(const std::vector<Record>& records) {
    const std::vector<std::string> titles = {"ID", "Platform", "Account", "Address"};
    std::vector<std::vector<std::string>> rows = {titles};
    for (const Record& record : records) {
        rows.push_back({std::to_string(record.id), record.platform, record.account, record.address});
    }
    std::vector<std::size_t> widths(titles.size(), 0);
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        print_line(platform::gbk_to_utf8(line));
    }
}

int report_write(app::WriteResult result, const RecordText& text) {
    switch (result) {
        case app::WriteResult::kDone:
            return kExitOk;
        case app::WriteResult::kTooLong:
            if (const auto limit = app::overlong_field(text)) {
                return fail(app::describe_limit(*limit) + "; nothing was written");
            }
            break;
        case app::WriteResult::kNotFound:
            return fail("the record is gone (changed by someone else meanwhile?)");
        case app::WriteResult::kNoFreeId:
            return fail("no free record ID: the largest ID is already 2147483647; nothing was written");
        case app::WriteResult::kForeignStore:
            return fail("data.edb does not have the fields of a credential store; nothing was written");
        case app::WriteResult::kFailed:
            break;
    }
    return fail("the store refused the write");
}

// One prompted text in GBK. An empty answer keeps `current` when one is given.
bool ask_text(const std::string& prompt, const std::string* current, std::string* gbk) {
    std::string shown = prompt;
    if (current) shown += " [" + platform::gbk_to_utf8(*current) + "]";
    std::string typed;
    if (!read_input_line(shown + ": ", &typed)) {
        fail("the input ended before " + prompt);
        return false;
    }
    if (typed.empty() && current) {
        *gbk = *current;
        return true;
    }
    return to_store_text(typed, "the " + prompt, gbk);
}

// The record's password: generated with --generate N, or typed (twice on a terminal).
// With `keep` an empty answer keeps it. False when the exchange failed (reported).
bool ask_password(const CommandLine& line, const std::string* keep, std::string* gbk, int* status) {
    *status = kExitOk;
    if (line.has("--generate")) {
        int length = 0;
        if ((*status = parse_password_length(line.value("--generate"), &length)) != kExitOk) return false;
        *gbk = app::generate_password(length, app::PasswordClasses{});
        std::fprintf(stderr, "Generated a password of %d characters.\n", length);
        return true;
    }
    std::string typed;
    const std::string prompt = keep ? "Password (Enter keeps the current one): " : "Password: ";
    if (!read_secret_line(prompt, &typed)) {
        *status = fail("the input ended before the password");
        return false;
    }
    if (typed.empty() && keep) {
        *gbk = *keep;
        return true;
    }
    if (platform::standard_input_is_terminal()) {
        std::string repeated;
        const bool same = read_secret_line("Repeat the password: ", &repeated) && repeated == typed;
        app::wipe_text(repeated);
        if (!same) {
            app::wipe_text(typed);
            *status = fail("the passwords differ; nothing was written");
            return false;
        }
    }
    const bool converted = to_store_text(typed, "the password", gbk);
    app::wipe_text(typed);
    if (!converted) *status = kExitFailure;
    return converted;
}

// Prompts for the five texts; `current` gives the values an empty answer keeps.
int ask_record(const CommandLine& line, const RecordText* current, RecordText* text) {
    int status = kExitOk;
    if (!ask_text("platform", current ? &current->platform : nullptr, &text->platform) ||
        !ask_text("account", current ? &current->account : nullptr, &text->account)) {
        return kExitFailure;
    }
    if (!ask_password(line, current ? &current->password : nullptr, &text->password, &status)) return status;
    if (!ask_text("address", current ? &current->address : nullptr, &text->address) ||
        !ask_text("remark", current ? &current->remark : nullptr, &text->remark)) {
        return kExitFailure;
    }
    if (const auto limit = app::overlong_field(*text))
        return fail(app::describe_limit(*limit) + "; nothing was written");
    return kExitOk;
}

}  // namespace

int run_ls(const CommandLine& line) {
    std::string error;
    if (!only_options(line, {"--platform", "--address"}, &error)) return usage_error(error);
    if (!line.positional.empty()) return usage_error("ls takes no arguments");
    std::string platform_query, address_query;
    if (line.has("--platform") && !to_store_text(line.value("--platform"), "--platform", &platform_query)) {
        return kExitUsage;
    }
    if (line.has("--address") && !to_store_text(line.value("--address"), "--address", &address_query)) {
        return kExitUsage;
    }
    Password password;
    if (const int status = log_in(line, &password.text); status != kExitOk) return status;

    std::vector<Record> records;
    if (line.has("--platform")) {
        records = app::filter_records(password.text, app::SearchField::kPlatform, platform_query);
    } else if (line.has("--address")) {
        records = app::filter_records(password.text, app::SearchField::kAddress, address_query);
    } else {
        records = app::list_records(password.text);
    }
    if (line.has("--platform") && line.has("--address")) {
        std::set<std::int32_t> by_address;
        for (const Record& record : app::filter_records(password.text, app::SearchField::kAddress, address_query)) {
            by_address.insert(record.id);
        }
        std::erase_if(records, [&](const Record& record) { return by_address.count(record.id) == 0; });
    }
    print_table(records);
    return kExitOk;
}

int run_show(const CommandLine& line) {
    std::string error;
    if (!only_options(line, {"--show-password"}, &error)) return usage_error(error);
    std::int32_t id = 0;
    Password password;
    std::optional<Record> record;
    if (const int status = log_in_to_record(line, &id, &password, &record); status != kExitOk) return status;

    std::string shown = "(hidden; --show-password shows it)";
    if (line.has("--show-password")) {
        std::string clear = app::decipher(record->password_cipher, app::kCipherKey);
        shown = platform::gbk_to_utf8(clear);
        app::wipe_text(clear);
    }
    print_line("ID:       " + std::to_string(record->id));
    print_line("Platform: " + platform::gbk_to_utf8(record->platform));
    print_line("Account:  " + platform::gbk_to_utf8(record->account));
    print_line("Password: " + shown);
    print_line("Address:  " + platform::gbk_to_utf8(record->address));
    print_line("Remark:   " + platform::gbk_to_utf8(record->remark));
    app::wipe_text(shown);
    return kExitOk;
}

int run_add(const CommandLine& line) {
    std::string error;
    if (!only_options(line, {"--generate"}, &error)) return usage_error(error);
    if (!line.positional.empty()) return usage_error("add takes no arguments; it asks for each field");
    if (line.has("--generate")) {
        int length = 0;
        if (const int status = parse_password_length(line.value("--generate"), &length); status != kExitOk)
            return status;
    }
    Password password;
    if (const int status = log_in(line, &password.text); status != kExitOk) return status;
    RecordText text;
    const int asked = ask_record(line, nullptr, &text);
    if (asked != kExitOk) {
        app::wipe_text(text.password);
        return asked;
    }
    std::vector<std::int32_t> ids;
    const int status = report_write(app::add_records(password.text, {text}, &ids), text);
    app::wipe_text(text.password);
    if (status == kExitOk && !ids.empty()) print_line("Added record " + std::to_string(ids.front()) + ".");
    return status;
}

int run_edit(const CommandLine& line) {
    std::string error;
    if (!only_options(line, {"--generate"}, &error)) return usage_error(error);
    std::int32_t id = 0;
    Password password;
    std::optional<Record> record;
    if (const int status = log_in_to_record(line, &id, &password, &record); status != kExitOk) return status;

    RecordText current{record->platform, record->account, app::decipher(record->password_cipher, app::kCipherKey),
                       record->address, record->remark};
    RecordText text;
    int status = ask_record(line, &current, &text);
    if (status == kExitOk) status = report_write(app::modify_record(password.text, id, text), text);
    app::wipe_text(current.password);
    app::wipe_text(text.password);
    if (status == kExitOk) print_line("Changed record " + std::to_string(id) + ".");
    return status;
}

int run_rm(const CommandLine& line) {
    std::string error;
    if (!only_options(line, {"--yes"}, &error)) return usage_error(error);
    std::int32_t id = 0;
    Password password;
    std::optional<Record> record;
    if (const int status = log_in_to_record(line, &id, &password, &record); status != kExitOk) return status;
    if (!line.has("--yes")) {
        std::string answer;
        const std::string question = "Delete record " + std::to_string(id) + " (" +
                                     platform::gbk_to_utf8(record->platform) + " / " +
                                     platform::gbk_to_utf8(record->account) + ")? It cannot be undone. [y/N] ";
        if (!read_input_line(question, &answer) || (answer != "y" && answer != "Y" && answer != "yes")) {
            return fail("nothing deleted");
        }
    }
    const int status = report_write(app::delete_record(password.text, id), {});
    if (status == kExitOk) print_line("Deleted record " + std::to_string(id) + ".");
    return status;
}

}  // namespace quillet::cli
