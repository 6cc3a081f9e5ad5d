// The development update service (scripts/update_service.py) run for a test, with
// its replies set from the test. Replies are GBK text, sent by the service as UTF-8.
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "platform/text_codec.h"
#include "tests/net/local_server.h"

namespace quillet::testing_support {

class UpdateService {
public:
    UpdateService()
        : replies_(std::filesystem::temp_directory_path() /
                   ("quillet_update_replies_" + std::to_string(std::random_device{}()) + ".json")) {
        set_replies("", "");
        server_ = std::make_unique<LocalServer>("scripts/update_service.py",
                                                std::vector<std::string>{"--exit-with-stdin", test::ScriptProcess::unix_path(replies_.string())});
    }
    ~UpdateService() {
        server_.reset();
        std::filesystem::remove(replies_);
    }

    // Replaced in one step, so the service never reads half a file.
    void set_replies(const std::string& check_version, const std::string& get_example, bool hold = false) {
        const std::filesystem::path staged = replies_.string() + ".new";
        {
            std::ofstream out(staged, std::ios::binary | std::ios::trunc);
            out << "{\"checkVersion\": \"" << json_text(check_version) << "\", \"getExample\": \""
                << json_text(get_example) << "\", \"hold\": " << (hold ? "true" : "false") << "}";
        }
        std::filesystem::rename(staged, replies_);
    }

    std::string base_address() const { return server_->address("/api"); }
    // The path of the next request the service received, as it logged it.
    std::string next_request() { return server_->next_line(); }
    LocalServer& server() { return *server_; }

private:
    static std::string json_text(const std::string& gbk) {
        std::string escaped;
        for (char c : platform::gbk_to_utf8(gbk)) {
            if (c == '"' || c == '\\') escaped += '\\';
            escaped += c;
        }
        return escaped;
    }

    std::filesystem::path replies_;
    std::unique_ptr<LocalServer> server_;
};

}  // namespace quillet::testing_support
