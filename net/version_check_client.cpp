#include "net/version_check_client.h"

#include <atomic>
#include <utility>

#include "net/http_client.h"
#include "net/reply_fields.h"
#include "platform/text_codec.h"

#ifndef QUILLET_UPDATE_SERVICE
#error "QUILLET_UPDATE_SERVICE names the update service's base address"
#endif

namespace quillet::net {
namespace {

constexpr std::string_view kNotConnected = "请先调用实例方法【连接】进行初始化后才可以使用此方法";
constexpr size_t kVersionReplyFields = 5;
constexpr size_t kExampleReplyFields = 3;

}  // namespace

struct VersionCheckClient::Reply {
    bool connected = false;
    bool newer_version = false;
    bool second_flag = false;
    std::string download_address;
    std::string extra_text;
    std::string application_id;
    std::string version;
    bool example_loaded = false;
    std::string remark;
    std::string notice;
    std::string visit;
};

struct VersionCheckClient::Worker {
    std::thread thread;
    std::atomic<bool> finished = false;
};

VersionCheckClient::VersionCheckClient() : VersionCheckClient(QUILLET_UPDATE_SERVICE) {}

VersionCheckClient::VersionCheckClient(std::string base_address, int timeout_seconds)
    : base_address_(std::move(base_address)), timeout_seconds_(timeout_seconds), reply_(std::make_unique<Reply>()) {}

VersionCheckClient::~VersionCheckClient() {
    abandon_ = true;  // a check still waiting on the network gives up within about a second
    wait_for_background_checks();
}

void VersionCheckClient::set_message_sink(MessageSink sink) {
    std::lock_guard lock(mutex_);
    message_sink_ = std::move(sink);
}

void VersionCheckClient::connect(const std::string& application_id, const std::string& version) {
    run_check(application_id, version);
}

std::pair<bool, std::string> VersionCheckClient::run_check(const std::string& application_id,
                                                           const std::string& version) {
    const std::vector<std::string> fields =
        split_reply(request("/checkVersion?id=" + application_id + "&version=" + version));
    // An incomplete reply cannot be trusted field by field: it counts as "no newer version".
    const bool complete = fields.size() >= kVersionReplyFields;
    std::lock_guard lock(mutex_);
    Reply& reply = *reply_;
    reply.newer_version = complete && fields[0] == "true";
    reply.second_flag = complete && fields[1] == "true";
    reply.download_address = complete ? fields[3] : std::string();
    reply.extra_text = complete ? fields[4] : std::string();
    reply.application_id = application_id;
    reply.version = version;
    reply.connected = true;
    return {reply.newer_version, reply.download_address};
}

void VersionCheckClient::connect_in_background(std::string application_id, std::string version, CheckDone done) {
    std::lock_guard lock(workers_mutex_);
    std::erase_if(workers_, [](const std::unique_ptr<Worker>& worker) {
        if (!worker->finished) return false;
        worker->thread.join();  // it has ended already
        return true;
    });
    auto worker = std::make_unique<Worker>();
    Worker* self = worker.get();
    worker->thread = std::thread([this, self, id = std::move(application_id), version = std::move(version),
                                  done = std::move(done)] {
        auto [newer, address] = run_check(id, version);
        if (done) done(newer, address);
        self->finished = true;
    });
    workers_.push_back(std::move(worker));
}

void VersionCheckClient::wait_for_background_checks() {
    // Joined outside the lock: a `done` callback may start another check.
    for (;;) {
        std::vector<std::unique_ptr<Worker>> running;
        {
            std::lock_guard lock(workers_mutex_);
            running.swap(workers_);
        }
        if (running.empty()) return;
        for (auto& worker : running) worker->thread.join();
    }
}

std::string VersionCheckClient::request(const std::string& path) const {
    HttpRequest http;
    http.address = base_address_ + path;
    http.timeout_seconds = timeout_seconds_;
    http.abandon = &abandon_;
    HttpResponse response;
    http_request(http, &response);
    return platform::utf8_to_gbk(response.raw_body);
}

bool VersionCheckClient::check_connected() {
    MessageSink sink;
    {
        std::lock_guard lock(mutex_);
        if (reply_->connected) return true;
        sink = message_sink_;
    }
    if (sink) sink(std::string(kNotConnected));
    return false;
}

std::string VersionCheckClient::extra_text() {
    if (!check_connected()) return {};
    std::lock_guard lock(mutex_);
    return reply_->extra_text;
}

bool VersionCheckClient::has_newer_version() {
    if (!check_connected()) return false;
    std::lock_guard lock(mutex_);
    return reply_->newer_version;
}

bool VersionCheckClient::second_flag() {
    if (!check_connected()) return false;
    std::lock_guard lock(mutex_);
    return reply_->second_flag;
}

std::string VersionCheckClient::download_address() {
    if (!check_connected()) return {};
    std::lock_guard lock(mutex_);
    return reply_->download_address;
}

std::string VersionCheckClient::application_id() {
    if (!check_connected()) return {};
    std::lock_guard lock(mutex_);
    return reply_->application_id;
}

std::string VersionCheckClient::version_page_address() {
    if (!check_connected()) return {};
    std::lock_guard lock(mutex_);
    return base_address_ + "/checkVersion?id=" + reply_->application_id + "&html=true.html";
}

std::string VersionCheckClient::remark() { return check_connected() ? cached_or_query("remark") : std::string(); }
std::string VersionCheckClient::notice() { return check_connected() ? cached_or_query("notice") : std::string(); }
std::string VersionCheckClient::visit() { return check_connected() ? cached_or_query("visit") : std::string(); }

std::string VersionCheckClient::cached_or_query(const std::string& key) {
    {
        std::lock_guard lock(mutex_);
        const Reply& reply = *reply_;
        if (reply.example_loaded) return key == "remark" ? reply.remark : key == "notice" ? reply.notice : reply.visit;
    }
    return example_query(key);
}

std::string VersionCheckClient::example_query(const std::string& key) {
    if (!check_connected()) return {};
    std::string id;
    {
        std::lock_guard lock(mutex_);
        id = reply_->application_id;
    }
    const std::vector<std::string> fields = split_reply(request("/getExample?id=" + id + "&data=remark|notice|visit"));
    // An incomplete reply (the service unreachable, say) is not cached, so a later call asks again.
    if (fields.size() < kExampleReplyFields) return {};
    std::lock_guard lock(mutex_);
    Reply& reply = *reply_;
    reply.remark = fields[0];
    reply.notice = fields[1];
    reply.visit = fields[2];
    reply.example_loaded = true;
    if (key == "remark") return reply.remark;
    if (key == "notice") return reply.notice;
    if (key == "visit") return reply.visit;
    return {};
}

}  // namespace quillet::net
