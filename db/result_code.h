// Engine result codes: 0 for success, a negative number for each kind of failure, each
// with a fixed GBK message.
#pragma once

#include <cstdint>
#include <string>

#include "platform/file_error.h"

namespace quillet::db {

inline constexpr std::int32_t kOk = 0;
inline constexpr std::int32_t kUnknownError = -1;
inline constexpr std::int32_t kCreateFailed = -2;
inline constexpr std::int32_t kFileNotFound = -3;
inline constexpr std::int32_t kBadPath = -4;
inline constexpr std::int32_t kBadSeek = -10;
inline constexpr std::int32_t kSharingViolation = -12;
inline constexpr std::int32_t kLockViolation = -13;
inline constexpr std::int32_t kNoFields = -16;
inline constexpr std::int32_t kBadFieldType = -17;
inline constexpr std::int32_t kBadFieldName = -18;
inline constexpr std::int32_t kBadFieldSize = -19;
inline constexpr std::int32_t kDuplicateFieldName = -20;
inline constexpr std::int32_t kNotDataFile = -22;
inline constexpr std::int32_t kVersionTooHigh = -23;
inline constexpr std::int32_t kBadAlias = -24;
inline constexpr std::int32_t kBeforeFirstRecord = -25;
inline constexpr std::int32_t kAfterLastRecord = -26;
inline constexpr std::int32_t kLockFailed = -28;
inline constexpr std::int32_t kUnlockFailed = -29;
inline constexpr std::int32_t kIndexOpenFailed = -30;
inline constexpr std::int32_t kTooManyIndexFiles = -34;
inline constexpr std::int32_t kAuxReadFailed = -35;
inline constexpr std::int32_t kAuxVersionMismatch = -36;
inline constexpr std::int32_t kAuxDamaged = -37;
inline constexpr std::int32_t kAlreadyOpen = -38;
inline constexpr std::int32_t kReadFieldFailed = -46;
inline constexpr std::int32_t kDataFileSizeWrong = -48;
inline constexpr std::int32_t kAuxCreateFailed = -50;
inline constexpr std::int32_t kAuxAccessFailed = -59;
inline constexpr std::int32_t kNoCurrentRecord = -60;
inline constexpr std::int32_t kReadRecordFailed = -62;
inline constexpr std::int32_t kWriteRecordFailed = -63;
inline constexpr std::int32_t kRecordCountFailed = -65;
inline constexpr std::int32_t kNoCurrentDatabase = -67;
inline constexpr std::int32_t kValueTypeMismatch = -72;
inline constexpr std::int32_t kWrongPassword = -78;
inline constexpr std::int32_t kRekeyFailed = -79;
inline constexpr std::int32_t kBadPasswordText = -80;

// The message of `code`; "未知错误" for a code that has none.
std::string message_for_code(std::int32_t code);

// The code of a file failure kind.
std::int32_t code_for_file_error(platform::FileError error);

}  // namespace quillet::db
