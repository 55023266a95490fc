// The shared bodies of the libarchive-based libraries' entry points: they
// catch every exception, so none leaves a library entry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "bridge/libarchive_bridge.h"
#include "archivers/archiver_api.h"

namespace bridge {

using CommandRunner = int (*)(std::string_view line, std::string* message);

int CommandEntry(CommandRunner run, const char* line, char* output, uint32_t outputSize);
ArchiveHandle OpenEntry(Family family, const char* path);

}  // namespace bridge
