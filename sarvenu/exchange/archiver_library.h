// Binding of one outside archiver library ("UNLHA32.DLL"): the library is
// loaded by name at its first need and its handle kept for the rest of the
// run; each entry point is looked up by name at its first use and kept. The
// platform maps the name to the shared library beside the executable.
#pragma once

#include <map>
#include <string>

#include "platform/library.h"

namespace sarvenu {

class TArchiverLibrary {
  public:
    // The process-wide binding of a library name.
    static TArchiverLibrary& Of(const std::string& name);

    const std::string& Name() const { return name_; }
    // Loads the library unless loaded; false when it cannot be loaded (a
    // later call tries again).
    bool Load();
    bool Loaded() const { return module_ != nullptr; }
    // The entry point, or null when the library is not loaded or lacks it.
    void* FindEntry(const std::string& entryName);
    // The entry point; raises EArchiver with the missing-entry message
    // (library name, entry name) when the library lacks it.
    void* Entry(const std::string& entryName);
    // Times the library was loaded from disk in this run.
    int LoadCount() const { return loadCount_; }

  private:
    explicit TArchiverLibrary(std::string name) : name_(std::move(name)) {}

    std::string name_;
    platform::HMODULE module_ = nullptr;
    std::map<std::string, void*> entries_;
    int loadCount_ = 0;
};

// Test hooks: load a library name from another path (empty path: back to the
// name), and forget every binding so that the next use loads again.
void SetArchiverLibraryPath(const std::string& name, const std::string& path);
void ResetArchiverLibraries();

}  // namespace sarvenu
