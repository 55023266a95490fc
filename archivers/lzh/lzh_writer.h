// Writing LZH archives: members are compressed with -lh5- (stored as -lh0-
// when compression would not make them smaller) under level-2 headers, and
// the archive ends with the zero end marker.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lzh/lzh_method.h"

namespace lzh {

// One member, header and data, for the file contents given.
// name is the stored name in code page 932; empty result when the file is
// too large for the format's 32-bit sizes or the name for its header.
std::vector<uint8_t> BuildMember(const std::string& name, const std::string& contents,
                                 int64_t modifiedTime, const MethodParams& method = kLh5);

// A whole archive of the given members' bytes followed by the end marker.
std::vector<uint8_t> FinishArchive(const std::vector<std::vector<uint8_t>>& members);

}  // namespace lzh
