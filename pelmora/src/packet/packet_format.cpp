#include "packet/packet_format.h"

namespace pelmora {
namespace {

bool IsComposite(uint32_t base) {
    return base == PKT_ADT || base == PKT_ARRAY || base == PKT_TABLE;
}

// Width of one fixed value of the base type, or false when the width is not
// one the type allows.
bool FixedWidth(uint32_t base, uint32_t w, uint32_t* width) {
    switch (base) {
        case PKT_INT:
        case PKT_UINT:
            if (w != 1 && w != 2 && w != 4 && w != 8) return false;
            break;
        case PKT_FLOAT:
            if (w != 8 && w != 10) return false;
            break;
        case PKT_TIMESTAMP:
            if (w != 8) return false;
            break;
        case PKT_BCD:
            w = kBcdPacketBytes;
            break;
        case PKT_ADT:
        case PKT_ARRAY:
            w = 0;
            break;
        default:
            break;
    }
    *width = w;
    return true;
}

}  // namespace

EngineResult ClassifyType(uint32_t typeWord, ValueShape* shape) {
    const uint32_t base = PacketBaseType(typeWord);
    const uint32_t w = PacketWidth(typeWord);
    const bool varying = (typeWord & PKT_VARYING) != 0;
    const bool repeated = (typeWord & PKT_REPEATED) != 0;
    if (base == 0 || base > PKT_BYTES16) return DSERR_INVALIDFLDTYPE;
    if (varying && repeated) return DSERR_INVALIDFLDTYPE;

    ValueShape result;
    if (varying) {
        if (IsComposite(base) || (w != 1 && w != 2 && w != 4)) return DSERR_INVALIDFLDTYPE;
        result = {ValueKind::Varying, w};
    } else if (base == PKT_TABLE) {
        if (repeated) return DSERR_INVALIDFLDTYPE;
        result = {ValueKind::Table, 4};
    } else {
        uint32_t width = 0;
        if (!FixedWidth(base, w, &width)) return DSERR_INVALIDFLDTYPE;
        if (repeated && IsComposite(base)) return DSERR_INVALIDFLDTYPE;
        result = {repeated ? ValueKind::Repeated : ValueKind::Fixed, width};
    }
    if (shape) *shape = result;
    return DS_OK;
}

bool NeedsVersion2(uint32_t typeWord) {
    const uint32_t base = PacketBaseType(typeWord);
    return base >= PKT_ADT && base <= PKT_BYTES16;
}

bool IsBinaryPacket(const uint8_t* data, size_t size) {
    if (!data || size < 4) return false;
    const uint32_t magic = Load32(data);
    if (magic == kPacketAltMagic) return true;
    if (magic != kPacketMagic || size < 8) return false;
    return Load16(data + kOffVersion) <= kMaxBinaryVersion &&
           Load16(data + kOffRevision) <= kMaxBinaryVersion;
}

EngineResult ParseHeader(const uint8_t* data, size_t size, PacketHeader* header) {
    if (!data || size < kHeaderSize) return DSERR_DATAPACKETMISMATCH;
    PacketHeader h;
    h.magic = Load32(data + kOffMagic);
    h.version = Load16(data + kOffVersion);
    h.revision = Load16(data + kOffRevision);
    h.headerSize = Load32(data + kOffHeaderSize);
    h.columnCount = Load16(data + kOffColumnCount);
    h.rowCount = Load32(data + kOffRowCount);
    h.properties = Load32(data + kOffProperties);
    h.rowOffset = Load16(data + kOffRowOffset);
    if (h.headerSize < kHeaderSize || h.headerSize > size) return DSERR_DATAPACKETMISMATCH;
    *header = h;
    return DS_OK;
}

void BuildHeader(uint8_t* out, uint16_t columnCount, uint32_t properties) {
    std::memset(out, 0, kHeaderSize);
    Store32(out + kOffMagic, kPacketMagic);
    Store16(out + kOffVersion, 1);
    Store16(out + kOffRevision, 0);
    Store32(out + kOffHeaderSize, static_cast<uint32_t>(kHeaderSize));
    Store16(out + kOffColumnCount, columnCount);
    Store32(out + kOffRowCount, 0);
    Store32(out + kOffProperties, properties);
}

}  // namespace pelmora
