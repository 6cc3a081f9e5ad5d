#include "net/http_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "platform/text_codec.h"
#include "tests/net/local_server.h"
#include "tests/support/temp_directory.h"

namespace quillet::net {
namespace {

using testing_support::LocalServer;

class HttpClientTest : public testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new LocalServer("tests/net/http_test_server.py"); }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(server_->port(), 0) << "the test server did not start"; }

    static HttpRequest to(const std::string& path) {
        HttpRequest request;
        request.address = server_->address(path);
        request.timeout_seconds = 5;
        return request;
    }
    // The request as the server received it (the echo page).
    static std::string echoed(HttpRequest request, HttpResponse* response = nullptr) {
        request.address = server_->address("/echo");
        return http_request(request, response);
    }

    static inline LocalServer* server_ = nullptr;
};

TEST_F(HttpClientTest, SendsTheDefaultHeadersInOrder) {
    HttpResponse response;
    std::string received = echoed(to("/echo"), &response);
    EXPECT_EQ(response.status, "200 OK");
    EXPECT_TRUE(response.headers.starts_with("HTTP/1.1 200 OK\r\n")) << response.headers;
    EXPECT_TRUE(response.headers.ends_with("\r\n\r\n"));
    EXPECT_EQ(response.raw_body, received);
    EXPECT_TRUE(received.starts_with("GET /echo HTTP/1.1\r\n")) << received;
    const std::string defaults =
        "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"
        "Accept: text/html, application/xhtml+xml, */*\r\n"
        "Accept-Encoding: gbk, GB2312\r\n"
        "Accept-Language: zh-cn\r\n"
        "Content-Type: application/x-www-form-urlencoded\r\n"
        "Cache-Control: no-cache\r\n";
    EXPECT_NE(received.find(defaults), std::string::npos) << received;
    EXPECT_EQ(received.find("Cookie"), std::string::npos);
}

TEST_F(HttpClientTest, CallerHeadersInAnyCaseSuppressTheDefaultLine) {
    HttpRequest request = to("/echo");
    request.extra_headers = "user-agent: mine\r\nX-Extra: 1";
    std::string received = echoed(request);
    EXPECT_NE(received.find("user-agent: mine\r\n"), std::string::npos) << received;
    EXPECT_NE(received.find("X-Extra: 1\r\n"), std::string::npos);
    EXPECT_EQ(received.find("Mozilla"), std::string::npos);
    EXPECT_NE(received.find("Accept-Language: zh-cn\r\n"), std::string::npos);
}

TEST_F(HttpClientTest, SendsACookieLineOnlyForNonEmptyCookies) {
    HttpRequest request = to("/echo");
    request.cookies = "";
    EXPECT_EQ(echoed(request).find("Cookie"), std::string::npos);
    request.cookies = "a=1; b=2";
    EXPECT_NE(echoed(request).find("\r\nCookie: a=1; b=2\r\n"), std::string::npos);
}

TEST_F(HttpClientTest, UnknownMethodsSendGetAndBodiesGoOut) {
    for (int method : {7, -1}) {
        HttpRequest request = to("/echo");
        request.method = method;
        EXPECT_TRUE(echoed(request).starts_with("GET /echo ")) << method;
    }
    HttpRequest post = to("/echo");
    post.method = kPost;
    post.body = "name=中文";
    std::string received = echoed(post);
    EXPECT_TRUE(received.starts_with("POST /echo ")) << received;
    EXPECT_TRUE(received.ends_with("\r\n\r\nname=中文"));  // the GBK bytes as they are

    HttpRequest put = to("/echo");
    put.method = kPut;
    put.body = "x";
    EXPECT_TRUE(echoed(put).starts_with("PUT /echo "));

    HttpRequest head = to("/echo");
    head.method = kHead;
    HttpResponse response;
    EXPECT_EQ(echoed(head, &response), "");
    EXPECT_EQ(response.status, "200 OK");
}

TEST_F(HttpClientTest, MergesReturnedCookiesWithTheSentOnes) {
    HttpRequest request = to("/set-cookie?c=a%3D1%3B+path%3D%2F&c=a%3D2");
    HttpResponse response;
    http_request(request, &response);
    EXPECT_EQ(response.cookies, "a=1; a=2");  // not given: nothing to merge with

    request.cookies = "";
    http_request(request, &response);
    EXPECT_EQ(response.cookies, "a=2");

    request.cookies = "b = 3;\xA1\xA1" "a=0";  // ASCII and full-width spaces go
    http_request(request, &response);
    EXPECT_EQ(response.cookies, "b=3; a=2");

    request.merge_cookies = false;
    http_request(request, &response);
    EXPECT_EQ(response.cookies, "a=1; a=2");
}

