// GBK <-> QString at the toolkit boundary.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "platform/text_codec.h"

namespace quillet::ui {

inline QString to_qt(std::string_view gbk) { return QString::fromStdU16String(platform::gbk_to_utf16(gbk)); }

inline std::string from_qt(const QString& text) { return platform::utf16_to_gbk(text.toStdU16String()); }

}  // namespace quillet::ui
