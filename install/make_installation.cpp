// Writes the installation that ships with the program into one directory:
//   ini/SystemInfo.ini   the settings (code page 932)
//   cds/*.cds            the ten table files; code tables with their rows
//   org/*.cds            the ten tables empty, for building submission files
//   help/help.txt        the help text (code page 932)
//   html/Template*.htm   the eight report templates (code page 932, CR LF)
//   tmp/, html/, img/    the work, template and picture directories
// Usage: sarvenu-make-installation OUTPUT_DIR SOURCE_DIR
//
// Running it over an installation that is in use keeps its data: a table file
// that exists already is not overwritten but delivered as a pending file
// ("_" + name), which the program installs at its next start, keeping the
// records of survey tables.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/codepage.h"
#include "records/code_tables.h"
#include "records/schema.h"
#include "records/table_file_writer.h"

namespace fs = std::filesystem;

namespace {

bool ReadText(const fs::path& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    *text = buffer.str();
    return static_cast<bool>(in) || in.eof();
}

// Source texts are UTF-8 with LF line ends; installed ones CP932 with CR LF.
// A source line that already ends in CR LF keeps one CR.
std::string WithCrLf(const std::string& utf8) {
    std::string crlf;
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '\n' && (i == 0 || utf8[i - 1] != '\r')) crlf += '\r';
        crlf += utf8[i];
    }
    return crlf;
}

bool WriteCp932(const fs::path& path, const std::string& utf8) {
    const std::string crlf = WithCrLf(utf8);
    const fs::path temp = path.string() + ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        const std::string bytes = platform::Utf8ToCp932(crlf);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) return false;
    }
    std::error_code ec;
    fs::rename(temp, path, ec);
    return !ec;
}

// True when every character of the text has a code page 932 form: the
// converter writes "?" for those that have none.
bool FitsCp932(const std::string& utf8) {
    const std::string cp932 = platform::Utf8ToCp932(utf8);
    auto questionMarks = [](const std::string& text) {
        return std::count(text.begin(), text.end(), '?');
    };
    return questionMarks(cp932) == questionMarks(utf8);
}

// The report templates, copied into the template directory. A template with a
// character the code page lacks would print a "?" and stops the build.
bool InstallTemplates(const fs::path& source, const fs::path& target) {
    for (int number = 1; number <= 8; ++number) {
        const std::string name = "Template" + std::to_string(number) + ".htm";
        std::string text;
        if (!ReadText(source / name, &text)) {
            std::fprintf(stderr, "cannot read %s\n", (source / name).c_str());
            return false;
        }
        if (!FitsCp932(text)) {
            std::fprintf(stderr, "%s has characters without a code page 932 form\n",
                         (source / name).c_str());
            return false;
        }
        if (!WriteCp932(target / name, text)) {
            std::fprintf(stderr, "cannot write %s\n", (target / name).c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR SOURCE_DIR\n", argv[0]);
        return 2;
    }
    const fs::path out = argv[1];
    const fs::path source = argv[2];
    try {
        for (const char* dir : {"ini", "cds", "org", "tmp", "html", "img", "help"})
            fs::create_directories(out / dir);

        for (const char* name : {"SystemInfo.ini", "help.txt"}) {
            std::string text;
            if (!ReadText(source / name, &text)) {
                std::fprintf(stderr, "cannot read %s\n", (source / name).c_str());
                return 1;
            }
            const fs::path target =
                std::string(name) == "help.txt" ? out / "help" / name : out / "ini" / name;
            if (!WriteCp932(target, text)) {
                std::fprintf(stderr, "cannot write %s\n", target.c_str());
                return 1;
            }
        }

        if (!InstallTemplates(source / "templates", out / "html")) return 1;

        for (const sarvenu::TTableDef& def : sarvenu::SurveySchema()) {
            sarvenu::WriteTableFile((out / "org" / def.FileName()).string(), def);
            const fs::path current = out / "cds" / def.FileName();
            const fs::path pending = out / "cds" / ("_" + def.FileName());
            const bool inUse = fs::exists(current);
            sarvenu::WriteTableFile((inUse ? pending : current).string(), def,
                                    sarvenu::ShippedRows(def.id));
            // An unchanged table needs no installing.
            std::string a, b;
            if (inUse && ReadText(current, &a) && ReadText(pending, &b) && a == b)
                fs::remove(pending);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", platform::Cp932ToUtf8(e.what()).c_str());
        return 1;
    }
    return 0;
}
