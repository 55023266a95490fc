// Reading LZH archives: the list of members, and the data of one member
// decoded and checked against its CRC-16.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lzh/byte_source.h"
#include "lzh/lzh_decoder.h"
#include "lzh/lzh_header.h"

namespace lzh {

constexpr uint64_t kNoArchive = ~uint64_t{0};

// Where the first member header starts: 0 for a plain archive (also for the
// end marker alone, an archive of no members), or the first
// readable header within the first 64 KiB (an archive behind a
// self-extracting program); kNoArchive when there is none.
uint64_t FindArchiveStart(const ByteSource& source);

struct ArchiveIndex {
    std::vector<MemberHeader> members;
    // False when a damaged header or a member cut short ended the list early.
    bool complete = true;
};

ArchiveIndex ReadIndex(const ByteSource& source, uint64_t start);

enum class MemberStatus {
    kOk,
    kChecksumMismatch,
    kBroken,       // damaged stream or data cut short
    kUnsupported,  // a method not handled here
    kSinkFailed,
};

bool IsDirectory(const MemberHeader& header);

// Decodes a member into the sink and checks its CRC-16.
MemberStatus ExtractMember(const ByteSource& source, const MemberHeader& header,
                           const OutputSink& sink);

}  // namespace lzh
