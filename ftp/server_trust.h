// What the FTP client remembers about each server's TLS between runs, SSH-style: a
// server once seen with a certificate the system trusts must keep offering TLS, and a
// certificate the system does not trust is pinned by its SHA-256 fingerprint on first
// use and must not change. The client only reads and reports these; the program keeps
// them (enciphered, in ftp.ini).
#pragma once

#include <functional>
#include <map>
#include <string>

namespace quillet::ftp {

struct ServerTrust {
    enum class Kind {
        kNone,       // never seen with TLS: TLS is tried, plain FTP accepted
        kAuthority,  // seen with a certificate the system trusts: TLS required, verified
        kPinned,     // seen with this certificate: TLS required, only this certificate
    };
    Kind kind = Kind::kNone;
    std::string fingerprint;  // kPinned: SHA-256 of the certificate, 64 lower-case hex digits

    bool operator==(const ServerTrust&) const = default;
};

// "host:port" as the trust is filed under; letter case of the host does not matter.
std::string server_key(const std::string& host, int port);

// Where the client looks up and records trust. Both are called on the connecting thread.
struct TrustStore {
    std::function<ServerTrust(const std::string& server)> recall;
    std::function<void(const std::string& server, const ServerTrust& trust)> remember;
};

// The text form of a set of servers' trust: "key=ca;key=sha256:<hex>;...". Malformed
// entries are skipped when reading.
using TrustList = std::map<std::string, ServerTrust>;
std::string format_trust_list(const TrustList& list);
TrustList parse_trust_list(const std::string& text);

}  // namespace quillet::ftp
