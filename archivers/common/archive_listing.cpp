// Handle bookkeeping and entry walking for the archive-handle entries.
#include "common/archive_listing.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>

#include "common/entry_names.h"

namespace archivers {
namespace {

std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}

std::set<Listing*>& OpenSet() {
    static std::set<Listing*> open;
    return open;
}

Listing* Find(ArchiveHandle handle) {
    auto it = OpenSet().find(static_cast<Listing*>(handle));
    return it == OpenSet().end() ? nullptr : *it;
}

template <size_t N>
void CopyText(char (&field)[N], std::string_view text) {
    const size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

int Walk(Listing* listing, ArchiveEntryInfo* entry) {
    while (listing->next < listing->entries.size()) {
        const ArchiveEntryInfo& candidate = listing->entries[listing->next++];
        if (listing->wildcard.empty() || WildcardMatch(listing->wildcard, candidate.fileName)) {
            *entry = candidate;
            return kArchiveFindFound;
        }
    }
    return kArchiveFindEnd;
}

}  // namespace

ArchiveEntryInfo MakeEntryInfo(std::string_view name, std::string_view method,
                               uint64_t originalSize, uint64_t compressedSize, int64_t modifiedTime,
                               uint32_t checksum, uint16_t attribute) {
    ArchiveEntryInfo info;
    std::memset(&info, 0, sizeof info);
    info.originalSize = originalSize;
    info.compressedSize = compressedSize;
    info.modifiedTime = modifiedTime;
    info.checksum = checksum;
    info.attribute = attribute;
    info.ratio = originalSize == 0 ? 0
                                   : static_cast<uint16_t>(std::min<uint64_t>(
                                         compressedSize * 1000 / originalSize, 0xFFFF));
    CopyText(info.method, method);
    CopyText(info.fileName, name);
    return info;
}

ArchiveHandle OpenListing(std::unique_ptr<Listing> listing) {
    std::lock_guard<std::mutex> guard(Lock());
    Listing* raw = listing.release();
    OpenSet().insert(raw);
    return raw;
}

int CloseListing(ArchiveHandle handle) {
    std::lock_guard<std::mutex> guard(Lock());
    Listing* listing = Find(handle);
    if (!listing) return -1;
    OpenSet().erase(listing);
    delete listing;
    return 0;
}

int FindFirstEntry(ArchiveHandle handle, const char* wildcard, ArchiveEntryInfo* entry) {
    std::lock_guard<std::mutex> guard(Lock());
    Listing* listing = Find(handle);
    if (!listing || !entry) return kArchiveFindError;
    listing->wildcard = wildcard ? wildcard : "";
    listing->next = 0;
    return Walk(listing, entry);
}

int FindNextEntry(ArchiveHandle handle, ArchiveEntryInfo* entry) {
    std::lock_guard<std::mutex> guard(Lock());
    Listing* listing = Find(handle);
    if (!listing || !entry) return kArchiveFindError;
    return Walk(listing, entry);
}

}  // namespace archivers
