#include "shell/GetSystemInfo.h"

#include "platform/codepage.h"
#include "platform/library.h"
#include "records/settings.h"

namespace sarvenu {

std::string ReadSystemInfo(const std::string& section, const std::string& key) {
    return ReadSetting(platform::ExecutableDirectory(), section, key);
}

std::string GetAppTitle() {
    return ReadSystemInfo("MAIN", "APP_TITLE");
}

std::string HelpFilePath() {
    const std::string exeDir = platform::ExecutableDirectory();
    return ResolveDirectory(exeDir, ReadSystemInfo("Main", "HELP_DIR")) +
           platform::Cp932ToUtf8(ReadSystemInfo("Main", "HELP_FILE"));
}

}  // namespace sarvenu
