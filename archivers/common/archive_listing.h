// Archives opened through a library's archive-handle entries: the entry list
// is read once on opening and walked by the find entries. Handles are checked
// against the set of open listings, so a stale or foreign handle is refused
// instead of being followed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archivers/archiver_api.h"

namespace archivers {

struct Listing {
    std::vector<ArchiveEntryInfo> entries;
    std::string wildcard;
    size_t next = 0;
};

// Fills the fields of an entry record; the texts are cut to their fields.
ArchiveEntryInfo MakeEntryInfo(std::string_view name, std::string_view method,
                               uint64_t originalSize, uint64_t compressedSize, int64_t modifiedTime,
                               uint32_t checksum, uint16_t attribute);

ArchiveHandle OpenListing(std::unique_ptr<Listing> listing);
// 0 when the handle was open, -1 otherwise.
int CloseListing(ArchiveHandle handle);
int FindFirstEntry(ArchiveHandle handle, const char* wildcard, ArchiveEntryInfo* entry);
int FindNextEntry(ArchiveHandle handle, ArchiveEntryInfo* entry);

}  // namespace archivers
