// Entry points of the TAR library (plain and gzip-compressed archives).
#include "bridge/bridge_commands.h"
#include "bridge/bridge_entries.h"
#include "common/archive_listing.h"
#include "common/export.h"

ARCHIVER_EXPORT int Tar(ArchiverWindow, const char* line, char* output, uint32_t size) {
    return bridge::CommandEntry(bridge::RunTarCommand, line, output, size);
}
ARCHIVER_EXPORT ArchiveHandle TarOpenArchive(ArchiverWindow, const char* path, uint32_t) {
    return bridge::OpenEntry(bridge::Family::kTar, path);
}
ARCHIVER_EXPORT int TarCloseArchive(ArchiveHandle handle) {
    return archivers::CloseListing(handle);
}
ARCHIVER_EXPORT int TarFindFirst(ArchiveHandle handle, const char* wildcard,
                                 ArchiveEntryInfo* entry) {
    return archivers::FindFirstEntry(handle, wildcard, entry);
}
ARCHIVER_EXPORT int TarFindNext(ArchiveHandle handle, ArchiveEntryInfo* entry) {
    return archivers::FindNextEntry(handle, entry);
}
