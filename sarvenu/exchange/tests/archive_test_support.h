// Shared set-up of the archive-layer tests: a temporary directory, file
// helpers, and a fixture that redirects or forgets archiver library bindings
// and restores them afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "exchange/archive_error.h"
#include "exchange/archiver_library.h"
#include "platform/codepage.h"
#include "platform/library.h"
#include "test_support/test_support.h"

namespace archive_test {

namespace fs = std::filesystem;

using sarvenu_test::NamesIn;
using sarvenu_test::ReadBytes;
using sarvenu_test::WriteBytes;

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
    void SetUp() override { sarvenu::ResetArchiverLibraries(); }
    void TearDown() override {
        for (const char* name : kLibraries) sarvenu::SetArchiverLibraryPath(name, "");
        sarvenu::ResetArchiverLibraries();
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
    sarvenu_test::TempDir temp_{"archive-layer"};
    const fs::path root_{temp_.path()};
};

}  // namespace archive_test
