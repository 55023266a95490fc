// Program texts are code page 932; source files are UTF-8. Every literal that
// reaches a table, a message or a file passes through this one helper.
#pragma once

#include <string>
#include <string_view>

#include "platform/codepage.h"

namespace sarvenu {

inline std::string Sj(std::string_view utf8) {
    return platform::Utf8ToCp932(utf8);
}

}  // namespace sarvenu
