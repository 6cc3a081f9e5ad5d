// What the FTP client remembers about each server's TLS between runs, SSH-style: a
// server once seen with a certificate the system trusts must keep offering TLS, and a
// certificate the system does not trust is pinned by its SHA-256 fingerprint, once the
// user has seen that fingerprint and agreed, and must not change. Plain FTP is used only
// with a server the user agreed to send the password to in clear. The client only reads
// and reports these; the program keeps them (enciphered, in ftp.ini) and asks the user.
#pragma once

#include <functional>
#include <map>
#include <string>

namespace quillet::ftp {

struct ServerTrust {
    enum class Kind {
        kNone,         // never met: TLS required, plain FTP only after asking
        kPlainAgreed,  // offered no TLS and the user agreed to plain FTP: TLS still tried first
        kAuthority,    // seen with a certificate the system trusts: TLS required, verified
        kPinned,       // seen with this certificate: TLS required, only this certificate
    };
    Kind kind = Kind::kNone;
    std::string fingerprint;  // kPinned: SHA-256 of the certificate, 64 lower-case hex digits
    // kPinned: SHA-256 of its public key (the DER SubjectPublicKeyInfo), 64 lower-case hex
    // digits; empty in pins made before it was kept, until the next connect learns it.
    std::string public_key;

    bool operator==(const ServerTrust&) const = default;
};

// "host:port" as the trust is filed under; letter case of the host does not matter.
std::string server_key(const std::string& host, int port);

// Where the client looks up and records trust. Both are called on the connecting thread.
struct TrustStore {
    std::function<ServerTrust(const std::string& server)> recall;
    std::function<void(const std::string& server, const ServerTrust& trust)> remember;
};

// What the client may not decide alone; called on the connecting thread, which waits for
// the answer. `server` is "host:port" as typed. A missing answer is No.
struct TrustConsent {
    // The server offers no TLS: may the password and files go out in clear?
    std::function<bool(const std::string& server)> allow_plain;
    // No authority vouches for the server's certificate: may it be pinned? The fingerprint
    // comes as shown to people (grouped_fingerprint).
    std::function<bool(const std::string& server, const std::string& fingerprint)> allow_pin;
};

// A fingerprint as browsers show it: upper-case hex digits in pairs separated by colons.
std::string grouped_fingerprint(const std::string& hex);

// The text form of a set of servers' trust: "key=plain;key=ca;key=sha256:<hex>:<hex>;..."
// (certificate, then public key; pins stored before the key was kept have the first only).
// Malformed entries are skipped when reading.
using TrustList = std::map<std::string, ServerTrust>;
std::string format_trust_list(const TrustList& list);
TrustList parse_trust_list(const std::string& text);

}  // namespace quillet::ftp
