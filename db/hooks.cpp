#include "db/hooks.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "db/engine.h"

namespace quillet::db {
namespace {

std::mutex g_hooks_mutex;
PasswordPrompt g_prompt;
FatalReport g_report;

}  // namespace

void set_password_prompt(PasswordPrompt prompt) {
    std::lock_guard<std::mutex> guard(g_hooks_mutex);
    g_prompt = std::move(prompt);
}

void set_fatal_report(FatalReport report) {
    std::lock_guard<std::mutex> guard(g_hooks_mutex);
    g_report = std::move(report);
}

bool prompt_password(int tries_left, std::string* password) {
    PasswordPrompt prompt;
    {
        std::lock_guard<std::mutex> guard(g_hooks_mutex);
        prompt = g_prompt;
    }
    password->clear();
    return prompt && prompt(tries_left, password);
}

void raise_runtime_error(const std::string& message) {
    const std::string text = "运行时出错!\n\n错误信息：" + message;
    FatalReport report;
    {
        std::lock_guard<std::mutex> guard(g_hooks_mutex);
        report = g_report;
    }
    if (report) {
        report(text);
    } else {
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fputc('\n', stderr);
    }
    std::fflush(nullptr);
    // Not exit(): other threads may still be inside the engine, and static destructors
    // must not run under them.
    std::_Exit(-1);
}

}  // namespace quillet::db
