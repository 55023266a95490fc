// Command-line building.
#include "exchange/archive_cmd_opt.h"

namespace sarvenu {

void TCmdOpt::Add(const std::string& s) {
    text_ += ' ';
    text_ += s;
}

void TCmdOpt::AddInt(const std::string& name, int n) {
    if (n == TArchiverOptions::kNotGiven) return;
    text_ += " -" + name + std::to_string(n);
}

void TCmdOpt::AddQuoted(const std::string& name, const std::string& v) {
    if (v == TArchiverOptions::kNoText) return;
    text_ += " \"";
    if (!name.empty()) text_ += "-" + name;
    text_ += v + "\"";
}

void TCmdOpt::AddList(const std::string& name, const TStringList& list) {
    for (const std::string& item : list) AddQuoted(name, item);
}

void TCmdOpt::AddDirectory(const std::string& name, std::string v) {
    if (v.empty() || v == TArchiverOptions::kNoText) return;
    if (v.back() != kPathDelimiter) v += kPathDelimiter;
    AddQuoted(name, v);
}

}  // namespace sarvenu
