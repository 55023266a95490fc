// Entry points of the LZH library: the command entry and the archive-handle
// entries. No exception leaves a library entry.
#include <exception>
#include <string>

#include "common/archive_listing.h"
#include "common/export.h"
#include "common/result_codes.h"
#include "common/result_text.h"
#include "lzh/lzh_commands.h"
#include "lzh/lzh_listing.h"

ARCHIVER_EXPORT int Unlha(ArchiverWindow, const char* commandLine, char* output,
                          uint32_t outputSize) {
    if (!commandLine) return archivers::kResultBadCommand;
    try {
        std::string message;
        const int result = lzh::RunCommand(commandLine, &message);
        archivers::WriteResultText(message, output, outputSize);
        return result;
    } catch (const std::exception& e) {
        archivers::WriteResultText(e.what(), output, outputSize);
        return archivers::kResultCannotWrite;
    }
}

ARCHIVER_EXPORT ArchiveHandle UnlhaOpenArchive(ArchiverWindow, const char* path, uint32_t) {
    if (!path) return nullptr;
    try {
        auto listing = lzh::ListArchive(path);
        return listing ? archivers::OpenListing(std::move(listing)) : nullptr;
    } catch (const std::exception&) {
        return nullptr;
    }
}

ARCHIVER_EXPORT int UnlhaCloseArchive(ArchiveHandle handle) {
    return archivers::CloseListing(handle);
}

ARCHIVER_EXPORT int UnlhaFindFirst(ArchiveHandle handle, const char* wildcard,
                                   ArchiveEntryInfo* entry) {
    return archivers::FindFirstEntry(handle, wildcard, entry);
}

ARCHIVER_EXPORT int UnlhaFindNext(ArchiveHandle handle, ArchiveEntryInfo* entry) {
    return archivers::FindNextEntry(handle, entry);
}
