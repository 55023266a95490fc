// Reads a random buffer as an LZH archive held in memory: finds the first
// header, lists the members, derives their bare names and decodes every
// member with its CRC check. A buffer whose first byte is odd is also decoded
// as a raw compressed stream of each method. Nothing may crash or touch
// memory outside its buffers; the output of one member is capped so that
// highly repetitive streams stay fast.
#include <cstddef>
#include <cstdint>

#include "common/entry_names.h"
#include "lzh/lzh_archive.h"
#include "lzh/lzh_decoder.h"
#include "lzh/lzh_method.h"

namespace {

constexpr uint64_t kOutputCap = 1 << 20;

lzh::OutputSink CappedSink(uint64_t* produced) {
    return [produced](const uint8_t*, size_t size) {
        *produced += size;
        return *produced <= kOutputCap;
    };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lzh::MemorySource source(data, size);
    const uint64_t start = lzh::FindArchiveStart(source);
    if (start != lzh::kNoArchive) {
        const lzh::ArchiveIndex index = lzh::ReadIndex(source, start);
        for (const lzh::MemberHeader& member : index.members) {
            archivers::BareEntryName(member.name, archivers::NameCoding::kCp932);
            if (lzh::IsDirectory(member)) continue;
            uint64_t produced = 0;
            lzh::ExtractMember(source, member, CappedSink(&produced));
        }
    }
    if (size > 4 && (data[0] & 1)) {
        const uint64_t originalSize =
            (static_cast<uint64_t>(data[1]) << 16) | (data[2] << 8) | data[3];
        for (const lzh::MethodParams* method : {&lzh::kLh5, &lzh::kLh6, &lzh::kLh7}) {
            uint64_t produced = 0;
            lzh::Decode(*method, data + 4, size - 4, originalSize, CappedSink(&produced));
        }
    }
    return 0;
}
