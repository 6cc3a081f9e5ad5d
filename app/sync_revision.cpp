#include "app/sync_revision.h"

#include <charconv>

#include "platform/settings_file.h"

namespace quillet::app {
namespace {

constexpr const char* kSection = "ftp";
constexpr const char* kKey = "banben";

}  // namespace

std::uint64_t last_exchanged_revision(const std::string& settings_file) {
    const std::string text = platform::read_setting(settings_file, kSection, kKey);
    std::uint64_t revision = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), revision);
    return error == std::errc() && end == text.data() + text.size() ? revision : 0;
}

bool record_exchanged_revision(const std::string& settings_file, std::uint64_t revision) {
    return platform::write_setting(settings_file, kSection, kKey, std::to_string(revision));
}

platform::Status check_not_older(std::uint64_t revision, std::uint64_t last) {
    if (revision >= last) return {};
    return platform::Status::failure(kOlderRevision, "服务器上的数据比上次同步的旧");
}

}  // namespace quillet::app
