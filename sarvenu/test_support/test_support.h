// Shared by the program's tests: a fresh temporary directory for one test
// (or one fixture), and whole files read and written as bytes.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace sarvenu_test {

// A new, empty directory under the system temporary directory, removed with
// everything in it at scope end. Raises std::runtime_error when it cannot be
// made, so that no test writes into a directory it does not own.
class TempDir {
  public:
    // The directory's name starts with the prefix, so that a left-over one
    // names the tests that made it.
    explicit TempDir(std::string_view prefix = "sarvenu");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The directory, without a trailing separator.
    const std::string& path() const { return path_; }
    // The path of a name inside the directory.
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// The bytes of a file; empty when it cannot be read.
std::string ReadBytes(const std::filesystem::path& path);
// Replaces a file with the bytes.
void WriteBytes(const std::filesystem::path& path, std::string_view bytes);
// The names of the entries of a directory, sorted.
std::vector<std::string> NamesIn(const std::filesystem::path& directory);

}  // namespace sarvenu_test
