// Listing of LZH archives for the archive-handle entries.
#include "lzh/lzh_listing.h"

#include "lzh/lzh_archive.h"

namespace lzh {

std::unique_ptr<archivers::Listing> ListArchive(const std::string& path) {
    FileSource source;
    if (!source.Open(path)) return nullptr;
    const uint64_t start = FindArchiveStart(source);
    if (start == kNoArchive) return nullptr;
    const ArchiveIndex index = ReadIndex(source, start);
    auto listing = std::make_unique<archivers::Listing>();
    for (const MemberHeader& m : index.members)
        listing->entries.push_back(archivers::MakeEntryInfo(m.name, m.method, m.originalSize,
                                                            m.compressedSize, m.modifiedTime, m.crc,
                                                            m.attribute));
    return listing;
}

}  // namespace lzh
