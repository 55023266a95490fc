#include "records/settings.h"

#include "platform/codepage.h"
#include "platform/ini.h"

namespace sarvenu {

std::string SettingsPath(const std::string& exeDir) {
    return exeDir + "ini/SystemInfo.ini";
}

std::string ReadSetting(const std::string& exeDir, const std::string& section,
                        const std::string& key) {
    return platform::GetPrivateProfileString(section, key, "", SettingsPath(exeDir));
}

std::string ResolveDirectory(const std::string& exeDir, const std::string& value) {
    // Decode before touching separators: a second byte of a double-byte
    // character can be 0x5C.
    std::string path = platform::Cp932ToUtf8(value);
    for (char& c : path)
        if (c == '\\') c = '/';
    if (path.empty()) return exeDir;
    if (path.back() != '/') path += '/';
    return exeDir + path;
}

TDirectories ResolveDirectories(const std::string& exeDir) {
    auto dir = [&](const char* key) {
        return ResolveDirectory(exeDir, ReadSetting(exeDir, "MAIN", key));
    };
    return {exeDir,          dir("CDS_DIR"), dir("CDS_TMP_DIR"), dir("CDS_ORG_DIR"),
            dir("HTML_DIR"), dir("IMG_DIR")};
}

}  // namespace sarvenu
