// Entry-point bodies of the libarchive-based libraries.
#include "bridge/bridge_entries.h"

#include <exception>

#include "common/archive_listing.h"
#include "common/result_codes.h"
#include "common/result_text.h"

namespace bridge {

int CommandEntry(CommandRunner run, const char* line, char* output, uint32_t outputSize) {
    if (!line) return archivers::kResultBadCommand;
    try {
        std::string message;
        const int result = run(line, &message);
        archivers::WriteResultText(message, output, outputSize);
        return result;
    } catch (const std::exception& e) {
        archivers::WriteResultText(e.what(), output, outputSize);
        return archivers::kResultCannotWrite;
    }
}

ArchiveHandle OpenEntry(Family family, const char* path) {
    if (!path) return nullptr;
    try {
        auto listing = List(family, path);
        return listing ? archivers::OpenListing(std::move(listing)) : nullptr;
    } catch (const std::exception&) {
        return nullptr;
    }
}

}  // namespace bridge
