// edb: inspect, check, export and repair data files without the program's windows.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "db/hooks.h"
#include "platform/console_program.h"
#include "platform/process_privacy.h"
#include "platform/program_version.h"
#include "platform/terminal_password.h"
#include "platform/text_codec.h"
#include "tools/edb/arguments.h"
#include "tools/edb/command_support.h"
#include "tools/edb/commands.h"
#include "tools/edb/password_input.h"

namespace quillet::edb {
namespace {

struct Command {
    std::string_view name;
    int (*run)(const Arguments&);
    std::string_view usage;
};

constexpr Command kCommands[] = {
    {"create", run_create, "create FILE NAME:TYPE[:WIDTH]...   make a new empty data file"},
    {"info", run_info, "info FILE [-p PASSWORD]            header and fields as one JSON object"},
    {"dump", run_dump, "dump FILE [-p PASSWORD]            every record as one JSON object a line"},
    {"append", run_append, "append FILE [-p PASSWORD] VALUE... add a record, values in field order"},
    {"delete", run_delete, "delete FILE [-p PASSWORD] RECORD   mark record RECORD (from 0) deleted"},
    {"undelete", run_undelete, "undelete FILE [-p PASSWORD] RECORD clear the deletion mark of RECORD"},
    {"purge", run_purge, "purge FILE [-p PASSWORD]           remove the records marked deleted"},
    {"passwd", run_passwd, "passwd FILE [-p OLD] [NEW]         set, change or (NEW \"\") remove the password"},
    {"check", run_check, "check FILE [-p PASSWORD]           check the file, every record and block chain"},
};

void print_help() {
    std::printf("usage: edb COMMAND ARGUMENTS\n\ncommands:\n  help                               this text\n"
                "  --version                          the version\n");
    for (const Command& command : kCommands)
        std::printf("  %.*s\n", static_cast<int>(command.usage.size()), command.usage.data());
    std::printf(
        "\nTYPE is one of byte short int long float double bool datetime subptr text bytes memo;\n"
        "text fields take a WIDTH in bytes. Texts are UTF-8 on the command line and in the output,\n"
        "byte-sets hexadecimal, date-times YYYY-MM-DD HH:MM:SS[.mmm] (or days since 1899-12-30).\n"
        "\"-p ?\" asks for the password on the terminal, \"-p -\" reads it from the first line of\n"
        "standard input. passwd without NEW asks for the new password on the terminal; NEW \"-\"\n"
        "reads it from the next line of standard input. A password typed on the command line\n"
        "can be seen by other users of the machine (ps) and stays in the shell's history.\n"
        "\nexit status: 0 success, 1 an engine failure or a problem found (code and message on\n"
        "standard error), 2 a wrong command line or value.\n");
}

// "-p ?": the engine asks up to three times; the retry count is shown from the second try.
bool ask_on_terminal(int tries_left, std::string* password) {
    std::string prompt = "Password: ";
    if (tries_left < 3) prompt = "Wrong password, " + std::to_string(tries_left) + " tries left. Password: ";
    std::string typed;
    if (!platform::read_terminal_password(prompt, &typed)) return false;
    *password = platform::utf8_to_gbk(typed);
    return true;
}

void report_fatal(const std::string& text) { std::fprintf(stderr, "%s\n", platform::gbk_to_utf8(text).c_str()); }

}  // namespace

int main(int argc, char** argv) {
    platform::keep_process_memory_private();
    db::set_password_prompt(ask_on_terminal);
    db::set_fatal_report(report_fatal);
    Arguments arguments;
    std::string error;
    if (!parse_arguments(argc, argv, &arguments, &error)) return report_usage_error(error);
    if (arguments.password == kStandardInput && !read_standard_input_line(&*arguments.password)) {
        return report_usage_error("-p -: standard input ended before a password line");
    }
    if (arguments.command == "--version") {
        std::printf("edb %.*s\n", static_cast<int>(platform::program_version().size()), platform::program_version().data());
        return kExitOk;
    }
    if (arguments.command.empty() || arguments.command == "help" || arguments.command == "--help" ||
        arguments.command == "-h") {
        print_help();
        return kExitOk;
    }
    for (const Command& command : kCommands) {
        if (command.name == arguments.command) return command.run(arguments);
    }
    return report_usage_error("unknown command \"" + arguments.command + "\"");
}

}  // namespace quillet::edb

int main(int argc, char** argv) {
    std::vector<std::string> arguments = quillet::platform::start_console_program(argc, argv);
    std::vector<char*> pointers;
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    return quillet::edb::main(static_cast<int>(arguments.size()), pointers.data());
}
