// Shared set-up of the archive-layer tests: a temporary directory, file
// helpers, and a fixture that redirects or forgets archiver library bindings
// and restores them afterwards.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "exchange/archive_error.h"
#include "exchange/archiver_library.h"
#include "platform/codepage.h"
#include "platform/library.h"

namespace archive_test {

namespace fs = std::filesystem;

inline std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::vector<std::string> NamesIn(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The message of the EArchiver that body raises; empty when none is raised.
template <typename Body>
std::string ArchiverMessage(Body body) {
    try {
        body();
    } catch (const sarvenu::EArchiver& e) {
        return e.what();
    }
    return {};
}

class ArchiveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "archive-layer-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        sarvenu::ResetArchiverLibraries();
    }
    void TearDown() override {
        for (const char* name : kLibraries) sarvenu::SetArchiverLibraryPath(name, "");
        sarvenu::ResetArchiverLibraries();
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    // A directory below the test's root, ending in "/".
    std::string Dir(const std::string& name) {
        fs::create_directories(root_ / name);
        return (root_ / name).string() + "/";
    }
    std::string Path(const std::string& name) const { return (root_ / name).string(); }
    // Makes a library name load from nowhere, or from another built library.
    void Missing(const char* name) { sarvenu::SetArchiverLibraryPath(name, "/nonexistent/lib.so"); }
    void LoadFrom(const char* name, const std::string& builtFile) {
        sarvenu::SetArchiverLibraryPath(name, platform::ExecutableDirectory() + builtFile);
    }

    static constexpr const char* kLibraries[] = {"UNLHA32.DLL", "UNZIP32.DLL",  "LMZIP32.DLL",
                                                 "CAB32.DLL",   "UNARJ32J.DLL", "tar32.dll"};
    fs::path root_;
};

}  // namespace archive_test
