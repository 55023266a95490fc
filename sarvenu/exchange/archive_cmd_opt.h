// TCmdOpt builds an archiver command line piece by piece: plain words,
// integer switches left out when not given (-1), quoted texts left out when
// they hold the single space " ", lists of quoted texts, and directories,
// which are sent with a final path separator.
#pragma once

#include <string>

#include "exchange/archiver_options.h"

namespace sarvenu {

// The file system's path separator, which directories on a command line end in.
inline constexpr char kPathDelimiter = '/';

class TCmdOpt {
  public:
    // Appends one space and s (also when s is empty).
    void Add(const std::string& s);
    // Appends " -" + name + the decimal n unless n is -1.
    void AddInt(const std::string& name, int n);
    // Unless v is " ": appends a space and, in double quotes, "-" + name + v,
    // or v alone when name is empty.
    void AddQuoted(const std::string& name, const std::string& v);
    void AddList(const std::string& name, const TStringList& list);
    // Unless v is empty or " ": v with a final separator, as AddQuoted.
    void AddDirectory(const std::string& name, std::string v);

    const std::string& Text() const { return text_; }

  private:
    std::string text_;
};

}  // namespace sarvenu
