// Reading INI settings files with the Windows semantics the program relies
// on: sections and keys match without regard to ASCII case, a missing file,
// section or key reads as the given default (empty by default). Values are
// returned as stored (code page 932 bytes), trimmed of surrounding blanks.
#pragma once

#include <string>

namespace platform {

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& path);
int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue,
                         const std::string& path);

}  // namespace platform
