// The error an import raises for a file it cannot read or write: what went
// wrong, the file's path and the system's reason, one per line (CP932).
#pragma once

#include <stdexcept>
#include <string>

#include "platform/codepage.h"

namespace sarvenu {

inline std::runtime_error FileError(const char* what, const std::string& path,
                                    const std::string& reason) {
    return std::runtime_error(platform::Utf8ToCp932(what) + "\r\n" + platform::Utf8ToCp932(path) +
                              (reason.empty() ? std::string() : "\r\n" + reason));
}

}  // namespace sarvenu
