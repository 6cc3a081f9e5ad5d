// unseal: the plain store out of a sealed copy (data.edb.qlt) fetched from a server, for a
// user who needs the store itself, on a machine that may hold no store of its own.
#include <cstdio>

#include "app/session.h"
#include "app/store_envelope.h"
#include "platform/file.h"
#include "platform/private_file.h"
#include "tools/quillet_cli/commands.h"
#include "tools/quillet_cli/console.h"
#include "tools/quillet_cli/login.h"

namespace quillet::cli {
namespace {

constexpr std::string_view kSealedSuffix = ".qlt";

std::string why_not_opened(const platform::Status& status, const std::string& file_utf8) {
    switch (status.code()) {
        case app::kEnvelopeNewerFormat:
            return file_utf8 + " was sealed by a newer version of the program; update quillet-cli";
        case app::kEnvelopeOtherPassword:
            return file_utf8 +
                   " does not open with this login password (it was sealed under another one, or is "
                   "damaged)";
        case app::kEnvelopeNoMemory:
            return "not enough memory to derive the key for " + file_utf8;
        case app::kEnvelopeUnreadable:
            return "could not read " + file_utf8;
        default:
            return file_utf8 + " is not a sealed store, or it is damaged or was tampered with";
    }
}

}  // namespace

int run_unseal(const CommandLine& line) {
    std::string error;
    if (!only_options(line, {"--force"}, &error)) return usage_error(error);
    if (line.positional.empty() || line.positional.size() > 2) return usage_error("unseal needs FILE [OUT]");
    const std::string file_utf8 = line.positional[0];
    std::string out_utf8;
    if (line.positional.size() == 2) {
        out_utf8 = line.positional[1];
    } else if (file_utf8.size() > kSealedSuffix.size() && file_utf8.ends_with(kSealedSuffix)) {
        out_utf8 = file_utf8.substr(0, file_utf8.size() - kSealedSuffix.size());
    } else {
        return usage_error(file_utf8 + " does not end in .qlt; name the file to write as OUT");
    }
    std::string file, out;
    if (!to_store_text(file_utf8, "the file name", &file) || !to_store_text(out_utf8, "the file name", &out)) {
        return kExitUsage;
    }
    if (platform::full_path(file) == platform::full_path(out)) return usage_error("OUT must not be FILE itself");
    // Checked before the password is asked; the write itself refuses atomically too.
    const bool force = line.has("--force");
    if (!force && (platform::is_existing_file(out) || platform::is_directory(out))) {
        return fail(out_utf8 + " exists; --force replaces it");
    }

    std::string password;
    if (const int status = read_login_password(line, &password); status != kExitOk) return status;
    std::uint64_t revision = 0;
    platform::LockedBytes store;
    const platform::Status opened = app::open_store_envelope_file(file, password, &revision, &store);
    app::wipe_text(password);
    if (!opened.ok()) return fail(why_not_opened(opened, file_utf8));
    if (!platform::write_private_file(out, store.view(), force)) {
        return fail("could not write " + out_utf8 + (force ? "" : " (does it exist?)"));
    }
    std::fprintf(stderr, "Unsealed %s (revision %llu) to %s.\n", file_utf8.c_str(),
                 static_cast<unsigned long long>(revision), out_utf8.c_str());
    return kExitOk;
}

}  // namespace quillet::cli
