#include "shell/system_info.h"

#include "platform/codepage.h"
#include "platform/library.h"
#include "records/settings.h"

namespace sarvenu {

namespace {
std::string& ProgramDirectoryOverride() {
    static std::string directory;
    return directory;
}
}  // namespace

std::string ProgramDirectory() {
    const std::string& directory = ProgramDirectoryOverride();
    return directory.empty() ? platform::ExecutableDirectory() : directory;
}

void SetProgramDirectory(const std::string& exeDir) {
    ProgramDirectoryOverride() = exeDir;
}

std::string ReadSystemInfo(const std::string& section, const std::string& key) {
    return ReadSetting(ProgramDirectory(), section, key);
}

std::string GetAppTitle() {
    return ReadSystemInfo("MAIN", "APP_TITLE");
}

std::string HelpFilePath() {
    const std::string exeDir = ProgramDirectory();
    return ResolveDirectory(exeDir, ReadSystemInfo("Main", "HELP_DIR")) +
           platform::Cp932ToUtf8(ReadSystemInfo("Main", "HELP_FILE"));
}

}  // namespace sarvenu
