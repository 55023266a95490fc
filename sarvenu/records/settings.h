// The installation's settings file ini/SystemInfo.ini beside the executable,
// and the directories it names. Values are code page 932 text as stored; the
// resolved directories are file-system paths (UTF-8 here) ending in "/".
// Nothing in the program writes the settings file.
#pragma once

#include <string>

namespace sarvenu {

// exeDir (ending in "/") + "ini/SystemInfo.ini".
std::string SettingsPath(const std::string& exeDir);
// The value of a key (sections and keys match without regard to case); the
// empty text when the file, the section or the key is missing. Never fails.
std::string ReadSetting(const std::string& exeDir, const std::string& section,
                        const std::string& key);
// exeDir + value + "/": the value is converted to the file-system encoding and
// "\" separators become "/". An empty value gives the executable's directory.
std::string ResolveDirectory(const std::string& exeDir, const std::string& value);

// The directories resolved once when the data store is created.
struct TDirectories {
    std::string exe;         // the executable's directory
    std::string table;       // CDS_DIR: table files
    std::string work;        // CDS_TMP_DIR: import and export work files
    std::string emptyTable;  // CDS_ORG_DIR: empty tables for submission files
    std::string templates;   // HTML_DIR: report templates, preview page, chart
    std::string picture;     // IMG_DIR: survey pictures
};
TDirectories ResolveDirectories(const std::string& exeDir);

}  // namespace sarvenu
