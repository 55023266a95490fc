// Small helpers shared by the platform tests.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace platform_test {

// Builds a byte string from a list of byte values.
template <typename... Bytes>
std::string B(Bytes... bytes) {
    return std::string{static_cast<char>(bytes)...};
}

// A fresh directory under the system temporary directory, removed afterwards.
class TempDir {
  public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "platform_test_XXXXXX").string();
        if (char* made = ::mkdtemp(pattern.data())) path_ = made;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// Sets (or unsets) an environment variable for the scope, then restores it.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = std::string(old);
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_.c_str(), old_->c_str(), 1);
        else
            ::unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace platform_test
