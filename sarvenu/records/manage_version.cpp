#include "records/manage_version.h"

#include <cstdlib>

#include "dataset/client_table.h"
#include "platform/codepage.h"
#include "records/cds_module.h"
#include "records/settings.h"

namespace sarvenu {

namespace {

constexpr const char* kOldestVersion = "1000";

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A whole decimal number; false for anything else (empty text included).
bool ReadNumber(const std::string& text, long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    *value = std::strtol(text.c_str(), &end, 10);
    return end && *end == '\0';
}

}  // namespace

std::string VersionNumberOf(const std::string& appVersion) {
    std::string number;
    for (char c : appVersion)
        if (c != '.') number += c;
    return number;
}

std::string GetAppVersionNumber(const std::string& exeDir) {
    return VersionNumberOf(ReadSetting(exeDir, "MAIN", "APP_VERSION"));
}

bool HasField(const std::string& path, const std::string& fieldName) {
    TClientTable table;
    table.SetFileName(path);
    try {
        table.OpenTable();
    } catch (const std::exception&) {
        return false;
    }
    const bool found = table.FindField(fieldName) != nullptr;
    CloseWithoutSaving(table);
    return found;
}

std::string GetRegVersion(TClientTable& dataSet, const std::string& path) {
    if (!HasField(path, "REG_VERSION")) return kOldestVersion;
    dataSet.SetFileName(path);
    dataSet.OpenTable();
    std::string version;
    if (!dataSet.IsEmpty()) {
        dataSet.MoveFirst();
        version = Trim(dataSet.FieldNamed("REG_VERSION").GetText());
    }
    CloseWithoutSaving(dataSet);
    return version.empty() ? kOldestVersion : version;
}

void SetRegVersion(TClientTable& dataSet, const std::string& path,
                   const std::string& versionNumber) {
    dataSet.SetFileName(path);
    dataSet.OpenTable();
    dataSet.MoveFirst();
    dataSet.StartEdit();
    dataSet.FieldNamed("REG_VERSION").SetText(versionNumber);
    dataSet.CommitRecord();
    dataSet.CloseTable();
}

bool CheckImportVersion(const std::string& mainTablePath, const std::string& appVersionNumber,
                        const TVersionMessages& messages) {
    TClientTable temporary;
    const std::string data = GetRegVersion(temporary, mainTablePath);
    if (data == appVersionNumber) return true;
    long dataNumber = 0, appNumber = 0;
    const bool numbers = ReadNumber(data, &dataNumber) && ReadNumber(appVersionNumber, &appNumber);
    if (numbers && dataNumber < 2000) {
        messages.error(platform::Utf8ToCp932(
            "Ver 2.000以前のデータは様式が異なるため\r\nデータの取り込みができません。"));
        return false;
    }
    if (numbers && dataNumber < appNumber) {
        messages.warning(platform::Utf8ToCp932(
            "このデータは古いバージョンのデータです。\r\nデータのバージョンアップを行います。\r\n"
            "バージョンアップの内容はヘルプを参照して下さい。"));
        return true;
    }
    messages.error(platform::Utf8ToCp932(
        "このデータを取り込めません。\r\nSarvenuのバージョンアップを行って下さい。"));
    return false;
}

}  // namespace sarvenu
