// Entry points of the CAB library (extraction and listing).
#include "bridge/bridge_commands.h"
#include "bridge/bridge_entries.h"
#include "common/archive_listing.h"
#include "common/export.h"

ARCHIVER_EXPORT int Cab(ArchiverWindow, const char* line, char* output, uint32_t size) {
    return bridge::CommandEntry(bridge::RunCabCommand, line, output, size);
}
ARCHIVER_EXPORT ArchiveHandle CabOpenArchive(ArchiverWindow, const char* path, uint32_t) {
    return bridge::OpenEntry(bridge::Family::kCab, path);
}
ARCHIVER_EXPORT int CabCloseArchive(ArchiveHandle handle) {
    return archivers::CloseListing(handle);
}
ARCHIVER_EXPORT int CabFindFirst(ArchiveHandle handle, const char* wildcard,
                                 ArchiveEntryInfo* entry) {
    return archivers::FindFirstEntry(handle, wildcard, entry);
}
ARCHIVER_EXPORT int CabFindNext(ArchiveHandle handle, ArchiveEntryInfo* entry) {
    return archivers::FindNextEntry(handle, entry);
}
