// The ZIP, TAR (plain or compressed) and CAB libraries as thin layers over
// libarchive: extraction writes each plain file under its bare name into the
// target directory, through a temporary file that takes its name only when
// libarchive read the entry without error; packing writes a new archive of
// the listed files (bare names) under a temporary name and renames it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/archive_listing.h"

namespace bridge {

enum class Family { kZip, kCab, kTar };

// Extracts every plain-file entry (or those whose bare name matches one of
// the patterns) into directory; a result of common/result_codes.h.
int Extract(Family family, const std::string& archive, const std::string& directory,
            const std::vector<std::string>& patterns, std::string* message);

enum class PackFormat { kZip, kTar, kTarGzip };

// Writes a new archive of the files the items name (see common/file_list.h).
int Pack(PackFormat format, const std::string& archive, const std::vector<std::string>& items,
         std::string* message);

// The entries of an archive of the family, or null when libarchive does not
// read the file as one.
std::unique_ptr<archivers::Listing> List(Family family, const std::string& archive);

}  // namespace bridge
