// A fresh temporary directory for one test, removed with everything in it.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace sarvenu::testing {

class TScratchDirectory {
  public:
    TScratchDirectory() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "sarvenu_report_XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TScratchDirectory() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TScratchDirectory(const TScratchDirectory&) = delete;
    TScratchDirectory& operator=(const TScratchDirectory&) = delete;

    bool ok() const { return !path_.empty(); }
    // The path of a name inside the directory.
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

}  // namespace sarvenu::testing
