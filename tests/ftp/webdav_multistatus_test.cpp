#include "ftp/webdav_multistatus.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ftp/webdav_failure.h"

namespace quillet::ftp {
namespace {

const std::string kUrl = "https://dav.example:8443/remote.php/dav/files/";

std::string response(const std::string& href, const std::string& props = "<d:resourcetype/>",
                     const std::string& status = "HTTP/1.1 200 OK") {
    return "<d:response><d:href>" + href + "</d:href><d:propstat><d:prop>" + props + "</d:prop><d:status>" + status +
           "</d:status></d:propstat></d:response>";
}

std::string multistatus(const std::string& responses) {
    return "<?xml version=\"1.0\"?><d:multistatus xmlns:d=\"DAV:\">" + responses + "</d:multistatus>";
}

platform::Status parse(const std::string& body, std::vector<DavResource>* resources) {
    return parse_multistatus(body, kUrl, resources);
}

TEST(WebDavMultistatus, ReadsFoldersFilesAndSizesWhateverTheNamespacePrefix) {
    std::vector<DavResource> resources;
    const std::string body =
        "<multistatus xmlns=\"DAV:\" xmlns:x=\"urn:x\">"
        "<response><href>/remote.php/dav/files/</href><propstat><prop><resourcetype><collection/></resourcetype>"
        "</prop><status>HTTP/1.1 200 OK</status></propstat></response>"
        "<response><href>https://DAV.example:8443/remote.php/dav/files/%E5%AF%86%20%E7%A0%81.edb</href>"
        "<propstat><prop><resourcetype/><getcontentlength>4096</getcontentlength></prop>"
        "<status>HTTP/1.1 200 OK</status></propstat>"
        "<propstat><prop><x:collection/><getcontentlength/></prop><status>HTTP/1.1 404 Not Found</status></propstat>"
        "</response></multistatus>";
    ASSERT_TRUE(parse(body, &resources).ok());
    ASSERT_EQ(resources.size(), 2u);
    EXPECT_TRUE(resources[0].collection);
    EXPECT_EQ(resources[0].path, (std::vector<std::string>{"remote.php", "dav", "files"}));
    EXPECT_FALSE(resources[1].collection);
    EXPECT_EQ(resources[1].size, 4096);
    EXPECT_EQ(resources[1].path.back(), "\xE5\xAF\x86 \xE7\xA0\x81.edb");  // UTF-8, decoded
}

TEST(WebDavMultistatus, ElementsOutsideTheDavNamespaceAreNotTakenForItsOwn) {
    std::vector<DavResource> resources;
    const std::string body =
        "<d:multistatus xmlns:d=\"DAV:\" xmlns:o=\"urn:other\">" +
        response("/remote.php/dav/files/a", "<d:resourcetype><o:collection/></d:resourcetype>") + "</d:multistatus>";
    ASSERT_TRUE(parse(body, &resources).ok());
    ASSERT_EQ(resources.size(), 1u);
    EXPECT_FALSE(resources[0].collection);
    // The root itself must be DAV:multistatus, not an element of that local name elsewhere.
    EXPECT_EQ(parse("<multistatus xmlns=\"urn:other\"/>", &resources).code(), kDavBadReply);
}

TEST(WebDavMultistatus, RelativeHrefsAreTakenAgainstTheRequestedFolder) {
    std::vector<DavResource> resources;
    ASSERT_TRUE(parse(multistatus(response("data.edb")), &resources).ok());
    ASSERT_EQ(resources.size(), 1u);
    EXPECT_EQ(resources[0].path, (std::vector<std::string>{"remote.php", "dav", "files", "data.edb"}));
}

TEST(WebDavMultistatus, HrefsThatLeaveThePathOrTheServerAreRefusedWithNothingKept) {
    const char* const kHostile[] = {
        "/remote.php/dav/files/..",                 // climbs out
        "/remote.php/dav/files/%2E%2E/etc",         // the same, encoded
        "/remote.php/dav/files/a%2Fb",              // a separator inside one name
        "/remote.php/dav/files/a%5Cb",              // a Windows separator inside one name
        "/remote.php/dav/files/a%00b",              // NUL
        "/remote.php/dav/files/a%zz",               // a broken escape
        "https://evil.example:8443/remote.php/a",   // another host
        "http://dav.example:8443/remote.php/a",     // another scheme
        "https://dav.example/remote.php/a",         // another port (443)
        "ftp://dav.example:8443/a",                 // not http
    };
    for (const char* href : kHostile) {
        std::vector<DavResource> resources;
        const std::string body = multistatus(response("/remote.php/dav/files/ok") + response(href));
        const platform::Status status = parse(body, &resources);
        EXPECT_EQ(status.code(), kDavBadReply) << href;
        EXPECT_FALSE(status.message().empty());
        EXPECT_TRUE(resources.empty()) << href;
    }
}

TEST(WebDavMultistatus, MalformedOrOversizedRepliesAreRefused) {
    std::vector<DavResource> resources;
    EXPECT_EQ(parse(multistatus(response("/a")).substr(0, 60), &resources).code(), kDavBadReply);  // cut short
    EXPECT_EQ(parse("<d:multistatus xmlns:d=\"DAV:\"><d:response></d:multistatus>", &resources).code(), kDavBadReply);
    EXPECT_EQ(parse("", &resources).code(), kDavBadReply);
    EXPECT_EQ(parse("<d:multistatus xmlns:d=\"DAV:\"><d:response><d:status>HTTP/1.1 200 OK</d:status>"
                    "</d:response></d:multistatus>",
                    &resources)
                  .code(),
              kDavBadReply);  // a response naming nothing
    EXPECT_EQ(parse(multistatus(response("/a", "<d:getcontentlength>12x</d:getcontentlength>")), &resources).code(),
              kDavBadReply);
    // Entities are never expanded: a document type is refused outright.
    const std::string laughs =
        "<?xml version=\"1.0\"?><!DOCTYPE m [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;\">]>"
        "<d:multistatus xmlns:d=\"DAV:\"><d:response><d:href>/&b;</d:href></d:response></d:multistatus>";
    EXPECT_EQ(parse(laughs, &resources).code(), kDavBadReply);
    std::string deep = "<d:multistatus xmlns:d=\"DAV:\">";
    for (int i = 0; i < 100; ++i) deep += "<d:x>";
    EXPECT_EQ(parse(deep, &resources).code(), kDavBadReply);

    // Ten megabytes of otherwise valid XML: refused by its size, not read.
    std::string huge = "<d:multistatus xmlns:d=\"DAV:\">";
    while (huge.size() < 10 * 1024 * 1024) huge += response("/remote.php/dav/files/f");
    huge += "</d:multistatus>";
    EXPECT_EQ(parse(huge, &resources).code(), kDavReplyTooLarge);
    EXPECT_TRUE(resources.empty());
}

TEST(WebDavMultistatus, UrlPathsSplitIntoCheckedComponents) {
    std::vector<std::string> components;
    ASSERT_TRUE(url_path_components("https://h:1/a%20b//c/", &components));
    EXPECT_EQ(components, (std::vector<std::string>{"a b", "c"}));
    EXPECT_TRUE(url_path_components("http://h", &components));
    EXPECT_TRUE(components.empty());
    EXPECT_FALSE(url_path_components("https://h/a/../b", &components));
    EXPECT_FALSE(url_path_components("h/a", &components));
}

}  // namespace
}  // namespace quillet::ftp
