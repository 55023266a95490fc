// Entry points of the ZIP packing library, which also extracts; its
// extraction and archive-handle entries are spelt "Unzip...".
#include "bridge/bridge_commands.h"
#include "bridge/bridge_entries.h"
#include "common/archive_listing.h"
#include "common/export.h"

namespace {
int RunPack(std::string_view line, std::string* message) {
    return bridge::RunZipCommand(line, true, false, message);
}
int RunExtract(std::string_view line, std::string* message) {
    return bridge::RunZipCommand(line, false, true, message);
}
}  // namespace

ARCHIVER_EXPORT int Zip(ArchiverWindow, const char* line, char* output, uint32_t size) {
    return bridge::CommandEntry(RunPack, line, output, size);
}
ARCHIVER_EXPORT int Unzip(ArchiverWindow, const char* line, char* output, uint32_t size) {
    return bridge::CommandEntry(RunExtract, line, output, size);
}
ARCHIVER_EXPORT ArchiveHandle UnzipOpenArchive(ArchiverWindow, const char* path, uint32_t) {
    return bridge::OpenEntry(bridge::Family::kZip, path);
}
ARCHIVER_EXPORT int UnzipCloseArchive(ArchiveHandle handle) {
    return archivers::CloseListing(handle);
}
ARCHIVER_EXPORT int UnzipFindFirst(ArchiveHandle handle, const char* wildcard,
                                   ArchiveEntryInfo* entry) {
    return archivers::FindFirstEntry(handle, wildcard, entry);
}
ARCHIVER_EXPORT int UnzipFindNext(ArchiveHandle handle, ArchiveEntryInfo* entry) {
    return archivers::FindNextEntry(handle, entry);
}
