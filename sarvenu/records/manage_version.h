// Module ManageVersion: the data version stamped into every exported work and
// checked before an import. The program version number is APP_VERSION without
// its dots (2.010 -> 2010); a main-table file without REG_VERSION, or with an
// empty one, holds data of version 1000. Data of the same version is taken,
// older data from 2000 on is taken and upgraded by the column-position copy,
// anything older or newer is refused.
#pragma once

#include <functional>
#include <string>

namespace sarvenu {

class TClientTable;

// APP_VERSION of the settings beside exeDir without its dots, as text.
std::string GetAppVersionNumber(const std::string& exeDir);
// The version text itself without its dots (for tests and callers that have it).
std::string VersionNumberOf(const std::string& appVersion);

// The table file has a field of that name. A file that cannot be read has none.
bool HasField(const std::string& path, const std::string& fieldName);
// The data version of a main-table file, read through dataSet (left closed).
std::string GetRegVersion(TClientTable& dataSet, const std::string& path);
// Stamps versionNumber into REG_VERSION of the file's first record and
// writes the file.
void SetRegVersion(TClientTable& dataSet, const std::string& path,
                   const std::string& versionNumber);

// How CheckImportVersion reports: an error box or a warning box (CP932 text).
struct TVersionMessages {
    std::function<void(const std::string&)> error;
    std::function<void(const std::string&)> warning;
};

// May the main-table file at mainTablePath (extracted for an import) be
// taken by a program of version appVersionNumber? Shows the messages of a
// refusal or of an upgrade. A version text that is not a number is refused
// as newer data (the program cannot tell what it holds).
bool CheckImportVersion(const std::string& mainTablePath, const std::string& appVersionNumber,
                        const TVersionMessages& messages);

}  // namespace sarvenu
