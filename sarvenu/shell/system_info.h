// Reading the program's settings file ini/SystemInfo.ini beside the running
// executable. Every call reads the file afresh, so a changed value (the
// message box caption, for one) takes effect at its next use.
#pragma once

#include <string>

namespace sarvenu {

// The program's directory (ending in "/"): the running executable's, unless
// the main window was given another one at start (tests run windows on
// throw-away installations).
std::string ProgramDirectory();
void SetProgramDirectory(const std::string& exeDir);

// The value of a key (case-insensitive section and key), or the empty text
// when the file, the section or the key is missing. Never fails.
std::string ReadSystemInfo(const std::string& section, const std::string& key);
// The caption of every message box: MAIN/APP_TITLE.
std::string GetAppTitle();
// The help text file: executable directory + HELP_DIR + "/" + HELP_FILE,
// both read from section Main.
std::string HelpFilePath();

}  // namespace sarvenu