TEST_F(HttpClientTest, DropsCookiesTheServerDeleted) {
    HttpRequest request = to("/set-cookie?c=s%3Ddeleted%3B+expires%3DThu%2C+01-Jan-1970&c=u%3D9");
    request.cookies = "s=1; t=2";
    HttpResponse response;
    http_request(request, &response);
    EXPECT_EQ(response.cookies, "t=2; u=9");
}

TEST_F(HttpClientTest, FindsSetCookieLinesWrittenInAnyCase) {
    HttpResponse response;
    http_request(to("/set-cookie?name=SET-cookie&c=k%3Dv"), &response);
    EXPECT_EQ(response.cookies, "k=v");
    EXPECT_NE(response.headers.find("\r\nSet-Cookie: k=v\r\n"), std::string::npos) << response.headers;
}

TEST_F(HttpClientTest, ReportsTheRedirectTargetWithoutFollowing) {
    HttpRequest request = to("/redirect?to=/echo");
    request.no_redirect = true;
    HttpResponse response;
    EXPECT_EQ(http_request(request, &response), "moved");
    EXPECT_EQ(response.status, "302 Found");
    EXPECT_EQ(response.redirect_target, "/echo");

    request.no_redirect = false;
    EXPECT_TRUE(http_request(request, &response).starts_with("GET /echo "));
    EXPECT_EQ(response.status, "200 OK");
    EXPECT_EQ(response.redirect_target, "");
}

TEST_F(HttpClientTest, ConvertsTheBodyByTheDeclaredCharacterSet) {
    HttpResponse response;
    std::string page = http_request(to("/page?declare=utf-8&encoding=utf-8"), &response);
    EXPECT_NE(page.find("<body>中文页面</body>"), std::string::npos);
    EXPECT_NE(page, response.raw_body);

    // Only the exact lower-case names count as GBK already: "GB2312" still goes
    // through the converter, which turns the stray byte at the end into "?".
    page = http_request(to("/page?declare=GB2312&encoding=gbk"), &response);
    EXPECT_EQ(response.raw_body.back(), '\xFF');
    EXPECT_TRUE(page.ends_with("</html>?")) << page;
    EXPECT_NE(page.find("中文页面"), std::string::npos);

    page = http_request(to("/page?declare=gb2312&encoding=gbk"), &response);
    EXPECT_EQ(page, response.raw_body);
}

// Sets an environment variable, or removes it when `value` is null.
void set_environment(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value == nullptr ? "" : value);
#else
    if (value == nullptr) {
        unsetenv(name);
    } else {
        setenv(name, value, 1);
    }
#endif
}

TEST_F(HttpClientTest, UsesOnlyTheProxyItIsGiven) {
    // The test server stands in for a proxy: a proxied request line carries the whole address.
    const std::string proxy = "127.0.0.1:" + std::to_string(server_->port());
    set_environment("http_proxy", ("http://" + proxy).c_str());
    set_environment("HTTP_PROXY", ("http://" + proxy).c_str());
    HttpRequest direct = to("/echo");
    direct.address = "http://localhost:" + std::to_string(server_->port()) + "/echo";
    EXPECT_TRUE(http_request(direct).starts_with("GET /echo ")) << "a proxy from the environment was used";
    set_environment("http_proxy", nullptr);
    set_environment("HTTP_PROXY", nullptr);

    HttpRequest proxied = direct;
    proxied.proxy = proxy;
    proxied.proxy_user = "pu";
    proxied.proxy_password = "pp";
    std::string received = http_request(proxied);
    EXPECT_TRUE(received.starts_with("GET " + direct.address + " ")) << received;
    EXPECT_NE(received.find("Proxy-Authorization: Basic cHU6cHA=\r\n"), std::string::npos) << received;
}

TEST_F(HttpClientTest, SendsServerCredentialsOnlyWhenBothAreGiven) {
    HttpRequest request = to("/echo");
    request.server_user = "user";
    EXPECT_EQ(echoed(request).find("Authorization"), std::string::npos);
    request.server_password = "secret";
    EXPECT_NE(echoed(request).find("Authorization: Basic dXNlcjpzZWNyZXQ=\r\n"), std::string::npos);
}

TEST_F(HttpClientTest, FailuresLeaveTheOutputsAndGiveTheNumberedMessage) {
    HttpResponse response;
    response.cookies = "kept";
    response.raw_body = "kept";

    HttpRequest bad = to("/");
    bad.address = "ftp://127.0.0.1/file";
    EXPECT_EQ(http_request(bad, &response), "");
    EXPECT_EQ(response.status, "701 解析URL地址失败!");

    LocalServer gone("tests/net/http_test_server.py");
    HttpRequest refused = to("/");
    refused.address = gone.address("/echo");
    gone.stop();
    EXPECT_EQ(http_request(refused, &response), "");
    EXPECT_EQ(response.status, "703 创建WinHttp连接失败!");

    HttpRequest held = to("/hold");
    held.timeout_seconds = 1;
    EXPECT_EQ(http_request(held, &response), "");
    EXPECT_EQ(response.status, "712 服务器未响应!");
    EXPECT_EQ(response.cookies, "kept");
    EXPECT_EQ(response.raw_body, "kept");
}

