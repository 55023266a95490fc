#include "packet/packet_writer.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "com/error_text.h"
#include "xml/xml_writer.h"

namespace pelmora {
namespace {

constexpr uint32_t kMaxKind = 2;
constexpr char kReservedColumnName[] = "RowState";

// A byte array that takes over the buffer's block instead of copying it: a
// header of the byte-array layout whose data is the block, which the array's
// destruction frees separately (as for an array whose size was changed).
// Null, with the buffer untouched, when the packet is not in one block or
// the header cannot be had.
SAFEARRAY* AdoptBlock(PacketBuffer& buffer, uint32_t size) {
    if (size == 0 || buffer.ChunkCount() == 0) return nullptr;
    auto* array = static_cast<SAFEARRAY*>(std::calloc(1, sizeof(SAFEARRAY)));
    if (array == nullptr) return nullptr;
    uint8_t* block = buffer.TakeBlock();
    if (block == nullptr) {
        std::free(array);
        return nullptr;
    }
    array->cDims = 1;
    array->fFeatures = 0;
    array->cbElements = 1;
    array->pvData = block;
    array->rgsabound[0].cElements = size;
    array->rgsabound[0].lLbound = 0;
    return array;
}

// A value that was not fetched has no XML form. The document holds the
// columns before the rows, so a column type without one is met first.
EngineResult NotFetchedInXml(const std::vector<PacketColumnDesc>& columns) {
    if (EngineResult r = CheckXmlColumns(columns)) return r;
    return DSERR_NOTFETCHEDINXML;
}

}  // namespace

EngineResult TDATAPACKET_WRITE::Fail() {
    state_ = State::Broken;
    buffer_.Clear();
    meta_.clear();
    rows_.clear();
    return DSERR_NOMEMORY;
}

EngineResult TDATAPACKET_WRITE::StartBuffer(uint16_t columnCount, uint32_t properties) {
    if (!buffer_.Reset()) return Fail();
    uint8_t header[kHeaderSize];
    BuildHeader(header, columnCount, properties);
    buffer_.Append(header, kHeaderSize);
    rowOffsetRecorded_ = false;
    lastColumnOpen_ = false;
    rows_.clear();
    return DS_OK;
}

EngineResult TDATAPACKET_WRITE::BeginPacket(uint32_t kind, uint16_t columnCount) {
    if (kind > kMaxKind) return DSERR_DATAPACKETMISMATCH;
    try {
        columns_.clear();
        levels_.assign(1, PacketLevel{columnCount, {}});
        meta_.assign(1, MetaFrame{});
        withMetadata_ = true;
        announcedTop_ = columnCount;
        if (EngineResult r = StartBuffer(columnCount, kPropMetadata)) return r;
    } catch (const std::bad_alloc&) {
        return Fail();
    }
    state_ = State::Metadata;
    return DS_OK;
}

EngineResult TDATAPACKET_WRITE::BeginRowsOnly(uint32_t kind, uint16_t columnCount,
                                              const PacketColumnDesc* columns) {
    if (kind > kMaxKind) return DSERR_DATAPACKETMISMATCH;
    try {
        withMetadata_ = false;
        if (!columns && !columns_.empty()) return RestartRows();
        if (EngineResult r = StartBuffer(columnCount, 0)) return r;
        columns_.clear();
        meta_.assign(1, MetaFrame{});
        state_ = State::Metadata;
        if (!columns) {
            // Columns follow through AddColumn; rows may start once all are there.
            levels_.assign(1, PacketLevel{columnCount, {}});
            announcedTop_ = columnCount;
            if (columnCount == 0) {
                meta_.clear();
                rows_.assign(1, RowFrame{});
                state_ = State::Rows;
            }
            return DS_OK;
        }
        // The array holds `columnCount` descriptors; a nested-dataset column's
        // own columns follow it directly, so the top level is what remains.
        levels_.assign(1, PacketLevel{0xFFFFFFFFu, {}});
        for (uint16_t i = 0; i < columnCount; ++i) {
            if (EngineResult r = RegisterColumn(columns[i], false)) {
                state_ = State::Empty;
                columns_.clear();
                levels_.clear();
                meta_.clear();
                return r;
            }
        }
        if (meta_.size() != 1) {
            state_ = State::Empty;
            columns_.clear();
            levels_.clear();
            meta_.clear();
            return DSERR_DATAPACKETMISMATCH;
        }
        levels_[0].expected = static_cast<uint32_t>(levels_[0].columns.size());
        announcedTop_ = static_cast<uint16_t>(levels_[0].expected);
        buffer_.Write16(kOffColumnCount, announcedTop_);
        meta_.clear();
        rows_.assign(1, RowFrame{});
        state_ = State::Rows;
    } catch (const std::bad_alloc&) {
        return Fail();
    }
    return DS_OK;
}

EngineResult TDATAPACKET_WRITE::RestartRows() {
    if (columns_.empty() || !meta_.empty()) return DSERR_NOTSUPPORTED;
    try {
        withMetadata_ = false;
        if (EngineResult r = StartBuffer(announcedTop_, 0)) return r;
        for (const PacketColumnDesc& c : columns_) {
            if (NeedsVersion2(c.typeWord)) buffer_.Write16(kOffVersion, 2);
        }
        rows_.assign(1, RowFrame{});
    } catch (const std::bad_alloc&) {
        return Fail();
    }
    state_ = State::Rows;
    return DS_OK;
}

EngineResult TDATAPACKET_WRITE::AddColumn(const PacketColumnDesc* column) {
    if (!column) return DSERR_INVALIDPARAM;
    if (state_ == State::Broken) return DSERR_NOMEMORY;
    if (state_ != State::Metadata) return DSERR_NOTSUPPORTED;
    try {
        return RegisterColumn(*column, withMetadata_);
    } catch (const std::bad_alloc&) {
        return Fail();
    }
}

EngineResult TDATAPACKET_WRITE::RegisterColumn(const PacketColumnDesc& column,
                                               bool writeDescriptor) {
    if (meta_.empty()) return DSERR_NOTSUPPORTED;
    const int32_t levelIndex = meta_.back().level;
    if (meta_.back().blockStarted ||
        levels_[levelIndex].columns.size() >= levels_[levelIndex].expected)
        return DSERR_NOTSUPPORTED;

    PacketColumnDesc desc{};
    const size_t nameLength = strnlen(column.name, kMaxColumnName);
    std::memcpy(desc.name, column.name, nameLength);
    desc.typeWord = column.typeWord;
    desc.attributes = column.attributes;
    if (std::strcmp(desc.name, kReservedColumnName) == 0) return DSERR_NOTSUPPORTED;
    if (PacketBaseType(desc.typeWord) > PKT_BYTES16) return DSERR_NOTSUPPORTED;
    ValueShape shape;
    if (EngineResult r = ClassifyType(desc.typeWord, &shape)) return r;
    const bool table = shape.kind == ValueKind::Table;
    if (table && meta_.size() >= kMaxLevels) return DSERR_NOTSUPPORTED;

    // Room in the vectors first, so that nothing below can fail half-way.
    columns_.reserve(columns_.size() + 1);
    levels_[levelIndex].columns.reserve(levels_[levelIndex].columns.size() + 1);
    levels_.reserve(levels_.size() + 1);
    meta_.reserve(meta_.size() + 1);

    if (writeDescriptor) {
        if (!buffer_.Reserve(1 + nameLength + 4 + 2 + 2)) return Fail();
        buffer_.Append8(static_cast<uint8_t>(nameLength));
        buffer_.Append(desc.name, nameLength);
        buffer_.Append32(desc.typeWord);
        buffer_.Append16(desc.attributes);
        lastColumnCountAt_ = buffer_.Size();
        lastColumnCount_ = 0;
        buffer_.Append16(0);
        lastColumnOpen_ = true;
    }
    if (NeedsVersion2(desc.typeWord)) buffer_.Write16(kOffVersion, 2);

    LevelColumn entry{desc.typeWord, shape, -1, static_cast<uint32_t>(columns_.size())};
    columns_.push_back(desc);
    if (table) entry.childLevel = static_cast<int32_t>(levels_.size());
    levels_[levelIndex].columns.push_back(entry);
    if (table) {
        levels_.push_back(PacketLevel{PacketWidth(desc.typeWord), {}});
        meta_.push_back(MetaFrame{entry.childLevel, false, 0, 0});
    }

    if (!withMetadata_) {
        // Without metadata there are no dataset blocks: a level ends with its
        // last column, and the packet is ready for rows when the top one does.
        while (!meta_.empty()) {
            const PacketLevel& level = levels_[meta_.back().level];
            if (level.columns.size() < level.expected) break;
            meta_.pop_back();
        }
        if (meta_.empty()) {
            rows_.assign(1, RowFrame{});
            state_ = State::Rows;
        }
    }
    return DS_OK;
}

EngineResult TDATAPACKET_WRITE::AddParameter(uint32_t area, const char* name, uint32_t typeWord,
                                             uint32_t length, const void* value) {
    if (state_ == State::Broken) return DSERR_NOMEMORY;
    if (state_ != State::Metadata || !withMetadata_ || meta_.empty()) return DSERR_NOTSUPPORTED;
    if (!value) return CloseDatasetBlock();
    if (area > 1 || !name) return DSERR_INVALIDPARAM;
    return WriteParameter(area, name, typeWord, length, value);
}

EngineResult TDATAPACKET_WRITE::BeginDatasetBlock(MetaFrame& frame) {
    if (!buffer_.Reserve(2)) return Fail();
    frame.blockCountAt = buffer_.Size();
    frame.blockCount = 0;
    frame.blockStarted = true;
    buffer_.Append16(0);
    lastColumnOpen_ = false;
    return DS_OK;
}

EngineResult TDATAPACKET_WRITE::CloseDatasetBlock() {
    MetaFrame& frame = meta_.back();
    const PacketLevel& level = levels_[frame.level];
    if (level.columns.size() < level.expected) return DSERR_NOTSUPPORTED;
    if (!frame.blockStarted) {
        if (EngineResult r = BeginDatasetBlock(frame)) return r;
    }
    meta_.pop_back();
    lastColumnOpen_ = false;
    return DS_OK;
}

EngineResult TDATAPACKET_WRITE::WriteParameter(uint32_t area, const char* name, uint32_t typeWord,
                                               uint32_t length, const void* value) {
    const size_t nameLength = std::strlen(name);
    if (nameLength > 0xFF) return DSERR_INVALIDPARAM;
    ValueShape shape;
    if (EngineResult r = ClassifyType(typeWord, &shape)) return r;

    size_t prefix = 0;
    size_t bytes = shape.width;
    switch (shape.kind) {
        case ValueKind::Table:
            return DSERR_INVALIDFLDTYPE;
        case ValueKind::Varying:
            if (length > PrefixLimit(shape.width)) return DSERR_INVALIDPARAM;
            prefix = shape.width;
            bytes = length;
            break;
        case ValueKind::Repeated: {
            // The value is the element count followed by the elements.
            if (length < 4) return DSERR_INVALIDPARAM;
            const uint64_t need =
                4 + static_cast<uint64_t>(Load32(static_cast<const uint8_t*>(value))) * shape.width;
            if (need > length) return DSERR_INVALIDPARAM;
            bytes = static_cast<size_t>(need);
            break;
        }
        case ValueKind::Fixed:
            break;
    }

    MetaFrame& frame = meta_.back();
    if (area == 0) {
        if (!lastColumnOpen_ || lastColumnCount_ == 0xFFFF) return DSERR_NOTSUPPORTED;
    } else {
        const PacketLevel& level = levels_[frame.level];
        if (level.columns.size() < level.expected) return DSERR_NOTSUPPORTED;
        if (frame.blockStarted && frame.blockCount == 0xFFFF) return DSERR_NOTSUPPORTED;
    }
    const size_t blockHead = (area == 1 && !frame.blockStarted) ? 2 : 0;
    if (!buffer_.Reserve(blockHead + 1 + nameLength + 4 + prefix + bytes)) return Fail();
    if (blockHead) BeginDatasetBlock(frame);

    buffer_.Append8(static_cast<uint8_t>(nameLength));
    buffer_.Append(name, nameLength);
    buffer_.Append32(typeWord);
    if (prefix) {
        uint8_t p[4];
        StorePrefix(p, shape.width, length);
        buffer_.Append(p, prefix);
    }
    buffer_.Append(value, bytes);

    if (area == 0) {
        buffer_.Write16(lastColumnCountAt_, ++lastColumnCount_);
    } else {
        buffer_.Write16(frame.blockCountAt, ++frame.blockCount);
    }
    return DS_OK;
}

EngineResult TDATAPACKET_WRITE::FinishMetadata() {
    if (meta_.size() > 1) return DSERR_NESTEDOPEN;
    if (meta_.size() == 1) {
        if (!withMetadata_) return DSERR_NESTEDOPEN;
        const PacketLevel& top = levels_[0];
        if (top.columns.size() < top.expected) return DSERR_NESTEDOPEN;
        if (EngineResult r = CloseDatasetBlock()) return r;
    }
    rows_.assign(1, RowFrame{});
    state_ = State::Rows;
    return DS_OK;
}

void TDATAPACKET_WRITE::RecordRowOffset() {
    if (rowOffsetRecorded_) return;
    rowOffsetRecorded_ = true;
    const size_t end = buffer_.Size();
    if (end >= kMaxRowOffset) return;
    buffer_.Write16(kOffRowOffset, static_cast<uint16_t>(end));
    buffer_.Write32(kOffProperties, buffer_.Read32(kOffProperties) | kPropRowOffset);
}

bool TDATAPACKET_WRITE::ReserveHint(size_t bytes) {
    if (state_ == State::Empty || state_ == State::Broken) return false;
    return buffer_.Reserve(bytes);
}

EngineResult TDATAPACKET_WRITE::PutValue(uint32_t status, uint32_t length, const void* value) {
    if (state_ == State::Broken) return DSERR_NOMEMORY;
    if (state_ == State::Empty) return DSERR_NOTSUPPORTED;
    try {
        if (state_ == State::Metadata) {
            if (EngineResult r = FinishMetadata()) return r;
        }
    } catch (const std::bad_alloc&) {
        return Fail();
    }
    RowFrame& frame = rows_.back();
    if (frame.column < 0) return PutStatus(frame, status, value);
    return PutColumnValue(frame, status, length, value);
}

EngineResult TDATAPACKET_WRITE::PutStatus(RowFrame& frame, uint32_t status, const void* value) {
    if (status != 0 || !value) return DSERR_INVALIDPARAM;
    const PacketLevel& level = levels_[frame.level];
    const size_t bitmap = level.BitmapBytes();
    if (!buffer_.Reserve(1 + bitmap)) return Fail();
    if (rows_.size() == 1) RecordRowOffset();
    buffer_.Append8(*static_cast<const uint8_t*>(value));
    frame.bitmapAt = buffer_.Size();
    buffer_.AppendZeros(bitmap);
    frame.column = 0;
    if (level.columns.empty()) CompleteRow();
    return DS_OK;
}

EngineResult TDATAPACKET_WRITE::PutColumnValue(RowFrame& frame, uint32_t status, uint32_t length,
                                               const void* value) {
    const size_t k = static_cast<size_t>(frame.column);
    const LevelColumn& column = levels_[frame.level].columns[k];
    if (status > 2) return DSERR_INVALIDPARAM;
    if (status == 2 || status == 1 || !value) {
        const uint8_t bit = status == 2 ? UnchangedBit(k) : BlankBit(k);
        buffer_.OrByte(frame.bitmapAt + BitmapByte(k), bit);
        AdvanceColumn();
        return DS_OK;
    }

    const auto* bytes = static_cast<const uint8_t*>(value);
    const uint32_t width = column.shape.width;
    switch (column.shape.kind) {
        case ValueKind::Fixed:
            if (!buffer_.Reserve(width)) return Fail();
            buffer_.Append(bytes, width);
            break;
        case ValueKind::Varying:
            if (length & kLengthNotFetched) {
                // A BLOB whose bytes are elsewhere: its length alone.
                if (width != 4) return DSERR_INVALIDPARAM;
                if (xmlMode_ != 0) return NotFetchedInXml(columns_);
                if (!buffer_.Reserve(4)) return Fail();
                buffer_.Append32(length);
                break;
            }
            if (length > PrefixLimit(width)) return DSERR_INVALIDPARAM;
            if (!buffer_.Reserve(width + static_cast<size_t>(length))) return Fail();
            {
                uint8_t p[4];
                StorePrefix(p, width, length);
                buffer_.Append(p, width);
            }
            buffer_.Append(bytes, length);
            break;
        case ValueKind::Repeated: {
            if (length < 4) return DSERR_INVALIDPARAM;
            const uint64_t need = 4 + static_cast<uint64_t>(Load32(bytes)) * width;
            if (need > length) return DSERR_INVALIDPARAM;
            if (!buffer_.Reserve(static_cast<size_t>(need))) return Fail();
            buffer_.Append(bytes, static_cast<size_t>(need));
            break;
        }
        case ValueKind::Table: {
            const uint32_t count = Load32(bytes);
            if (count == kDetailsNotFetched) {
                if (xmlMode_ != 0) return NotFetchedInXml(columns_);
            } else if (count != kCountNotKnown && (count & 0x80000000u)) {
                return DSERR_INVALIDPARAM;
            }
            const bool opens = count != kDetailsNotFetched && count != 0;
            if (opens && rows_.size() >= kMaxLevels) return DSERR_NOTSUPPORTED;
            try {
                rows_.reserve(rows_.size() + 1);
            } catch (const std::bad_alloc&) {
                return Fail();
            }
            if (!buffer_.Reserve(4)) return Fail();
            RowFrame nested;
            nested.level = column.childLevel;
            nested.countAt = buffer_.Size();
            buffer_.Append32(count == kCountNotKnown ? 0 : count);
            if (!opens) break;
            nested.countKnown = count != kCountNotKnown;
            nested.remaining = nested.countKnown ? count : 0;
            rows_.push_back(nested);  // `frame` is not used after this point
            return DS_OK;
        }
    }
    AdvanceColumn();
    return DS_OK;
}

void TDATAPACKET_WRITE::AdvanceColumn() {
    RowFrame& frame = rows_.back();
    ++frame.column;
    if (static_cast<size_t>(frame.column) == levels_[frame.level].columns.size()) CompleteRow();
}

void TDATAPACKET_WRITE::CompleteRow() {
    RowFrame& frame = rows_.back();
    frame.column = -1;
    if (rows_.size() == 1) {
        buffer_.Write32(kOffRowCount, buffer_.Read32(kOffRowCount) + 1);
        return;
    }
    if (!frame.countKnown) {
        ++frame.written;
        return;
    }
    if (--frame.remaining == 0) {
        rows_.pop_back();
        AdvanceColumn();
    }
}

EngineResult TDATAPACKET_WRITE::CloseNestedRows() {
    if (state_ == State::Broken) return DSERR_NOMEMORY;
    if (state_ != State::Rows || rows_.size() < 2) return DSERR_NOTSUPPORTED;
    RowFrame& frame = rows_.back();
    if (frame.countKnown || frame.column != -1) return DSERR_NOTSUPPORTED;
    buffer_.Write32(frame.countAt, frame.written);
    rows_.pop_back();
    AdvanceColumn();
    return DS_OK;
}

bool TDATAPACKET_WRITE::RowsAtRest() const {
    return state_ != State::Rows || (rows_.size() == 1 && rows_[0].column == -1);
}

EngineResult TDATAPACKET_WRITE::TakePacket(SAFEARRAY** out) {
    if (!out) return DSERR_INVALIDPARAM;
    if (state_ == State::Broken) return DSERR_NOMEMORY;
    if (state_ == State::Empty) return DSERR_NOTSUPPORTED;
    try {
        if (state_ == State::Metadata) {
            EngineResult r = FinishMetadata();
            if (r == DSERR_NESTEDOPEN) return DSERR_DATAPACKETMISMATCH;
            if (r) return r;
        }
    } catch (const std::bad_alloc&) {
        return Fail();
    }
    // A row cut short, or a detail list whose count is still open, would
    // leave counts in the packet that do not match its rows.
    if (!RowsAtRest()) return DSERR_NOTSUPPORTED;
    if (xmlMode_ != 0) return TakeXmlPacket(out);

    RecordRowOffset();
    const size_t size = buffer_.Size();
    if (size > 0xFFFFFFFFu) return DSERR_NOMEMORY;
    SAFEARRAY* array = AdoptBlock(buffer_, static_cast<uint32_t>(size));
    if (!array) {
        array = SafeArrayCreateVector(VT_UI1, 0, static_cast<uint32_t>(size));
        if (!array) return DSERR_NOMEMORY;
        buffer_.CopyTo(static_cast<uint8_t*>(array->pvData));
    }
    *out = array;
    takenSize_ = static_cast<uint32_t>(size);
    buffer_.Clear();
    rows_.clear();
    state_ = State::Empty;
    return DS_OK;
}

EngineResult TDATAPACKET_WRITE::TakeXmlPacket(SAFEARRAY** out) {
    // The XML form is made from the finished binary packet; when it cannot
    // be made the packet stays, so that it can still be taken in binary.
    RecordRowOffset();
    const size_t size = buffer_.Size();
    if (size > 0xFFFFFFFFu) return DSERR_NOMEMORY;
    SAFEARRAY* binary = SafeArrayCreateVector(VT_UI1, 0, static_cast<uint32_t>(size));
    if (!binary) return DSERR_NOMEMORY;
    buffer_.CopyTo(static_cast<uint8_t*>(binary->pvData));
    std::string xml;
    EngineResult r = DS_OK;
    try {
        r = WriteXmlPacket(binary, xmlMode_, columns_, levels_, &xml);
    } catch (const std::bad_alloc&) {
        r = DSERR_NOMEMORY;
    }
    const uint32_t rowCount = Load32(static_cast<const uint8_t*>(binary->pvData) + kOffRowCount);
    SafeArrayDestroy(binary);
    if (r) return r;

    // Without bit 0 or 1 the body follows a binary header that says so.
    const bool inHeader = (xmlMode_ & kXmlStandalone) == 0;
    const size_t total = xml.size() + (inHeader ? kHeaderSize : 0);
    if (total > 0xFFFFFFFFu) return DSERR_NOMEMORY;
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<uint32_t>(total));
    if (!array) return DSERR_NOMEMORY;
    auto* bytes = static_cast<uint8_t*>(array->pvData);
    if (inHeader) {
        const uint32_t properties = kPropXmlBody | ((xmlMode_ & kXmlMetadata) ? kPropMetadata : 0);
        BuildHeader(bytes, announcedTop_, properties);
        Store32(bytes + kOffRowCount, rowCount);
        for (const PacketColumnDesc& c : columns_) {
            if (NeedsVersion2(c.typeWord)) Store16(bytes + kOffVersion, 2);
        }
        bytes += kHeaderSize;
    }
    std::memcpy(bytes, xml.data(), xml.size());
    *out = array;
    takenSize_ = static_cast<uint32_t>(total);
    buffer_.Clear();
    rows_.clear();
    state_ = State::Empty;
    return DS_OK;
}

EngineResult TDATAPACKET_WRITE::ReadPacketSize(uint32_t* size) {
    if (!size) return DSERR_INVALIDPARAM;
    *size = state_ == State::Empty ? takenSize_ : static_cast<uint32_t>(buffer_.Size());
    return DS_OK;
}

EngineResult TDATAPACKET_WRITE::ReadColumnCount(uint32_t* count) {
    if (!count) return DSERR_INVALIDPARAM;
    *count = static_cast<uint32_t>(columns_.size());
    return DS_OK;
}

EngineResult TDATAPACKET_WRITE::ReadColumns(PacketColumnDesc* out) {
    if (!out) return DSERR_INVALIDPARAM;
    if (!columns_.empty()) std::memcpy(out, columns_.data(), columns_.size() * sizeof(*out));
    return DS_OK;
}

EngineResult TDATAPACKET_WRITE::ErrorText(uint32_t code, char* buffer) {
    return pelmora::ErrorText(code, buffer);
}

EngineResult TDATAPACKET_WRITE::SetXmlOutput(uint32_t mode) {
    xmlMode_ = mode;
    return DS_OK;
}

uint32_t TDATAPACKET_WRITE::ReadXmlOutput() {
    return xmlMode_;
}

}  // namespace pelmora
