// Times the network clients against the project's test servers on 127.0.0.1.
#include <sys/resource.h>

#include <cstdio>
#include <string>

#include "bench/db_bench/stopwatch.h"
#include "ftp/ftp_client.h"
#include "net/http_client.h"
#include "tests/ftp/ftp_test_server.h"
#include "tests/net/local_server.h"

namespace {

using quillet::bench::Stopwatch;

long peak_rss_kib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void ftp_close_against_a_mute_server() {
    quillet::test::TestFtpServer mute("--mute-after-login");
    quillet::ftp::FtpClient client;
    const long stall_seconds = 30;
    client.set_timeouts({5000, stall_seconds});
    if (!client.connect("127.0.0.1", "user", "secret", mute.port(), true).ok()) {
        std::printf("ftp close: could not connect\n");
        return;
    }
    Stopwatch idle;
    client.close();
    const double idle_seconds = idle.seconds();
    (void)client.connect("127.0.0.1", "user", "secret", mute.port(), true);
    std::printf("ftp close, idle connection, server silent: %.2f s (stall limit %ld s, ratio %.3f)\n", idle_seconds,
                stall_seconds, idle_seconds / static_cast<double>(stall_seconds));
}

struct Outcome {
    double seconds;
    long memory_kib;
    std::string status;
};

Outcome http_get(const quillet::testing_support::LocalServer& server, const std::string& path) {
    quillet::net::HttpRequest request;
    request.address = server.address(path);
    request.timeout_seconds = 2;  // the update check's
    quillet::net::HttpResponse response;
    const long rss_before = peak_rss_kib();
    Stopwatch watch;
    quillet::net::http_request(request, &response);
    return {watch.seconds(), peak_rss_kib() - rss_before, response.status.substr(0, 3)};
}

}  // namespace

int main() {
    ftp_close_against_a_mute_server();
    quillet::testing_support::LocalServer http("tests/net/http_test_server.py");
    const Outcome big = http_get(http, "/big?mb=100");
    std::printf(
        "http 100 MB reply: refused (%s) after %.2f s, peak memory +%ld KiB (whole reply 102400 KiB, ratio %.4f)\n",
        big.status.c_str(), big.seconds, big.memory_kib, static_cast<double>(big.memory_kib) / 102400.0);
    const Outcome trickle = http_get(http, "/dribble");
    std::printf("http trickling reply: given up (%s) after %.2f s (the reply takes 20 s, ratio %.3f)\n",
                trickle.status.c_str(), trickle.seconds, trickle.seconds / 20.0);
    return 0;
}
