// What the file layer's variants (posix/, win32/) share: the crash tests' change hook and
// the random part of temporary names. Not for callers outside the file layer.
#pragma once

#include <string>

#include "platform/file.h"

namespace quillet::platform {

// Runs the hook set by set_change_hook before a change; kNone when none is set.
FileError before_change();

// How many random hex digits a temporary's name carries: 64 bits, so a name taken by
// someone else is a collision, not a guess.
inline constexpr int kTemporaryDigits = 16;
std::string random_hex(int digits);

}  // namespace quillet::platform
