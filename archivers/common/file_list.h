// The files a pack command names: each item is a file path or a directory
// path ending in a wildcard ("/data/tmp/*.*"). Only plain files directly in the
// named directory are taken; folders are not entered.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace archivers {

struct SourceFile {
    std::string path;      // file-system path
    std::string name;      // bare name (UTF-8), as it is stored in the archive
    int64_t modifiedTime;  // seconds since 1970-01-01 UTC
};

// Expands the items in order (the matches of one wildcard sorted by name).
// A later file with the same bare name replaces an earlier one. The file
// excluded (the archive being written, when it already exists) is skipped.
// False with a reason when a named file without a wildcard is not a plain
// file, or a wildcard's directory cannot be read.
bool ExpandFileList(const std::vector<std::string>& items, const std::string& excluded,
                    std::vector<SourceFile>* files, std::string* error);

}  // namespace archivers
