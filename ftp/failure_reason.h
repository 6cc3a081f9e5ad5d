// Why a connection, a transfer or a database copy failed, as the code of a
// platform::Status whose message is a short reason in the user's words (GBK). The window
// shows it after its own caption ("FTP - 连接失败：找不到主机，请检查服务器地址"), so a
// misspelt host, a wrong password and a changed certificate each say what to fix.
#pragma once

#include <cstdint>
#include <string>

#include "platform/status.h"

namespace quillet::ftp {

enum FailureCode : std::int32_t {
    kHostNotFound = 1,
    kConnectionRefused,
    kLoginRefused,
    kCertificateChanged,  // a pinned certificate was replaced by another
    kTimedOut,
    kBadAddress,        // refused before anything went out: malformed host, port or user
    kCancelled,         // the client was closed while the operation was on its way
    kPlainDeclined,     // the server offers no TLS and plain FTP was not agreed to
    kPinDeclined,       // no authority vouches for the certificate and it was not agreed to
    kHostNameMismatch,  // an authority vouches for the certificate, but for another name
    kTrustBroken,       // the server no longer offers the TLS or certificate remembered for it
    kNotConnected,
    kBadPath,  // a remote path no command can carry (a line break in it)
    kRemoteFileMissing,
    kWriteRefused,    // the server would not store the file
    kReplaceRefused,  // the server would not put the sent copy in place of its data.edb
    kLocalFileError,  // a local file could not be read, written or replaced
    kUnusableCopy,    // the server's copy is no complete data file for this password
    kOtherFailure,    // the message carries libcurl's own text
};

// What libcurl saw of a failed request.
struct CurlFailure {
    int code = 0;        // the CURLcode
    int reply_code = 0;  // the last FTP reply, 0 when none came
    long os_error = 0;   // the socket error of a failed connect, 0 when none
    std::string text;    // libcurl's error buffer, may be empty
};

platform::Status failure_reason(const CurlFailure& failed);

// The reasons decided here rather than by libcurl.
platform::Status failure(FailureCode code);

}  // namespace quillet::ftp
