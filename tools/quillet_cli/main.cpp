// quillet-cli: the program's records from a terminal, over the same files and code.
#include <cstdio>
#include <string_view>

#include "db/hooks.h"
#include "platform/process_privacy.h"
#include "platform/program_version.h"
#include "platform/text_codec.h"
#include "tools/quillet_cli/command_line.h"
#include "tools/quillet_cli/commands.h"
#include "tools/quillet_cli/console.h"

namespace quillet::cli {
namespace {

struct Command {
    std::string_view name;
    int (*run)(const CommandLine&);
    std::string_view usage;
    std::string_view help;
};

constexpr Command kCommands[] = {
    {"ls", run_ls, "ls [--platform TEXT] [--address TEXT]",
     "Lists the records as a table (ID, platform, account, address) in store order. --platform and\n"
     "--address keep the records whose field contains TEXT, letter case significant, as the\n"
     "program's queries do; an empty TEXT matches nothing. Both together keep records matching both.\n"},
    {"show", run_show, "show ID [--show-password]",
     "Shows every field of the record with this ID; the password only with --show-password.\n"},
    {"add", run_add, "add [--generate N]",
     "Adds a record, asking for platform, account, password, address and remark in turn (from\n"
     "standard input; the password without echo on a terminal, twice). --generate N makes an\n"
     "N-character password instead: letters, symbols and digits as the generator window mixes them.\n"
     "Limits: the password 123 bytes, every other field 255 bytes (GBK).\n"},
    {"edit", run_edit, "edit ID [--generate N]",
     "Changes the record with this ID, asking for each field; an empty answer keeps the current\n"
     "value. --generate N replaces the password with a generated one.\n"},
    {"rm", run_rm, "rm ID [--yes]", "Deletes the record with this ID after a question (--yes skips it).\n"},
    {"clip", run_clip, "clip ID [account|password|both]",
     "Copies the record's password (the default), account, or account and password separated by\n"
     "two spaces, to the clipboard, and waits 30 seconds; a password is then taken off the\n"
     "clipboard unless something else was copied meanwhile. Ctrl-C ends the wait at once. A\n"
     "password is marked so that clipboard managers keep no history of it. Needs a desktop session.\n"},
    {"generate", run_generate, "generate N [--no-upper] [--no-symbols] [--no-digits]",
     "Prints a random password of N characters (1 to 123): half letters of both cases, half of\n"
     "the rest symbols from ! @ # $ % ^ & * + -, digits for what remains, shuffled. --no-upper\n"
     "makes the letters lower case; --no-symbols leaves out symbols; --no-digits gives the\n"
     "digits' share to the letters. Needs no login.\n"},
    {"passwd", run_passwd, "passwd",
     "Changes the login password: asks the current one, then the new one twice (with\n"
     "--password-stdin: the current and the new one on the first two lines). data.edb is re-keyed\n"
     "and data.ini rewritten so that a crash at any moment leaves the old or the new password\n"
     "working. At most 16 characters, which the login window takes. A running program keeps its\n"
     "session password: log out and in there afterwards.\n"},
    {"recover", run_recover, "recover",
     "Sets a new login password when the old one is forgotten: asks the recovery code shown at\n"
     "the first set-up, then the new password twice (with --password-stdin: the code and the new\n"
     "password on the first two lines). The same crash-safe change as passwd; the code stays valid.\n"},
    {"recovery-code", run_recovery_code, "recovery-code",
     "Makes a new recovery code after a login and shows it once; the old code stops working.\n"},
    {"export", run_export, "export --csv FILE [--force]",
     "Writes every record to FILE as CSV (UTF-8, header row platform,account,password,address,\n"
     "remark), readable by you only. The passwords are in clear text. An existing FILE is only\n"
     "replaced with --force.\n"},
    {"import", run_import, "import --csv FILE --format FORMAT [--dry-run]",
     "Adds the records of a CSV file with new IDs, in one opening of the store. FORMAT names\n"
     "whose export the file is; columns are found by their header names:\n"
     "  quillet    platform, account, password, address, remark (what export writes)\n"
     "  keepassxc  Title, Username, Password, URL, Notes\n"
     "  bitwarden  name, login_username, login_password, login_uri, notes\n"
     "  chrome     name, username, password, url, note (if present)\n"
     "  firefox    url (its host becomes the platform), username, password\n"
     "A row that does not fit (password over 123 bytes, other fields over 255 bytes, text GBK\n"
     "cannot hold, a control character: only the remark may hold tabs and line breaks) is\n"
     "reported with its line number and left out. The other rows are still added, and the exit\n"
     "status is then 3: do not run the import again, or those records are added twice. With\n"
     "nothing added it is 1. A file over 64 MiB or 100,000 rows is refused whole.\n"
     "--dry-run checks the file and writes nothing (no login needed); rows left out make it 1.\n"},
    {"merge", run_merge, "merge FILE [--dry-run] [--password-stdin-other]",
     "Merges the records of another data.edb (another folder's, a backup) into this one, as a sync\n"
     "merges two machines' stores that share no earlier copy: records equal in all five fields\n"
     "count as one (under FILE's ID), every other record of both is kept, and a record here whose\n"
     "ID FILE gives another record gets a new ID. FILE opens with the login password, or with --password-stdin-other "
     "with\n"
     "the next line of standard input (after the login password with --password-stdin). Prints\n"
     "the changes record by record; the store is backed up first (data<date>.edb) and replaced in\n"
     "one step. --dry-run prints them and writes nothing.\n"},
    {"sync", run_sync, "sync [upload|download] [--dry-run] [--force]",
     "With the sync settings the program saved in ftp.ini (an FTP server, or a WebDAV URL such as\n"
     "https://host/remote.php/dav/files/USER/): sync alone downloads the server's copy, merges it\n"
     "with this one against data.sync.edb (the copy both last agreed on) as the sync window does,\n"
     "and uploads the result; --dry-run prints the changes a merge would make, record by record,\n"
     "and writes nothing. sync upload and sync download are the window's two buttons: a download\n"
     "is checked, backed up (data<date>.edb) and put in place in one step; an upload leaves the\n"
     "server a whole copy at every moment. Where the window would ask, they merge nothing and\n"
     "replace only with --force (changes on the other side since the last sync, a WebDAV copy\n"
     "older than the last one exchanged); otherwise nothing changes and the status is 1. A WebDAV\n"
     "folder gets data.edb.qlt, sealed under the login password (see unseal). No questions are\n"
     "asked: a server without TLS is used only when ftp.ini's zhengshu list holds your agreement\n"
     "to plain FTP for it, and a certificate no authority vouches for only when it is pinned\n"
     "there (connect once from the sync window).\n"},
    {"unseal", run_unseal, "unseal FILE [OUT] [--force]",
     "Writes the plain store held in a sealed copy (data.edb.qlt, as a WebDAV sync leaves on the\n"
     "server) to OUT, by default FILE without \".qlt\", readable by you only. FILE opens with the\n"
     "login password it was sealed under; no store of this directory is needed or touched. An\n"
     "existing OUT is only replaced with --force. A damaged or altered FILE is refused whole.\n"},
};

constexpr std::string_view kCommonHelp =
    "Options of every command:\n"
    "  --dir DIR          the directory holding data.ini and data.edb (default: the program's own,\n"
    "                     or ~/.local/share/quillet for a program installed under /usr)\n"
    "  --password-stdin   read the login password from the first line of standard input instead\n"
    "                     of asking on the terminal\n"
    "  --help             this command's help\n"
    "\n"
    "Exit status: 0 success, 1 a failure (wrong password, missing record, refused write, an import\n"
    "that added nothing), 2 a wrong command line, 3 an import that added some records and left\n"
    "rows out. Text on the terminal is UTF-8. No colours are used.\n";

void print_view(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void print_help() {
    print_view("usage: quillet-cli COMMAND [OPTIONS]\n\ncommands:\n");
    for (const Command& command : kCommands) {
        print_view("  ");
        print_view(command.usage);
        print_view("\n");
    }
    print_view(
        "\n\"quillet-cli COMMAND --help\" describes a command; \"quillet-cli --version\" prints the version.\n\n");
    print_view(kCommonHelp);
}

void print_command_help(const Command& command) {
    print_view("usage: quillet-cli ");
    print_view(command.usage);
    print_view("\n\n");
    print_view(command.help);
    print_view("\n");
    print_view(kCommonHelp);
}

}  // namespace

int main(int argc, char** argv) {
    // Passwords pass through this process: no core dump or tracer may copy them out.
    platform::keep_process_memory_private();
    // The engine's fatal report (a damaged store) goes to the terminal; the engine then
    // ends the process.
    db::set_fatal_report(
        [](const std::string& text) { std::fprintf(stderr, "%s\n", platform::gbk_to_utf8(text).c_str()); });
    CommandLine line;
    std::string error;
    if (!parse_command_line(argc, argv, &line, &error)) return usage_error(error);
    if (line.command.empty() && line.has("--version")) {
        std::printf("quillet-cli %.*s\n", static_cast<int>(platform::program_version().size()),
                    platform::program_version().data());
        return kExitOk;
    }
    if (line.command.empty() || line.command == "help") {
        if (line.command.empty() && !line.has("--help")) {
            print_help();
            return kExitUsage;
        }
        print_help();
        return kExitOk;
    }
    for (const Command& command : kCommands) {
        if (command.name != line.command) continue;
        if (line.has("--help")) {
            print_command_help(command);
            return kExitOk;
        }
        const int status = command.run(line);
        std::fflush(stdout);
        return status;
    }
    return usage_error("unknown command \"" + line.command + "\"");
}

}  // namespace quillet::cli

int main(int argc, char** argv) { return quillet::cli::main(argc, argv); }
