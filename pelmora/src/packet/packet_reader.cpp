#include "packet/packet_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "com/error_text.h"
#include "xml/xml_reader.h"

namespace pelmora {

EngineResult TDATAPACKET_READ::AttachBytes(SAFEARRAY* packet) {
    ReleaseBytes();
    if (!packet || packet->cDims != 1 || packet->cbElements != 1) return DSERR_NOTSUPPORTED;
    const uint32_t count = packet->rgsabound[0].cElements;
    if (count > 0 && !packet->pvData) return DSERR_NOTSUPPORTED;
    data_ = static_cast<const uint8_t*>(packet->pvData);
    size_ = count;
    return DS_OK;
}

void TDATAPACKET_READ::ReleaseBytes() {
    data_ = nullptr;
    size_ = 0;
    pos_ = 0;
}

TDATAPACKET_READ::~TDATAPACKET_READ() {
    DropConverted();
}

void TDATAPACKET_READ::DropConverted() {
    if (converted_) SafeArrayDestroy(converted_);
    converted_ = nullptr;
}

EngineResult TDATAPACKET_READ::OpenXmlPacket(const uint8_t* data, size_t size, bool inHeader,
                                             bool forRows) {
    XmlConversion conversion;
    EngineResult r = DS_OK;
    try {
        // Rows of a further packet are read for the columns known from before.
        XmlSchema known;
        if (forRows && columnsKnown_) {
            known.levels.resize(levels_.size());
            for (size_t li = 0; li < levels_.size(); ++li) {
                for (const LevelColumn& lc : levels_[li].columns) {
                    XmlColumn c;
                    c.typeWord = lc.typeWord;
                    c.childLevel = lc.childLevel;
                    c.ordinal = lc.ordinal;
                    if (lc.ordinal < names_.size()) c.name = names_[lc.ordinal];
                    if (lc.ordinal < attrNames_.size()) c.attrName = attrNames_[lc.ordinal];
                    if (lc.ordinal < scales_.size()) {
                        const Scale& scale = scales_[lc.ordinal];
                        auto add = [&](const char* name, int32_t v) {
                            if (v < 0) return;
                            const char bytes[2] = {static_cast<char>(v & 0xFF),
                                                   static_cast<char>((v >> 8) & 0xFF)};
                            c.params.push_back(
                                {name, (PKT_UINT << PKT_BASE_SHIFT) | 2, std::string(bytes, 2)});
                        };
                        add("WIDTH", scale.width);
                        add("DECIMALS", scale.decimals);
                    }
                    known.levels[li].columns.push_back(std::move(c));
                }
            }
        }
        r = ConvertXmlPacket(data, size, forRows ? &known : nullptr, &conversion);
    } catch (const std::bad_alloc&) {
        r = DSERR_NOMEMORY;
    }
    ReleaseBytes();
    if (r) {
        if (conversion.packet) SafeArrayDestroy(conversion.packet);
        open_ = false;
        return r;
    }
    DropConverted();
    converted_ = conversion.packet;
    data_ = static_cast<const uint8_t*>(converted_->pvData);
    size_ = converted_->rgsabound[0].cElements;
    r = forRows ? OpenRowsAttached(true) : OpenAttached(true);
    if (r) return r;
    // The mode the packet was written with, as far as the document tells.
    xmlMode_ = (inHeader ? kXmlInHeader : 1u) | (conversion.metadata ? kXmlMetadata : 0u);
    hasMetadata_ = conversion.metadata;
    if (!forRows) {
        try {
            attrNames_ = std::move(conversion.attrNames);
        } catch (const std::bad_alloc&) {
            return DSERR_NOMEMORY;
        }
    }
    return DS_OK;
}

EngineResult TDATAPACKET_READ::OpenPacket(SAFEARRAY* packet) {
    open_ = false;
    metaDone_ = false;
    released_ = false;
    columnsKnown_ = false;
    inColumnBlock_ = false;
    xmlMode_ = 0;
    levels_.clear();
    meta_.clear();
    rows_.clear();
    names_.clear();
    attrNames_.clear();
    scales_.clear();
    if (AttachBytes(packet)) return DSERR_NOTSUPPORTED;
    DropConverted();
    return OpenAttached(false);
}

bool TDATAPACKET_READ::OpenHeaderOrXml(bool converted, bool forRows, PacketHeader* header,
                                       EngineResult* result) {
    // A document converted from XML must be binary now.
    if (!IsBinaryPacket(data_, size_)) {
        *result = converted ? static_cast<EngineResult>(DSERR_DATAPACKETMISMATCH)
                            : OpenXmlPacket(data_, size_, false, forRows);
        return true;
    }
    if (EngineResult r = ParseHeader(data_, size_, header)) {
        ReleaseBytes();
        *result = r;
        return true;
    }
    if (header->properties & kPropXmlBody) {
        *result = converted ? static_cast<EngineResult>(DSERR_DATAPACKETMISMATCH)
                            : OpenXmlPacket(data_ + header->headerSize, size_ - header->headerSize,
                                            true, forRows);
        return true;
    }
    return false;
}

EngineResult TDATAPACKET_READ::OpenAttached(bool converted) {
    PacketHeader header;
    if (EngineResult r = DS_OK; OpenHeaderOrXml(converted, false, &header, &r)) return r;

    const bool metadata = (header.properties & kPropMetadata) != 0;
    try {
        levels_.assign(1, PacketLevel{header.columnCount, {}});
        if (metadata) meta_.assign(1, MetaFrame{});
        rows_.assign(1, RowFrame{0, -1, 0, header.rowCount});
    } catch (const std::bad_alloc&) {
        ReleaseBytes();
        return DSERR_NOMEMORY;
    }
    metaDone_ = !metadata;
    columnsKnown_ = metadata || header.columnCount == 0;
    hasMetadata_ = metadata;
    rowCount_ = header.rowCount;
    pos_ = header.headerSize;
    open_ = true;
    return DS_OK;
}

EngineResult TDATAPACKET_READ::OpenRowsWithLevels(SAFEARRAY* packet,
                                                  const std::vector<PacketLevel>& levels) {
    try {
        levels_ = levels;
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    columnsKnown_ = !levels_.empty();
    return OpenRows(packet);
}

EngineResult TDATAPACKET_READ::OpenRows(SAFEARRAY* packet) {
    if (!packet) return DSERR_INVALIDPARAM;
    open_ = false;
    released_ = false;
    inColumnBlock_ = false;
    meta_.clear();
    rows_.clear();
    if (AttachBytes(packet)) return DSERR_NOTSUPPORTED;
    DropConverted();
    return OpenRowsAttached(false);
}

EngineResult TDATAPACKET_READ::OpenRowsAttached(bool converted) {
    PacketHeader header;
    if (EngineResult r = DS_OK; OpenHeaderOrXml(converted, true, &header, &r)) return r;
    // The rows must have the shape of the columns read before.
    const bool known = columnsKnown_ && !levels_.empty();
    if (known && levels_[0].columns.size() != header.columnCount) {
        ReleaseBytes();
        return DSERR_DATAPACKETMISMATCH;
    }
    size_t start = header.headerSize;
    if (header.properties & kPropRowOffset) {
        start = header.rowOffset;
        if (start < header.headerSize || start > size_) {
            ReleaseBytes();
            return DSERR_DATAPACKETMISMATCH;
        }
    } else if ((header.properties & kPropMetadata) && header.rowCount > 0) {
        // Rows behind metadata that cannot be skipped.
        ReleaseBytes();
        return DSERR_DATAPACKETMISMATCH;
    }
    try {
        if (!known) {
            levels_.assign(1, PacketLevel{header.columnCount, {}});
            columnsKnown_ = header.columnCount == 0;
        }
        rows_.assign(1, RowFrame{0, -1, 0, header.rowCount});
    } catch (const std::bad_alloc&) {
        ReleaseBytes();
        return DSERR_NOMEMORY;
    }
    pos_ = start;
    metaDone_ = true;
    hasMetadata_ = (header.properties & kPropMetadata) != 0;
    rowCount_ = header.rowCount;
    open_ = true;
    if ((header.properties & kPropRowOffset) && header.rowCount == 0) {
        ReleaseBytes();
        released_ = true;
    }
    return DS_OK;
}

EngineResult TDATAPACKET_READ::NextColumn(PacketColumnDesc* out) {
    if (!out) return DSERR_INVALIDPARAM;
    if (!open_) return DSERR_NOTSUPPORTED;
    if (metaDone_) return DSERR_EOF;
    if (inColumnBlock_ && columnRemaining_ > 0) return DSERR_NOTSUPPORTED;
    inColumnBlock_ = false;

    const MetaFrame& frame = meta_.back();
    const int32_t levelIndex = frame.level;
    if (frame.blockOpen || levels_[levelIndex].columns.size() >= levels_[levelIndex].expected)
        return DSERR_EOF;

    if (!Has(pos_, 1)) return DSERR_DATAPACKETMISMATCH;
    const size_t nameLength = data_[pos_];
    if (!Has(pos_ + 1, nameLength + 8)) return DSERR_DATAPACKETMISMATCH;
    const uint8_t* p = data_ + pos_ + 1;
    const uint32_t typeWord = Load32(p + nameLength);
    const uint16_t attributes = Load16(p + nameLength + 4);
    const uint16_t parameters = Load16(p + nameLength + 6);
    if (PacketBaseType(typeWord) > PKT_BYTES16) return DSERR_NOTSUPPORTED;
    ValueShape shape;
    if (EngineResult r = ClassifyType(typeWord, &shape)) return r;
    const bool table = shape.kind == ValueKind::Table;
    if (table && meta_.size() >= kMaxLevels) return DSERR_NOTSUPPORTED;

    LevelColumn entry{typeWord, shape, -1, static_cast<uint32_t>(names_.size())};
    try {
        names_.emplace_back(reinterpret_cast<const char*>(p),
                            nameLength < kMaxColumnName ? nameLength : kMaxColumnName);
        scales_.resize(names_.size());
        if (table) {
            entry.childLevel = static_cast<int32_t>(levels_.size());
            levels_.push_back(PacketLevel{PacketWidth(typeWord), {}});
            meta_.reserve(meta_.size() + 1);
        }
        levels_[levelIndex].columns.push_back(entry);
    } catch (const std::bad_alloc&) {
        if (table && levels_.size() > static_cast<size_t>(entry.childLevel)) levels_.pop_back();
        if (names_.size() > entry.ordinal) names_.pop_back();
        scales_.resize(names_.size());
        return DSERR_NOMEMORY;
    }
    if (table) meta_.push_back(MetaFrame{entry.childLevel, false, 0});

    std::memset(out, 0, sizeof(*out));
    std::memcpy(out->name, p, nameLength < kMaxColumnName ? nameLength : kMaxColumnName);
    out->typeWord = typeWord;
    out->attributes = attributes;
    pos_ += 1 + nameLength + 8;
    inColumnBlock_ = true;
    columnRemaining_ = parameters;
    return DS_OK;
}

EngineResult TDATAPACKET_READ::ParseParameter(size_t at, ParameterSpot* spot) const {
    if (!Has(at, 1)) return DSERR_DATAPACKETMISMATCH;
    const uint8_t nameLength = data_[at];
    if (!Has(at + 1, static_cast<size_t>(nameLength) + 4)) return DSERR_DATAPACKETMISMATCH;
    ParameterSpot s;
    s.nameAt = at + 1;
    s.nameLength = nameLength;
    s.typeWord = Load32(data_ + s.nameAt + nameLength);
    s.valueAt = s.nameAt + nameLength + 4;
    ValueShape shape;
    if (EngineResult r = ClassifyType(s.typeWord, &shape)) return r;
    uint64_t bytes = shape.width;
    switch (shape.kind) {
        case ValueKind::Table:
            return DSERR_INVALIDFLDTYPE;
        case ValueKind::Fixed:
            break;
        case ValueKind::Varying:
            if (!Has(s.valueAt, shape.width)) return DSERR_DATAPACKETMISMATCH;
            bytes = LoadPrefix(data_ + s.valueAt, shape.width);
            s.valueAt += shape.width;
            break;
        case ValueKind::Repeated:
            if (!Has(s.valueAt, 4)) return DSERR_DATAPACKETMISMATCH;
            bytes = 4 + static_cast<uint64_t>(Load32(data_ + s.valueAt)) * shape.width;
            break;
    }
    if (bytes > size_ || !Has(s.valueAt, static_cast<size_t>(bytes)))
        return DSERR_DATAPACKETMISMATCH;
    s.valueLength = static_cast<uint32_t>(bytes);
    s.end = s.valueAt + static_cast<size_t>(bytes);
    *spot = s;
    return DS_OK;
}

EngineResult TDATAPACKET_READ::LocateParameter(size_t* at) const {
    if (inColumnBlock_) {
        if (columnRemaining_ == 0) return DSERR_EOF;
        *at = pos_;
        return DS_OK;
    }
    const MetaFrame& frame = meta_.back();
    const PacketLevel& level = levels_[frame.level];
    if (level.columns.size() < level.expected) return DSERR_EOF;
    if (frame.blockOpen) {
        if (frame.blockRemaining == 0) return DSERR_EOF;
        *at = pos_;
        return DS_OK;
    }
    if (!Has(pos_, 2)) return DSERR_DATAPACKETMISMATCH;
    if (Load16(data_ + pos_) == 0) return DSERR_EOF;
    *at = pos_ + 2;
    return DS_OK;
}

void TDATAPACKET_READ::LeaveDatasetBlock() {
    meta_.pop_back();
    if (meta_.empty()) metaDone_ = true;
}

EngineResult TDATAPACKET_READ::PeekParameterLength(uint32_t* length) {
    if (!length) return DSERR_INVALIDPARAM;
    if (!open_) return DSERR_NOTSUPPORTED;
    if (metaDone_) return DSERR_EOF;
    size_t at = 0;
    if (EngineResult r = LocateParameter(&at)) return r;
    ParameterSpot spot;
    if (EngineResult r = ParseParameter(at, &spot)) return r;
    *length = spot.valueLength;
    return DS_OK;
}

EngineResult TDATAPACKET_READ::NextParameter(char* name, uint32_t* typeWord, uint32_t* length,
                                             void* value) {
    if (!length) return DSERR_INVALIDPARAM;
    if (!open_) return DSERR_NOTSUPPORTED;
    if (metaDone_) return DSERR_EOF;

    uint16_t* remaining = &columnRemaining_;
    if (inColumnBlock_) {
        if (columnRemaining_ == 0) {
            // The column's block is done; what follows belongs to the level.
            inColumnBlock_ = false;
            return DSERR_EOF;
        }
    } else {
        MetaFrame& frame = meta_.back();
        const PacketLevel& level = levels_[frame.level];
        if (level.columns.size() < level.expected) return DSERR_EOF;
        if (!frame.blockOpen) {
            if (!Has(pos_, 2)) return DSERR_DATAPACKETMISMATCH;
            frame.blockRemaining = Load16(data_ + pos_);
            frame.blockOpen = true;
            pos_ += 2;
        }
        if (frame.blockRemaining == 0) {
            LeaveDatasetBlock();
            return DSERR_EOF;
        }
        remaining = &frame.blockRemaining;
    }

    ParameterSpot spot;
    if (EngineResult r = ParseParameter(pos_, &spot)) return r;
    if (*length < spot.valueLength) {
        *length = spot.valueLength;
        return DSERR_INVALIDPARAM;
    }
    *length = spot.valueLength;
    if (typeWord) *typeWord = spot.typeWord;
    if (name) {
        const size_t n = spot.nameLength < kMaxColumnName ? spot.nameLength : kMaxColumnName;
        std::memcpy(name, data_ + spot.nameAt, n);
        name[n] = '\0';
    }
    if (value && spot.valueLength) std::memcpy(value, data_ + spot.valueAt, spot.valueLength);
    if (name && value) {
        if (inColumnBlock_ && !scales_.empty()) NoteScale(spot);
        pos_ = spot.end;
        --*remaining;
    }
    return DS_OK;
}

void TDATAPACKET_READ::NoteScale(const ParameterSpot& spot) {
    const std::string_view name(reinterpret_cast<const char*>(data_ + spot.nameAt),
                                spot.nameLength);
    if (name != "WIDTH" && name != "DECIMALS") return;
    ValueShape shape;
    if (ClassifyType(spot.typeWord, &shape) || shape.kind != ValueKind::Fixed) return;
    uint32_t v = 0;
    for (uint32_t i = 0; i < spot.valueLength && i < 4; ++i)
        v |= static_cast<uint32_t>(data_[spot.valueAt + i]) << (8 * i);
    const auto value = static_cast<int32_t>(v & 0xFFFF);
    if (name == "WIDTH")
        scales_.back().width = value;
    else
        scales_.back().decimals = value;
}

EngineResult TDATAPACKET_READ::LocateItem(ItemSpot* spot) const {
    const RowFrame& frame = rows_.back();
    const PacketLevel& level = levels_[frame.level];
    ItemSpot s;
    if (frame.column < 0) {
        const size_t bitmap = level.BitmapBytes();
        if (!Has(pos_, 1 + bitmap)) return DSERR_DATAPACKETMISMATCH;
        s.isStatus = true;
        s.valueAt = pos_;
        s.length = s.copyBytes = 1;
        s.end = pos_ + 1 + bitmap;
        *spot = s;
        return DS_OK;
    }

    const size_t k = static_cast<size_t>(frame.column);
    const uint8_t bits = data_[frame.bitmapAt + BitmapByte(k)];
    s.end = pos_;
    if (bits & BlankBit(k)) {
        s.status = 1;
        *spot = s;
        return DS_OK;
    }
    if (bits & UnchangedBit(k)) {
        s.status = 2;
        *spot = s;
        return DS_OK;
    }

    const LevelColumn& column = level.columns[k];
    const uint32_t width = column.shape.width;
    uint64_t bytes = width;
    s.valueAt = pos_;
    switch (column.shape.kind) {
        case ValueKind::Fixed:
            break;
        case ValueKind::Varying: {
            if (!Has(pos_, width)) return DSERR_DATAPACKETMISMATCH;
            const uint32_t announced = LoadPrefix(data_ + pos_, width);
            s.valueAt = pos_ + width;
            if (width == 4 && (announced & kLengthNotFetched)) {
                // A BLOB left behind by the sender: the length alone.
                s.length = announced;
                s.copyBytes = 0;
                s.end = s.valueAt;
                *spot = s;
                return DS_OK;
            }
            bytes = announced;
            break;
        }
        case ValueKind::Repeated:
            if (!Has(pos_, 4)) return DSERR_DATAPACKETMISMATCH;
            bytes = 4 + static_cast<uint64_t>(Load32(data_ + pos_)) * width;
            break;
        case ValueKind::Table: {
            if (!Has(pos_, 4)) return DSERR_DATAPACKETMISMATCH;
            const uint32_t count = Load32(data_ + pos_);
            if (count != kDetailsNotFetched && count != 0) {
                if (count & 0x80000000u) return DSERR_DATAPACKETMISMATCH;
                // Every detail row takes at least its status and bitmap.
                const size_t minRow = 1 + levels_[column.childLevel].BitmapBytes();
                if (count > (size_ - pos_ - 4) / minRow) return DSERR_DATAPACKETMISMATCH;
                if (rows_.size() >= kMaxLevels) return DSERR_NOTSUPPORTED;
                s.opensRows = true;
                s.detailRows = count;
            }
            break;
        }
    }
    if (bytes > size_ || !Has(s.valueAt, static_cast<size_t>(bytes)))
        return DSERR_DATAPACKETMISMATCH;
    s.length = s.copyBytes = static_cast<uint32_t>(bytes);
    s.end = s.valueAt + static_cast<size_t>(bytes);
    *spot = s;
    return DS_OK;
}

void TDATAPACKET_READ::ConsumeItem(const ItemSpot& spot) {
    pos_ = spot.end;
    RowFrame& frame = rows_.back();
    if (spot.isStatus) {
        frame.bitmapAt = spot.valueAt + 1;
        frame.column = 0;
        if (levels_[frame.level].columns.empty()) CompleteRow();
        return;
    }
    if (spot.opensRows) {
        const int32_t child = levels_[frame.level].columns[frame.column].childLevel;
        rows_.push_back(RowFrame{child, -1, 0, spot.detailRows});  // room reserved by caller
        return;
    }
    AdvanceColumn();
}

void TDATAPACKET_READ::AdvanceColumn() {
    RowFrame& frame = rows_.back();
    ++frame.column;
    if (static_cast<size_t>(frame.column) == levels_[frame.level].columns.size()) CompleteRow();
}

void TDATAPACKET_READ::CompleteRow() {
    RowFrame& frame = rows_.back();
    frame.column = -1;
    --frame.remaining;
    if (frame.remaining > 0) return;
    if (rows_.size() > 1) {
        rows_.pop_back();
        AdvanceColumn();
        return;
    }
    // The last announced row has been read: the caller's bytes are let go.
    ReleaseBytes();
    released_ = true;
}

EngineResult TDATAPACKET_READ::PeekValueLength(uint32_t* length) {
    if (!length) return DSERR_INVALIDPARAM;
    if (!open_ || !metaDone_ || !columnsKnown_) return DSERR_NOTSUPPORTED;
    if (released_ || (rows_.size() == 1 && rows_[0].column < 0 && rows_[0].remaining == 0))
        return DSERR_EOF;
    ItemSpot spot;
    if (EngineResult r = LocateItem(&spot)) return r;
    *length = spot.status == 0 ? spot.length : 0;
    return DS_OK;
}

EngineResult TDATAPACKET_READ::NextValue(uint32_t* length, void* value, uint32_t* status) {
    if (!open_ || !metaDone_ || !columnsKnown_) return DSERR_NOTSUPPORTED;
    if (released_) return DSERR_EOF;
    if (rows_.size() == 1 && rows_[0].column < 0 && rows_[0].remaining == 0) {
        ReleaseBytes();
        released_ = true;
        return DSERR_EOF;
    }
    if (!length) return DSERR_INVALIDPARAM;
    ItemSpot spot;
    if (EngineResult r = LocateItem(&spot)) return r;
    if (spot.opensRows) {
        try {
            rows_.reserve(rows_.size() + 1);
        } catch (const std::bad_alloc&) {
            return DSERR_NOMEMORY;
        }
    }
    const bool moveOn = value || status;

    if (spot.status != 0) {
        *length = 0;
        if (status) *status = spot.status;
        if (moveOn) ConsumeItem(spot);
        return spot.status == 1 ? DSERR_FIELDISBLANK : DS_OK;
    }
    const bool notFetched = !spot.isStatus && spot.copyBytes == 0 && spot.length != 0;
    if (!notFetched && *length < spot.length) {
        *length = spot.length;
        return DSERR_INVALIDPARAM;
    }
    *length = spot.length;
    if (status) *status = 0;
    if (value && spot.copyBytes) std::memcpy(value, data_ + spot.valueAt, spot.copyBytes);
    if (moveOn) ConsumeItem(spot);
    return DS_OK;
}

EngineResult TDATAPACKET_READ::NextItemInPlace(InPlaceItem* item) {
    if (!open_ || !metaDone_ || !columnsKnown_) return DSERR_NOTSUPPORTED;
    if (released_) return DSERR_EOF;
    if (rows_.size() == 1 && rows_[0].column < 0 && rows_[0].remaining == 0) {
        ReleaseBytes();
        released_ = true;
        return DSERR_EOF;
    }
    ItemSpot spot;
    if (EngineResult r = LocateItem(&spot)) return r;
    if (spot.opensRows) {
        try {
            rows_.reserve(rows_.size() + 1);
        } catch (const std::bad_alloc&) {
            return DSERR_NOMEMORY;
        }
    }
    item->status = spot.status;
    item->length = spot.status == 0 ? spot.length : 0;
    // The bytes outlive ConsumeItem: releasing only forgets where they are.
    const bool notFetched = !spot.isStatus && spot.copyBytes == 0 && spot.length != 0;
    item->bytes = spot.status == 0 && !notFetched ? data_ + spot.valueAt : nullptr;
    ConsumeItem(spot);
    return spot.status == 1 ? DSERR_FIELDISBLANK : DS_OK;
}

EngineResult TDATAPACKET_READ::NextRowInPlace(uint8_t* status, InPlaceItem* items, size_t count) {
    uint32_t read = 0;
    const EngineResult r = NextRowsInPlace(status, items, count, 1, &read);
    if (r == DS_OK && read == 0) return DSERR_EOF;
    return r;
}

EngineResult TDATAPACKET_READ::NextRowsInPlace(uint8_t* statuses, InPlaceItem* items, size_t count,
                                               uint32_t rows, uint32_t* read) {
    return ForEachRowInPlace(count, rows, read, [&](uint8_t status, const InPlaceItem* row) {
        statuses[*read - 1] = status;
        std::copy_n(row, count, items + static_cast<size_t>(*read - 1) * count);
        return DS_OK;
    });
}

EngineResult TDATAPACKET_READ::BeginRowsInPlace(size_t count) {
    if (!open_ || !metaDone_ || !columnsKnown_) return DSERR_NOTSUPPORTED;
    if (released_) return DSERR_EOF;
    if (rows_.size() == 1 && rows_[0].column < 0 && rows_[0].remaining == 0) {
        ReleaseBytes();
        released_ = true;
        return DSERR_EOF;
    }
    if (rows_.back().column >= 0) return DSERR_NOTSUPPORTED;
    const PacketLevel& level = levels_[rows_.back().level];
    if (level.columns.size() != count) return DSERR_NOTSUPPORTED;
    for (const LevelColumn& column : level.columns) {
        if (column.shape.kind == ValueKind::Table) return DSERR_NOTSUPPORTED;
    }
    try {
        row_.resize(count);
        rowShapes_.resize(count);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    for (size_t k = 0; k < count; ++k) rowShapes_[k] = level.columns[k].shape;
    return DS_OK;
}

EngineResult TDATAPACKET_READ::NextWholeRow(uint8_t* status, bool* took, bool* last) {
    // The level's rows end with the packet's last announced row or, for a
    // detail level, with its master's count.
    *took = false;
    *last = false;
    RowFrame& frame = rows_.back();
    if (released_ || frame.remaining == 0 || frame.column >= 0) return DS_OK;
    const size_t start = pos_;
    if (EngineResult r = LocateRow(data_, size_, &pos_, rowShapes_.data(), rowShapes_.size(),
                                   status, row_.data());
        r != DS_OK)
        return r;
    frame.bitmapAt = start + 1;
    // The last row of a detail level hands over to its master's row.
    *took = true;
    *last = frame.remaining == 1;
    CompleteRow();
    return DS_OK;
}

EngineResult TDATAPACKET_READ::TopRows(size_t count, RowCursor* cursor) {
    if (EngineResult r = BeginRowsInPlace(count); r != DS_OK) return r;
    if (rows_.size() != 1) return DSERR_NOTSUPPORTED;
    *cursor = RowCursor(data_, size_, pos_, rows_[0].remaining, rowShapes_.data(), count);
    return DS_OK;
}

void TDATAPACKET_READ::TakeTopRows(const RowCursor& cursor) {
    if (!open_ || released_ || rows_.size() != 1 || rows_[0].column >= 0) return;
    pos_ = cursor.pos();
    rows_[0].remaining = cursor.remaining();
    if (rows_[0].remaining == 0) {
        // The last announced row has been read: the caller's bytes are let go.
        ReleaseBytes();
        released_ = true;
    }
}

EngineResult TDATAPACKET_READ::ErrorText(uint32_t code, char* buffer) {
    return pelmora::ErrorText(code, buffer);
}

uint32_t TDATAPACKET_READ::ReadXmlInput() {
    return xmlMode_;
}

}  // namespace pelmora
