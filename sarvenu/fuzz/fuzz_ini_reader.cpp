// Fuzz target: arbitrary bytes as the installation's settings file
// (ini/SystemInfo.ini in a program directory of its own), read the way the
// program reads it: the keys of [MAIN] it uses, the directories it resolves,
// integers, and a section and key named in the text itself. Checks that names
// match without regard to ASCII case, that resolved directories stay under the
// program directory, and that plain decimal values read as their number.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/codepage.h"
#include "platform/ini.h"
#include "records/settings.h"

#include "fuzz_support.h"

namespace {

using namespace fuzz_support;

// A private program directory ("/tmp/...XXXXXX/") holding ini/.
struct TProgramDirectory {
    std::string exeDir;
    std::string settings;

    TProgramDirectory() {
        exeDir = MakeTempDirectory("fuzz_ini");
        Require(mkdir((exeDir + "ini").c_str(), 0700) == 0);
        settings = sarvenu::SettingsPath(exeDir);
    }
    ~TProgramDirectory() {
        std::remove(settings.c_str());
        rmdir((exeDir + "ini").c_str());
        rmdir(exeDir.c_str());
    }
};

// Swaps the case of ASCII letters, leaving double-byte characters whole.
std::string SwapCase(const std::string& text) {
    std::string out = text;
    for (size_t i = 0; i < out.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(out[i]);
        if (platform::IsDBCSLeadByte(c) && i + 1 < out.size()) {
            ++i;
        } else if (c >= 'a' && c <= 'z') {
            out[i] = static_cast<char>(c - 'a' + 'A');
        } else if (c >= 'A' && c <= 'Z') {
            out[i] = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

// A section name and a key as the text spells them: between the first "["
// and the next "]" or line end, and before the "=" of the next line with one.
void NamesInText(const std::string& text, std::string* section, std::string* key) {
    const size_t open = text.find('[');
    if (open == std::string::npos) return;
    const size_t end = text.find_first_of("]\n", open + 1);
    *section = text.substr(open + 1, end == std::string::npos ? end : end - open - 1);
    const size_t line = text.find('\n', open);
    if (line == std::string::npos) return;
    const size_t equals = text.find('=', line);
    if (equals == std::string::npos) return;
    const size_t start = text.rfind('\n', equals);
    *key = text.substr(start + 1, equals - start - 1);
}

bool PlainDecimal(const std::string& value) {
    if (value.empty() || value.size() > 9) return false;
    for (char c : value)
        if (c < '0' || c > '9') return false;
    return true;
}

void CheckKey(const TProgramDirectory& dir, const std::string& section, const std::string& key) {
    const std::string value = sarvenu::ReadSetting(dir.exeDir, section, key);
    Require(sarvenu::ReadSetting(dir.exeDir, SwapCase(section), SwapCase(key)) == value);
    const int number = platform::GetPrivateProfileInt(section, key, -7, dir.settings);
    if (value.empty()) Require(number == -7);
    if (PlainDecimal(value)) Require(number == std::atoi(value.c_str()));
    // A missing key reads as the default, without its trailing blanks.
    const std::string fallback =
        platform::GetPrivateProfileString(section, key, "none \t", dir.settings);
    Require(fallback == value || (value.empty() && fallback == "none"));
    // Values are shown decoded.
    platform::Cp932ToUtf8(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TProgramDirectory dir;
    WriteFile(dir.settings, data, size);

    const sarvenu::TDirectories dirs = sarvenu::ResolveDirectories(dir.exeDir);
    for (const std::string* resolved :
         {&dirs.table, &dirs.work, &dirs.emptyTable, &dirs.templates, &dirs.picture}) {
        Require(resolved->compare(0, dir.exeDir.size(), dir.exeDir) == 0);
        Require(resolved->back() == '/');
    }
    for (const char* key : {"APP_TITLE", "APP_VERSION", "USR_ID", "CDS_DIR", "HELP_DIR"})
        CheckKey(dir, "MAIN", key);
    CheckKey(dir, "Main", "HELP_FILE");

    std::string section, key;
    NamesInText(std::string(reinterpret_cast<const char*>(data), size), &section, &key);
    CheckKey(dir, section, key);
    return 0;
}