TEST_F(HttpClientTest, RefusesAHugeReplyInsteadOfHoldingIt) {
    HttpResponse response;
    response.raw_body = "kept";
    EXPECT_EQ(http_request(to("/big?mb=100"), &response), "");
    EXPECT_EQ(response.status, "713 读取数据失败!");
    EXPECT_EQ(response.raw_body, "kept");
}

TEST_F(HttpClientTest, EndsAnExchangeThatTricklesOnPastItsDeadline) {
    // One byte every 0.2 s never trips the stall limit; the reply would be complete after
    // 20 s, long after the deadline of twice the 1-s timeout.
    HttpRequest request = to("/dribble");
    request.timeout_seconds = 1;
    HttpResponse response;
    EXPECT_EQ(http_request(request, &response), "");
    EXPECT_EQ(response.status, "713 读取数据失败!");
}

TEST_F(HttpClientTest, GivesUpWhenAbandoned) {
    std::atomic<bool> abandon{true};
    HttpRequest request = to("/hold");
    request.timeout_seconds = 600;  // only abandoning can end this in time
    request.abandon = &abandon;
    HttpResponse response;
    EXPECT_EQ(http_request(request, &response), "");
    EXPECT_FALSE(response.status.empty());
    EXPECT_NE(response.status, "200 OK");
}

TEST_F(HttpClientTest, ConvertsOnlyFromAllowedCharacterSets) {
    HttpResponse response;
    std::string page = http_request(to("/page?declare=UTF-8&encoding=utf-8"), &response);
    EXPECT_NE(page.find("中文页面"), std::string::npos);
    for (const char* declared : {"utf-7", "ISO-2022-CN-EXT", "IBM1364"}) {
        page = http_request(to(std::string("/page?declare=") + declared + "&encoding=utf-8"), &response);
        EXPECT_EQ(page, response.raw_body) << declared;
    }
}

class HttpsClientTest : public HttpClientTest {
protected:
    static void SetUpTestSuite() {
        HttpClientTest::SetUpTestSuite();
        certificates_ = new test::TempDirectory();
        tls_server_ = new LocalServer("tests/net/http_test_server.py",
                                      {"--tls", test::ScriptProcess::unix_path(certificates_->path())});
    }
    static void TearDownTestSuite() {
        delete tls_server_;
        tls_server_ = nullptr;
        delete certificates_;
        certificates_ = nullptr;
        HttpClientTest::TearDownTestSuite();
    }
    void SetUp() override {
        HttpClientTest::SetUp();
        ASSERT_NE(tls_server_->port(), 0) << "the https test server did not start";
    }

    static HttpRequest secure(const std::string& path) {
        HttpRequest request;
        // By name: libcurl's own check on Windows matches names, not addresses.
        request.address = "https://localhost:" + std::to_string(tls_server_->port()) + path;
        request.timeout_seconds = 5;
        request.ca_file = certificates_->path() + "/ca.pem";
        return request;
    }

    static inline test::TempDirectory* certificates_ = nullptr;
    static inline LocalServer* tls_server_ = nullptr;
};

TEST_F(HttpsClientTest, TalksToAServerItsAuthorityVouchesFor) {
    HttpResponse response;
    EXPECT_TRUE(http_request(secure("/echo"), &response).starts_with("GET /echo ")) << response.status;
    EXPECT_EQ(response.status, "200 OK");

    HttpRequest untrusted = secure("/echo");
    untrusted.ca_file.clear();  // the system does not know the test authority
    EXPECT_EQ(http_request(untrusted, &response), "");
    EXPECT_EQ(response.status, "711 发送请求失败!");
}

TEST_F(HttpsClientTest, FollowsRedirectsWithinHttpsButNeverDownToHttp) {
    HttpResponse response;
    EXPECT_TRUE(http_request(secure("/redirect?to=/echo"), &response).starts_with("GET /echo "));

    const std::string plain = server_->address("/echo");
    EXPECT_EQ(http_request(secure("/redirect?to=" + plain), &response), "");
    EXPECT_EQ(response.status, "712 服务器未响应!");

    HttpRequest not_followed = secure("/redirect?to=" + plain);
    not_followed.no_redirect = true;  // reporting the target is still fine
    EXPECT_EQ(http_request(not_followed, &response), "moved");
    EXPECT_EQ(response.redirect_target, plain);
}

}  // namespace
}  // namespace quillet::net
