// The client of the update-check service: asks whether a newer version exists and
// where to download it, plus a few service texts the program does not use yet.
//
// Thread-safe: the reply values are guarded by mutex_, and requests run outside it,
// so a getter never waits on the network. Checks started in the background are
// tracked under workers_mutex_ and waited for by the destructor.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace quillet::net {

inline constexpr std::string_view kApplicationId = "0f1e2d3c4b5a69788796a5b4c3d2e1f0";
inline constexpr int kRequestTimeoutSeconds = 2;

class VersionCheckClient {
public:
    // Shows a text to the user; net/ shows nothing itself. Called on the thread of the
    // guarded operation, without any lock held.
    using MessageSink = std::function<void(const std::string&)>;
    // Called on the worker thread once a background check has ended.
    using CheckDone = std::function<void(bool has_newer_version, const std::string& download_address)>;

    // The built-in service address.
    VersionCheckClient();
    // `base_address` ends in "/api"; request paths are appended to it.
    explicit VersionCheckClient(std::string base_address, int timeout_seconds = kRequestTimeoutSeconds);
    // Makes running requests give up, then waits for the background checks, so a client
    // must end before whatever their `done` callbacks use.
    ~VersionCheckClient();

    VersionCheckClient(const VersionCheckClient&) = delete;
    VersionCheckClient& operator=(const VersionCheckClient&) = delete;

    void set_message_sink(MessageSink sink);

    // The version check: asks the service and keeps its reply. A reply that is not
    // complete (fewer than five fields, an unreachable service) reads as "no newer
    // version" with empty texts.
    void connect(const std::string& application_id, const std::string& version);
    // Runs connect on a worker thread, then `done` with the outcome. Returns at once.
    void connect_in_background(std::string application_id, std::string version, CheckDone done);
    // Waits until every background check has ended and called its `done`.
    void wait_for_background_checks();

    // GET of the base address + `path` (GBK); the UTF-8 reply as GBK, empty on failure.
    std::string request(const std::string& path) const;

    // These need a connect first; before it they show "请先调用实例方法【连接】进行初始化后才可以使用此方法"
    // and give empty text or false.
    std::string extra_text();
    bool has_newer_version();
    bool second_flag();
    std::string download_address();
    std::string application_id();
    std::string version_page_address();
    // Cached after the first example query that got a complete reply.
    std::string remark();
    std::string notice();
    std::string visit();
    // "remark", "notice" or "visit"; any other key gives empty text.
    std::string example_query(const std::string& key);

private:
    struct Reply;
    struct Worker;

    // Connects and returns the outcome read under the same lock.
    std::pair<bool, std::string> run_check(const std::string& application_id, const std::string& version);
    bool check_connected();
    std::string cached_or_query(const std::string& key);

    const std::string base_address_;
    const int timeout_seconds_;
    std::atomic<bool> abandon_{false};

    std::mutex mutex_;
    std::unique_ptr<Reply> reply_;  // guarded by mutex_
    MessageSink message_sink_;      // guarded by mutex_

    std::mutex workers_mutex_;
    std::vector<std::unique_ptr<Worker>> workers_;  // guarded by workers_mutex_
};

}  // namespace quillet::net
