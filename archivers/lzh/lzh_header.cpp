// Reading of level 0, 1 and 2 member headers; writing of level-2 headers.
#include "lzh/lzh_header.h"

#include <ctime>

#include "lzh/crc16.h"

namespace lzh {
namespace {

constexpr size_t kLevel2Base = 26;
constexpr uint8_t kExtHeaderCrc = 0x00;
constexpr uint8_t kExtFileName = 0x01;
constexpr uint8_t kExtDirectory = 0x02;
constexpr uint8_t kExtAttribute = 0x40;
constexpr uint8_t kExtUnixTime = 0x54;

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// MS-DOS date and time (local time) to Unix seconds.
int64_t FromDosTime(uint32_t dos) {
    std::tm t{};
    t.tm_sec = static_cast<int>((dos & 0x1F) * 2);
    t.tm_min = static_cast<int>((dos >> 5) & 0x3F);
    t.tm_hour = static_cast<int>((dos >> 11) & 0x1F);
    t.tm_mday = static_cast<int>((dos >> 16) & 0x1F);
    t.tm_mon = static_cast<int>(((dos >> 21) & 0x0F)) - 1;
    t.tm_year = static_cast<int>(((dos >> 25) & 0x7F)) + 80;
    t.tm_isdst = -1;
    if (t.tm_mday == 0 || t.tm_mon < 0) return 0;
    std::time_t seconds = std::mktime(&t);
    return seconds == static_cast<std::time_t>(-1) ? 0 : static_cast<int64_t>(seconds);
}

// Folder names in extended headers separate their parts with 0xFF; the
// stored name uses "\" throughout (0xFF is never part of a code page 932
// character, so the replacement is safe on the raw bytes).
std::string WithBackslashes(std::string text) {
    for (char& c : text)
        if (static_cast<uint8_t>(c) == 0xFF) c = '\\';
    return text;
}

std::string JoinName(const std::string& directory, const std::string& file) {
    if (directory.empty()) return file;
    std::string joined = WithBackslashes(directory);
    if (joined.back() != '\\') joined += '\\';
    return joined + file;
}

bool ValidMethod(const uint8_t* m) {
    return m[0] == '-' && m[4] == '-';
}

HeaderStatus ReadLevel0or1(const ByteSource& source, uint64_t offset, uint8_t first,
                           MemberHeader* h) {
    const size_t total = static_cast<size_t>(first) + 2;
    std::vector<uint8_t> b(total);
    if (total < 24 || !source.Read(offset, b.data(), total)) return HeaderStatus::kBroken;
    uint8_t sum = 0;
    for (size_t i = 2; i < total; ++i) sum = static_cast<uint8_t>(sum + b[i]);
    if (sum != b[1] || !ValidMethod(&b[2])) return HeaderStatus::kBroken;
    h->method.assign(reinterpret_cast<const char*>(&b[2]), 5);
    uint64_t packed = Le32(&b[7]);
    h->originalSize = Le32(&b[11]);
    h->modifiedTime = FromDosTime(Le32(&b[15]));
    h->attribute = b[19];
    h->level = b[20];
    const size_t nameLength = b[21];
    if (22 + nameLength > total) return HeaderStatus::kBroken;
    std::string file(reinterpret_cast<const char*>(&b[22]), nameLength);
    std::string directory;
    const size_t afterName = 22 + nameLength;
    uint64_t extended = 0;
    if (h->level == 0) {
        if (afterName + 2 <= total) {
            h->crc = Le16(&b[afterName]);
            h->hasCrc = true;
        }
    } else {
        if (afterName + 5 > total) return HeaderStatus::kBroken;
        h->crc = Le16(&b[afterName]);
        h->hasCrc = true;
        h->osId = b[afterName + 2];
        size_t next = Le16(&b[afterName + 3]);
        uint64_t at = offset + total;
        // Extended headers follow the base header and count in the data size.
        while (next != 0) {
            if (next < 3 || extended + next > packed) return HeaderStatus::kBroken;
            std::vector<uint8_t> e(next);
            if (!source.Read(at, e.data(), next)) return HeaderStatus::kBroken;
            const std::string data(reinterpret_cast<const char*>(&e[1]), next - 3);
            if (e[0] == kExtFileName) file = data;
            if (e[0] == kExtDirectory) directory = data;
            if (e[0] == kExtUnixTime && data.size() >= 4)
                h->modifiedTime = Le32(reinterpret_cast<const uint8_t*>(data.data()));
            extended += next;
            at += next;
            next = Le16(&e[next - 2]);
        }
    }
    h->name = JoinName(directory, WithBackslashes(file));
    h->dataOffset = offset + total + extended;
    h->compressedSize = packed - extended;
    return HeaderStatus::kOk;
}

HeaderStatus ReadLevel2(const ByteSource& source, uint64_t offset, MemberHeader* h) {
    uint8_t sizeBytes[2];
    if (!source.Read(offset, sizeBytes, 2)) return HeaderStatus::kBroken;
    const size_t total = Le16(sizeBytes);
    if (total < kLevel2Base) return HeaderStatus::kBroken;
    std::vector<uint8_t> b(total);
    if (!source.Read(offset, b.data(), total) || !ValidMethod(&b[2])) return HeaderStatus::kBroken;
    h->method.assign(reinterpret_cast<const char*>(&b[2]), 5);
    h->compressedSize = Le32(&b[7]);
    h->originalSize = Le32(&b[11]);
    h->modifiedTime = static_cast<int64_t>(Le32(&b[15]));
    h->level = 2;
    h->crc = Le16(&b[21]);
    h->hasCrc = true;
    h->osId = b[23];
    std::string file, directory;
    size_t crcAt = 0;
    size_t at = kLevel2Base;
    size_t next = Le16(&b[24]);
    while (next != 0) {
        if (next < 3 || next > total - at) return HeaderStatus::kBroken;
        const uint8_t type = b[at];
        const std::string data(reinterpret_cast<const char*>(&b[at + 1]), next - 3);
        if (type == kExtHeaderCrc && data.size() >= 2) crcAt = at + 1;
        if (type == kExtFileName) file = data;
        if (type == kExtDirectory) directory = data;
        if (type == kExtAttribute && !data.empty()) h->attribute = static_cast<uint8_t>(data[0]);
        at += next;
        next = Le16(&b[at - 2]);
    }
    if (crcAt != 0) {
        const uint16_t stored = Le16(&b[crcAt]);
        b[crcAt] = b[crcAt + 1] = 0;
        if (Crc16(b.data(), b.size()) != stored) return HeaderStatus::kBroken;
    }
    h->name = JoinName(directory, WithBackslashes(file));
    h->dataOffset = offset + total;
    return HeaderStatus::kOk;
}

}  // namespace

HeaderStatus ReadHeader(const ByteSource& source, uint64_t offset, MemberHeader* header) {
    *header = MemberHeader{};
    header->offset = offset;
    if (offset >= source.Size()) return HeaderStatus::kEnd;
    uint8_t head[21];
    if (!source.Read(offset, head, 1)) return HeaderStatus::kBroken;
    if (head[0] == 0) return HeaderStatus::kEnd;
    if (!source.Read(offset, head, sizeof head)) return HeaderStatus::kBroken;
    switch (head[20]) {
        case 0:
        case 1:
            return ReadLevel0or1(source, offset, head[0], header);
        case 2:
            return ReadLevel2(source, offset, header);
        default:
            return HeaderStatus::kBroken;
    }
}

std::vector<uint8_t> BuildLevel2Header(const NewMember& m) {
    if (m.compressedSize > 0xFFFFFFFFu || m.originalSize > 0xFFFFFFFFu || m.method.size() != 5)
        return {};
    const size_t crcExt = 5, nameExt = 3 + m.name.size(), attributeExt = 5;
    size_t total = kLevel2Base + crcExt + nameExt + attributeExt;
    // A header whose size has a zero low byte would start with the end
    // marker; one byte of padding avoids it.
    if ((total & 0xFF) == 0) ++total;
    if (total > 0xFFFF) return {};
    std::vector<uint8_t> h(total, 0);
    Put16(h, 0, static_cast<uint32_t>(total));
    for (int i = 0; i < 5; ++i) h[2 + i] = static_cast<uint8_t>(m.method[i]);
    Put32(h, 7, static_cast<uint32_t>(m.compressedSize));
    Put32(h, 11, static_cast<uint32_t>(m.originalSize));
    Put32(h, 15, static_cast<uint32_t>(m.modifiedTime < 0 ? 0 : m.modifiedTime));
    h[19] = 0x20;
    h[20] = 2;
    Put16(h, 21, m.crc);
    h[23] = 'M';
    Put16(h, 24, static_cast<uint32_t>(crcExt));
    size_t at = kLevel2Base;
    h[at] = kExtHeaderCrc;  // CRC filled in below
    Put16(h, at + 3, static_cast<uint32_t>(nameExt));
    at += crcExt;
    h[at] = kExtFileName;
    for (size_t i = 0; i < m.name.size(); ++i) h[at + 1 + i] = static_cast<uint8_t>(m.name[i]);
    Put16(h, at + nameExt - 2, static_cast<uint32_t>(attributeExt));
    at += nameExt;
    h[at] = kExtAttribute;
    h[at + 1] = 0x20;  // archive bit
    Put16(h, at + 3, 0);
    Put16(h, kLevel2Base + 1, Crc16(h.data(), h.size()));
    return h;
}

}  // namespace lzh
