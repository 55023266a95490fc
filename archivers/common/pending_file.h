// Output files that appear under their final name only when complete: the
// bytes go to a temporary file in the same directory, which is synced and
// renamed over the final name on commit and removed otherwise. A member that
// fails its check, or an archive that could not be written in full, is
// therefore never left looking complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace archivers {

class PendingFile {
  public:
    PendingFile() = default;
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Creates the temporary file beside finalPath.
    bool Open(const std::string& finalPath, std::string* error);
    bool Write(const void* data, size_t size);
    bool IsOpen() const { return fd_ >= 0; }
    // Syncs, sets the modification time (when modifiedTime > 0) and renames
    // the file to its final name.
    bool Commit(int64_t modifiedTime, std::string* error);
    // Removes the temporary file.
    void Discard();

  private:
    int fd_ = -1;
    std::string temporary_;
    std::string final_;
};

// Creates the directory and its parents when missing.
bool EnsureDirectory(const std::string& directory);
// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* bytes);

}  // namespace archivers
