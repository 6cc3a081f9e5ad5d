#include "net/version_check_client.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "net/update_request_version.h"
#include "platform/program_version.h"
#include "tests/net/update_service.h"

namespace quillet::net {
namespace {

using testing_support::LocalServer;
using testing_support::UpdateService;

const std::string kId(kApplicationId);
const std::string kVersion = update_request_version(platform::program_version());

class VersionCheckClientTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(service_.server().port(), 0) << "the update service did not start";
        client_.set_message_sink([this](const std::string& text) { messages_.push_back(text); });
    }

    // Connects with the program's identifier and version after setting the reply.
    void check(const std::string& reply) {
        service_.set_replies(reply, "");
        client_.connect(kId, kVersion);
        service_.next_request();
    }

    UpdateService service_;
    VersionCheckClient client_{service_.base_address(), 1};
    std::vector<std::string> messages_;
};

TEST_F(VersionCheckClientTest, AsksForTheProgramsVersionAndKeepsTheReply) {
    service_.set_replies("true|true|ignored|http://127.0.0.1/get|新版说明", "");
    client_.connect(kId, kVersion);
    EXPECT_EQ(service_.next_request(), "GET /api/checkVersion?id=0f1e2d3c4b5a69788796a5b4c3d2e1f0&version=1.0.01");
    EXPECT_TRUE(client_.has_newer_version());
    EXPECT_TRUE(client_.second_flag());
    EXPECT_EQ(client_.download_address(), "http://127.0.0.1/get");
    EXPECT_EQ(client_.extra_text(), "新版说明");
    EXPECT_EQ(client_.application_id(), kId);
    EXPECT_EQ(client_.version_page_address(),
              service_.base_address() + "/checkVersion?id=0f1e2d3c4b5a69788796a5b4c3d2e1f0&html=true.html");
    EXPECT_TRUE(messages_.empty());
}

TEST_F(VersionCheckClientTest, OnlyAnExactLowerCaseTrueMeansANewerVersion) {
    for (const std::string first : {"TRUE", "false", "True", " true"}) {
        check(first + "|true|x|http://127.0.0.1/get|notes");
        EXPECT_FALSE(client_.has_newer_version()) << first;
        EXPECT_TRUE(client_.second_flag());
    }
}

TEST_F(VersionCheckClientTest, IncompleteRepliesMeanNoNewerVersion) {
    for (const std::string reply : {"", "true", "true|true|x|http://127.0.0.1/get", "true|true|x|http://127.0.0.1/get|",
                                    "|||"}) {
        check(reply);
        EXPECT_FALSE(client_.has_newer_version()) << reply;
        EXPECT_FALSE(client_.second_flag());
        EXPECT_EQ(client_.download_address(), "");
    }
    EXPECT_TRUE(messages_.empty());  // connected all the same
}

TEST_F(VersionCheckClientTest, SplitsTheReplyByGbkCharacters) {
    // "眧" is B1 7C in GBK: its second byte is "|" and separates nothing.
    check("true||眧|http://127.0.0.1/眧|亅|諀");
    EXPECT_TRUE(client_.has_newer_version());
    EXPECT_FALSE(client_.second_flag());  // the empty second field still counts
    EXPECT_EQ(client_.download_address(), "http://127.0.0.1/眧");
    EXPECT_EQ(client_.extra_text(), "亅");
}

TEST_F(VersionCheckClientTest, GettersBeforeConnectShowTheGuardMessage) {
    EXPECT_FALSE(client_.has_newer_version());
    EXPECT_EQ(client_.download_address(), "");
    EXPECT_EQ(client_.remark(), "");
    EXPECT_EQ(client_.example_query("remark"), "");
    ASSERT_EQ(messages_.size(), 4u);
    EXPECT_EQ(messages_[0], "请先调用实例方法【连接】进行初始化后才可以使用此方法");
    EXPECT_EQ(client_.request("/checkVersion"), "");  // not guarded: the service answers an empty reply
    EXPECT_EQ(messages_.size(), 4u);
}

TEST_F(VersionCheckClientTest, ExampleQueryIsAskedOnceAndCached) {
    check("false|false|x||");
    service_.set_replies("", "备注|通知|访问");
    EXPECT_EQ(client_.notice(), "通知");
    EXPECT_EQ(service_.next_request(),
              "GET /api/getExample?id=0f1e2d3c4b5a69788796a5b4c3d2e1f0&data=remark|notice|visit");
    service_.set_replies("", "other|other|other");
    EXPECT_EQ(client_.remark(), "备注");
    EXPECT_EQ(client_.visit(), "访问");
    EXPECT_EQ(client_.example_query("remark"), "other");  // asked again when called explicitly
    EXPECT_EQ(client_.example_query("unknown"), "");
}

TEST_F(VersionCheckClientTest, AnIncompleteExampleReplyIsNotCached) {
    check("false|false|x||");
    service_.set_replies("", "only|two");
    EXPECT_EQ(client_.remark(), "");
    service_.set_replies("", "r|n|v");
    EXPECT_EQ(client_.remark(), "r");
}

TEST_F(VersionCheckClientTest, UnreachableOrSilentServicesEndWithinTheTimeout) {
    LocalServer gone("scripts/update_service.py", {"--exit-with-stdin", "/nonexistent.json"});
    VersionCheckClient refused(gone.address("/api"), 1);
    gone.stop();
    refused.connect(kId, kVersion);
    EXPECT_FALSE(refused.has_newer_version());

    service_.set_replies("true|true|x|http://127.0.0.1/get|n", "", /*hold=*/true);
    client_.connect(kId, kVersion);  // the 1-second timeout ends the wait
    EXPECT_FALSE(client_.has_newer_version());
}

TEST_F(VersionCheckClientTest, BackgroundChecksReportTheirOutcome) {
    service_.set_replies("true|false|x|http://127.0.0.1/get|n", "");
    bool newer = false;
    std::string address;
    client_.connect_in_background(kId, kVersion, [&](bool has_newer, const std::string& download) {
        newer = has_newer;
        address = download;
    });
    client_.wait_for_background_checks();
    EXPECT_TRUE(newer);
    EXPECT_EQ(address, "http://127.0.0.1/get");
}

// The timeout is far beyond the test's time limit: only abandoning the request lets
// the client's destruction (the program's exit) end.
TEST_F(VersionCheckClientTest, DestroyingTheClientAbandonsAWaitingCheck) {
    service_.set_replies("true|true|x|http://127.0.0.1/get|n", "", /*hold=*/true);
    auto patient = std::make_unique<VersionCheckClient>(service_.base_address(), 600);
    bool reported = false;
    patient->connect_in_background(kId, kVersion, [&](bool has_newer, const std::string&) {
        EXPECT_FALSE(has_newer);
        reported = true;
    });
    service_.next_request();  // the service holds it now
    patient.reset();
    EXPECT_TRUE(reported);
}

}  // namespace
}  // namespace quillet::net
