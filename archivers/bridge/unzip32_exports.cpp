// Entry points of the ZIP extraction library.
#include "bridge/bridge_commands.h"
#include "bridge/bridge_entries.h"
#include "common/archive_listing.h"
#include "common/export.h"

namespace {
int Run(std::string_view line, std::string* message) {
    return bridge::RunZipCommand(line, false, true, message);
}
}  // namespace

ARCHIVER_EXPORT int UnZip(ArchiverWindow, const char* line, char* output, uint32_t size) {
    return bridge::CommandEntry(Run, line, output, size);
}
ARCHIVER_EXPORT ArchiveHandle UnZipOpenArchive(ArchiverWindow, const char* path, uint32_t) {
    return bridge::OpenEntry(bridge::Family::kZip, path);
}
ARCHIVER_EXPORT int UnZipCloseArchive(ArchiveHandle handle) {
    return archivers::CloseListing(handle);
}
ARCHIVER_EXPORT int UnZipFindFirst(ArchiveHandle handle, const char* wildcard,
                                   ArchiveEntryInfo* entry) {
    return archivers::FindFirstEntry(handle, wildcard, entry);
}
ARCHIVER_EXPORT int UnZipFindNext(ArchiveHandle handle, ArchiveEntryInfo* entry) {
    return archivers::FindNextEntry(handle, entry);
}
