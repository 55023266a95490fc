// The program's file operations: reading, atomic replacement, copy, move,
// delete and attributes. Every change to the file system goes through here so
// that tests can make the operations fail (after a number of operations, or
// on one path) and check that the failure paths keep the data intact.
// Paths are in the file system's encoding; the operations report failure by
// returning false with a readable reason in *error (when given).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sarvenu::fileops {

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Reads the whole file; false when it cannot be opened or read.
bool ReadFile(const std::string& path, std::string* bytes, std::string* error = nullptr);
// Replaces (or creates) the file with bytes: a temporary file in the same
// directory is written and synced, renamed over the target and the directory
// synced. On failure the previous file is left as it was and no temporary
// file stays behind.
bool WriteFileAtomic(const std::string& path, std::string_view bytes, std::string* error = nullptr);
// Copies source to target; with failIfExists an existing target makes it fail.
// The target is written atomically.
bool CopyFile(const std::string& source, const std::string& target, bool failIfExists,
              std::string* error = nullptr);
// Makes target a second name of source (a hard link) when the file system
// allows it, else a copy as CopyFile makes it; fails when the target exists.
// For files the program never changes in place (it replaces them whole), the
// link keeps the contents the source had, at no cost in space.
bool LinkOrCopyFile(const std::string& source, const std::string& target,
                    std::string* error = nullptr);
// Renames source to target; fails when the target exists.
bool MoveFile(const std::string& source, const std::string& target, std::string* error = nullptr);
bool DeleteFile(const std::string& path, std::string* error = nullptr);
bool IsReadOnly(const std::string& path);
bool SetReadOnly(const std::string& path, bool readOnly, std::string* error = nullptr);
// Names (not paths) of the plain files in directory matching a wildcard
// pattern with "*" and "?" (ASCII case ignored), in listing order.
std::vector<std::string> ListFiles(const std::string& directory, const std::string& pattern);

// Creates a directory; fails when anything exists at path or the parent is missing.
bool CreateDirectory(const std::string& path, std::string* error = nullptr);
// Removes an empty directory.
bool RemoveDirectory(const std::string& path, std::string* error = nullptr);
// Renames a directory within one file system, then syncs the target's parent;
// fails when the target exists.
bool MoveDirectory(const std::string& source, const std::string& target,
                   std::string* error = nullptr);
// Flushes a directory's entries (new, renamed and removed names) to disk.
bool SyncDirectory(const std::string& directory, std::string* error = nullptr);
// Names of the subdirectories of directory (symbolic links are not followed),
// without "." and "..", in listing order.
std::vector<std::string> ListDirectories(const std::string& directory);

// Test hook: the process-wide fault plan of this layer. Each primitive step
// that changes the file system (create, write, sync, rename, delete, attribute
// change, for files and directories alike) counts as one operation.
struct FaultPlan {
    // Operations allowed before every further one fails; negative = no limit.
    int64_t failAfter = -1;
    // Every operation touching this path (or its temporary files) fails; empty = none.
    std::string failPath;
};
void SetFaultPlan(const FaultPlan& plan);
void ClearFaultPlan();
// Primitive operations counted since the plan was last set.
int64_t OperationCount();

// Installs a plan for the lifetime of the object.
class ScopedFaultPlan {
  public:
    explicit ScopedFaultPlan(const FaultPlan& plan) { SetFaultPlan(plan); }
    ~ScopedFaultPlan() { ClearFaultPlan(); }
    ScopedFaultPlan(const ScopedFaultPlan&) = delete;
    ScopedFaultPlan& operator=(const ScopedFaultPlan&) = delete;
};

}  // namespace sarvenu::fileops
