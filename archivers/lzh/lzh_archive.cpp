// Member listing and member extraction.
#include "lzh/lzh_archive.h"

#include <algorithm>

#include "lzh/crc16.h"
#include "lzh/lzh_method.h"

namespace lzh {
namespace {

constexpr uint64_t kSearchLimit = 64 * 1024;

}  // namespace

uint64_t FindArchiveStart(const ByteSource& source) {
    MemberHeader header;
    if (ReadHeader(source, 0, &header) == HeaderStatus::kOk) return 0;
    // An archive of no members is the end marker alone.
    uint8_t marker;
    if (source.Size() == 1 && source.Read(0, &marker, 1) && marker == 0) return 0;
    const uint64_t span = std::min<uint64_t>(source.Size(), kSearchLimit + 7);
    std::vector<uint8_t> head(static_cast<size_t>(span));
    if (!source.Read(0, head.data(), head.size())) return kNoArchive;
    for (size_t at = 1; at + 7 <= head.size(); ++at) {
        // "-l??-" at the method's place is the cheap test before a full read.
        if (head[at + 2] != '-' || head[at + 3] != 'l' || head[at + 6] != '-') continue;
        if (ReadHeader(source, at, &header) == HeaderStatus::kOk) return at;
    }
    return kNoArchive;
}

ArchiveIndex ReadIndex(const ByteSource& source, uint64_t start) {
    ArchiveIndex index;
    uint64_t at = start;
    for (;;) {
        MemberHeader header;
        const HeaderStatus status = ReadHeader(source, at, &header);
        if (status == HeaderStatus::kEnd) break;
        if (status == HeaderStatus::kBroken) {
            index.complete = false;
            break;
        }
        const bool cutShort = header.dataOffset > source.Size() ||
                              header.compressedSize > source.Size() - header.dataOffset;
        index.members.push_back(header);
        if (cutShort) {
            index.complete = false;
            break;
        }
        at = header.dataOffset + header.compressedSize;
    }
    return index;
}

bool IsDirectory(const MemberHeader& header) {
    return header.method == kDirectory;
}

MemberStatus ExtractMember(const ByteSource& source, const MemberHeader& header,
                           const OutputSink& sink) {
    const MethodParams* method = FindMethod(header.method);
    if (!method && header.method != kStored) return MemberStatus::kUnsupported;
    if (header.dataOffset > source.Size() ||
        header.compressedSize > source.Size() - header.dataOffset)
        return MemberStatus::kBroken;
    uint16_t crc = 0;
    auto checked = [&](const uint8_t* data, size_t size) {
        crc = Crc16(data, size, crc);
        return sink(data, size);
    };
    if (!method) {
        if (header.compressedSize != header.originalSize) return MemberStatus::kBroken;
        std::vector<uint8_t> piece(65536);
        uint64_t done = 0;
        while (done < header.compressedSize) {
            const size_t n =
                static_cast<size_t>(std::min<uint64_t>(piece.size(), header.compressedSize - done));
            if (!source.Read(header.dataOffset + done, piece.data(), n))
                return MemberStatus::kBroken;
            if (!checked(piece.data(), n)) return MemberStatus::kSinkFailed;
            done += n;
        }
    } else {
        std::vector<uint8_t> packed(static_cast<size_t>(header.compressedSize));
        if (!source.Read(header.dataOffset, packed.data(), packed.size()))
            return MemberStatus::kBroken;
        switch (Decode(*method, packed.data(), packed.size(), header.originalSize, checked)) {
            case DecodeStatus::kOk:
                break;
            case DecodeStatus::kSinkFailed:
                return MemberStatus::kSinkFailed;
            case DecodeStatus::kCorrupt:
            case DecodeStatus::kTruncated:
                return MemberStatus::kBroken;
        }
    }
    if (header.hasCrc && crc != header.crc) return MemberStatus::kChecksumMismatch;
    return MemberStatus::kOk;
}

}  // namespace lzh
