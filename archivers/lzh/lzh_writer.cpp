// Member and archive assembly.
#include "lzh/lzh_writer.h"

#include "lzh/crc16.h"
#include "lzh/lzh_encoder.h"
#include "lzh/lzh_header.h"

namespace lzh {

std::vector<uint8_t> BuildMember(const std::string& name, const std::string& contents,
                                 int64_t modifiedTime, const MethodParams& method) {
    if (contents.size() > 0xFFFFFFFFu) return {};
    const uint8_t* data = reinterpret_cast<const uint8_t*>(contents.data());
    std::vector<uint8_t> packed = Encode(method, data, contents.size());
    const bool stored = packed.size() >= contents.size();
    NewMember member{stored ? std::string(kStored) : std::string(method.id),
                     stored ? contents.size() : packed.size(),
                     contents.size(),
                     modifiedTime,
                     Crc16(data, contents.size()),
                     name};
    std::vector<uint8_t> bytes = BuildLevel2Header(member);
    if (bytes.empty()) return {};
    if (stored)
        bytes.insert(bytes.end(), data, data + contents.size());
    else
        bytes.insert(bytes.end(), packed.begin(), packed.end());
    return bytes;
}

std::vector<uint8_t> FinishArchive(const std::vector<std::vector<uint8_t>>& members) {
    std::vector<uint8_t> archive;
    for (const auto& m : members) archive.insert(archive.end(), m.begin(), m.end());
    archive.push_back(0);
    return archive;
}

}  // namespace lzh
