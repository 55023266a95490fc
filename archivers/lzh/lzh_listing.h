// The member list of an LZH archive as entry records for the find entries.
#pragma once

#include <memory>
#include <string>

#include "common/archive_listing.h"

namespace lzh {

// Null when the file is not an LZH archive (a self-extracting one included).
std::unique_ptr<archivers::Listing> ListArchive(const std::string& path);

}  // namespace lzh
