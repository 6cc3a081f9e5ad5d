#include "app/web_address.h"

#include <gtest/gtest.h>

namespace quillet::app {
namespace {

TEST(WebAddressTest, WebSchemesPassAsTheyAre) {
    for (const char* address : {"http://example.com", "https://example.com/a?b=c#d", "ftp://files.example.com/x",
                                "HTTPS://Example.com", "http://中文.cn"}) {
        EXPECT_EQ(web_address_to_open(address), address);
    }
}

TEST(WebAddressTest, AddressWithoutSchemeGetsHttp) {
    EXPECT_EQ(web_address_to_open("www.example.com"), "http://www.example.com");
    EXPECT_EQ(web_address_to_open("example.com:8080/login?x=1"), "http://example.com:8080/login?x=1");
    EXPECT_EQ(web_address_to_open("  example.com  "), "http://example.com");
    EXPECT_EQ(web_address_to_open("中文.cn/路径"), "http://中文.cn/路径");
}

TEST(WebAddressTest, AnythingElseIsNotOpened) {
    for (const char* address : {"",
                                "   ",
                                "file:///etc/passwd",
                                "file:/etc/passwd",
                                "javascript:alert(1)",
                                "javascript://%0aalert(1)",
                                "/usr/bin/xterm",
                                "./run.sh",
                                "~/notes.txt",
                                "C:\\Windows\\notepad.exe",
                                "-e evil",
                                "--help",
                                "xterm -e sh",
                                "mailto:a@b.c",
                                "smb://host/share",
                                "http://",
                                "host:",
                                "host:abc",
                                "a\tb.com",
                                "example.com\nfile:///etc"}) {
        EXPECT_EQ(web_address_to_open(address), std::nullopt) << address;
    }
}

}  // namespace
}  // namespace quillet::app
