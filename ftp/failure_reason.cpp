#include "ftp/failure_reason.h"

#include <curl/curl.h>

#include <cerrno>

namespace quillet::ftp {
namespace {

const char* reason_text(FailureCode code) {
    switch (code) {
        case kHostNotFound:
            return "找不到主机，请检查服务器地址";
        case kConnectionRefused:
            return "服务器拒绝连接，请检查端口";
        case kLoginRefused:
            return "账号或密码错误";
        case kCertificateChanged:
            return "证书已更换，与记住的证书不符";
        case kTimedOut:
            return "连接超时，服务器没有响应";
        case kBadAddress:
            return "地址、端口或账号无效";
        case kCancelled:
            return "操作已取消";
        case kPlainDeclined:
            return "未同意明文连接";
        case kPinDeclined:
            return "未同意使用此证书";
        case kHostNameMismatch:
            return "证书与服务器名称不符";
        case kTrustBroken:
            return "加密连接（TLS）或证书与之前记住的不一致";
        case kNotConnected:
            return "未连接";
        case kBadPath:
            return "路径无效";
        case kRemoteFileMissing:
            return "服务器上没有该文件";
        case kWriteRefused:
            return "服务器拒绝写入文件";
        case kReplaceRefused:
            return "服务器拒绝替换数据文件";
        case kLocalFileError:
            return "无法读写本地文件";
        case kUnusableCopy:
            return "服务器上的数据文件无法使用";
        case kOtherFailure:
            break;
    }
    return "未知错误";
}

}  // namespace

platform::Status failure(FailureCode code) { return platform::Status::failure(code, reason_text(code)); }

platform::Status failure_reason(const CurlFailure& failed) {
    switch (failed.code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return failure(kHostNotFound);
        case CURLE_OPERATION_TIMEDOUT:
            return failure(kTimedOut);
        case CURLE_LOGIN_DENIED:
            return failure(kLoginRefused);
        case CURLE_ABORTED_BY_CALLBACK:
            return failure(kCancelled);
        case CURLE_REMOTE_FILE_NOT_FOUND:
            return failure(kRemoteFileMissing);
        case CURLE_UPLOAD_FAILED:
            return failure(kWriteRefused);
        case CURLE_WRITE_ERROR:
        case CURLE_READ_ERROR:
            return failure(kLocalFileError);
        default:
            break;
    }
    // libcurl cannot connect to an unreachable network either; only a refusal means
    // nothing listens on the port. Windows sockets report WSAECONNREFUSED.
    constexpr long kWindowsConnectionRefused = 10061;
    if (failed.code == CURLE_COULDNT_CONNECT &&
        (failed.os_error == ECONNREFUSED || failed.os_error == kWindowsConnectionRefused)) {
        return failure(kConnectionRefused);
    }
    if (failed.reply_code == 530) return failure(kLoginRefused);
    const std::string text = failed.text.empty() ? curl_easy_strerror(static_cast<CURLcode>(failed.code)) : failed.text;
    return platform::Status::failure(kOtherFailure, text);
}

}  // namespace quillet::ftp
