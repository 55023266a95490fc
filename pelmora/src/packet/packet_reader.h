// The datapacket reader: walks a packet held in the caller's byte array —
// column descriptors, parameter blocks and rows with their nested detail rows
// — without copying it. Every length, count and name read from the packet is
// checked against the bytes given, so a cut or corrupt packet yields a result
// code, never a read past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "com/com_object.h"
#include "packet/packet_format.h"
#include "packet/row_cursor.h"

namespace pelmora {

class TDATAPACKET_READ : public ComObject<IDSPacketReader, IID_IDSPacketReader> {
  public:
    TDATAPACKET_READ() = default;
    ~TDATAPACKET_READ() override;

    EngineResult OpenPacket(SAFEARRAY* packet) override;
    EngineResult OpenRows(SAFEARRAY* packet) override;
    EngineResult NextColumn(PacketColumnDesc* out) override;
    EngineResult PeekParameterLength(uint32_t* length) override;
    EngineResult NextParameter(char* name, uint32_t* typeWord, uint32_t* length,
                               void* value) override;
    EngineResult PeekValueLength(uint32_t* length) override;
    EngineResult NextValue(uint32_t* length, void* value, uint32_t* status) override;
    EngineResult ErrorText(uint32_t code, char* buffer) override;
    uint32_t ReadXmlInput() override;

    // True once every column and parameter block has been read (or the packet
    // has no metadata); rows may be read from then on.
    bool MetadataComplete() const { return open_ && metaDone_; }
    // True while announced rows remain to be read.
    bool RowsPending() const { return open_ && metaDone_ && !released_; }
    // The packet being read carries metadata (binary property bit 0, or an
    // XML document with METADATA).
    bool HasMetadata() const { return open_ && hasMetadata_; }
    // Number of top-level rows the packet being read announces (for an XML
    // packet, the rows of its document).
    uint32_t TopRowCount() const { return open_ ? rowCount_ : 0; }

    // Opens the rows of a packet without metadata whose columns are given as
    // the level tree the packet writer registered (the XML writer reads the
    // rows of such packets this way).
    EngineResult OpenRowsWithLevels(SAFEARRAY* packet, const std::vector<PacketLevel>& levels);

    // One row item located in the packet's bytes, for the dataset loader
    // (its bytes stay valid while this reader lives and is not reopened).
    using InPlaceItem = RowItem;
    // NextValue without the copy: the same items in the same order, the same
    // result codes (DSERR_FIELDISBLANK for a blank item, DSERR_EOF after the
    // last row), but no buffer to size and no retry on length.
    EngineResult NextItemInPlace(InPlaceItem* item);
    // A whole row at once: its status byte and one item per column. Only for
    // a row that has not been started and whose level has exactly `count`
    // columns, none of them nested rows (DSERR_NOTSUPPORTED otherwise, with
    // nothing read: take the row item by item). DSERR_EOF after the last
    // row; on a damaged row nothing is consumed.
    EngineResult NextRowInPlace(uint8_t* status, InPlaceItem* items, size_t count);
    // Up to `rows` such rows of the current level at once: row r's status in
    // statuses[r], its items from items[r * count]; *read tells how many. A
    // damaged row ends the batch with DSERR_DATAPACKETMISMATCH, the rows
    // before it read and nothing of it consumed. Fewer rows than asked for
    // when the level's rows end; DSERR_EOF when none remain.
    EngineResult NextRowsInPlace(uint8_t* statuses, InPlaceItem* items, size_t count, uint32_t rows,
                                 uint32_t* read);
    // The same rows handed to `sink` one at a time, as they are located:
    // sink(status, items) with `count` items that stay valid until the call
    // returns. A result other than DS_OK from the sink ends the walk with
    // that result, its row consumed.
    template <typename Sink>
    EngineResult ForEachRowInPlace(size_t count, uint32_t rows, uint32_t* read, Sink&& sink);
    // The rows left at the top level, for a caller that locates them itself
    // (on several threads, say): DSERR_NOTSUPPORTED unless the top level's
    // rows are being read, whole rows are next and it has exactly `count`
    // columns, none of them nested rows. The cursor is valid until the
    // reader is reopened or released.
    EngineResult TopRows(size_t count, RowCursor* cursor);
    // The caller has taken the top level's rows up to where `cursor` stands.
    void TakeTopRows(const RowCursor& cursor);

  private:
    // A level whose columns and parameter blocks are being read.
    struct MetaFrame {
        int32_t level = 0;
        bool blockOpen = false;  // the dataset parameter count has been read
        uint16_t blockRemaining = 0;
    };

    // A level whose rows are being read.
    struct RowFrame {
        int32_t level = 0;
        int32_t column = -1;  // -1 while the row status is next
        size_t bitmapAt = 0;
        uint32_t remaining = 0;  // rows still announced at this level
    };

    // One parsed parameter, located but not consumed.
    struct ParameterSpot {
        size_t nameAt = 0;
        uint8_t nameLength = 0;
        uint32_t typeWord = 0;
        size_t valueAt = 0;
        uint32_t valueLength = 0;  // bytes handed to the caller
        size_t end = 0;            // offset just past the parameter
    };

    // One parsed row item, located but not consumed.
    struct ItemSpot {
        uint32_t status = 0;  // 0 value, 1 blank, 2 unchanged
        size_t valueAt = 0;
        uint32_t length = 0;  // value length (a not-fetched BLOB keeps its top bit)
        uint32_t copyBytes = 0;
        size_t end = 0;
        bool isStatus = false;
        bool opensRows = false;
        uint32_t detailRows = 0;
    };

    EngineResult AttachBytes(SAFEARRAY* packet);
    void ReleaseBytes();
    void DropConverted();
    // Opens the attached bytes as a packet (columns and rows), or as further
    // rows for the columns known; `converted` when they came from XML.
    // Reads the binary header of the attached bytes into *header and returns
    // false; an XML document (or a binary header over an XML body) is opened
    // instead, or refused, and true returned with the result in *result.
    bool OpenHeaderOrXml(bool converted, bool forRows, PacketHeader* header, EngineResult* result);
    EngineResult OpenAttached(bool converted);
    EngineResult OpenRowsAttached(bool converted);
    // Hands bytes that are not a binary packet to the XML reader, which
    // turns them into the binary packet read from then on; `inHeader` when
    // they followed a binary header.
    EngineResult OpenXmlPacket(const uint8_t* data, size_t size, bool inHeader, bool forRows);
    bool Has(size_t at, size_t bytes) const { return at <= size_ && bytes <= size_ - at; }

    EngineResult ParseParameter(size_t at, ParameterSpot* spot) const;
    // Finds the next parameter of the current block without changing state;
    // DSERR_EOF when the current block has none left.
    EngineResult LocateParameter(size_t* at) const;
    void LeaveDatasetBlock();
    // Keeps a column's WIDTH or DECIMALS parameter (see scales_).
    void NoteScale(const ParameterSpot& spot);

    // Whether whole rows of `count` items can be handed over now: DS_OK,
    // DSERR_NOTSUPPORTED or DSERR_EOF (see NextRowsInPlace).
    EngineResult BeginRowsInPlace(size_t count);
    // Locates the next row of the current level into row_ and consumes it
    // (*took), unless the level's rows have ended; *last when they end with
    // it. A damaged row consumes nothing.
    EngineResult NextWholeRow(uint8_t* status, bool* took, bool* last);

    EngineResult LocateItem(ItemSpot* spot) const;
    void ConsumeItem(const ItemSpot& spot);
    void AdvanceColumn();
    void CompleteRow();

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t pos_ = 0;
    bool open_ = false;
    bool metaDone_ = false;
    bool released_ = false;
    bool columnsKnown_ = false;  // the level tree describes the rows
    uint32_t xmlMode_ = 0;
    bool hasMetadata_ = false;
    uint32_t rowCount_ = 0;
    SAFEARRAY* converted_ = nullptr;  // the binary form of an XML packet being read

    // The names of the columns read (by ordinal), for reading later XML rows;
    // attribute names as the XML packet that described them gave them.
    std::vector<std::string> names_;
    std::vector<std::string> attrNames_;
    // Scale parameters of the columns read (by ordinal), for the packed
    // decimals of later XML rows: WIDTH and DECIMALS, -1 when not given.
    struct Scale {
        int32_t width = -1;
        int32_t decimals = -1;
    };
    std::vector<Scale> scales_;

    std::vector<PacketLevel> levels_;
    std::vector<MetaFrame> meta_;
    std::vector<RowFrame> rows_;
    bool inColumnBlock_ = false;  // parameters of the last column are being read
    uint16_t columnRemaining_ = 0;
    // The items of the row handed over whole, and the shapes of its level's
    // values.
    std::vector<InPlaceItem> row_;
    std::vector<ValueShape> rowShapes_;
};

template <typename Sink>
EngineResult TDATAPACKET_READ::ForEachRowInPlace(size_t count, uint32_t rows, uint32_t* read,
                                                 Sink&& sink) {
    *read = 0;
    if (EngineResult r = BeginRowsInPlace(count); r != DS_OK) return r;
    while (*read < rows) {
        uint8_t status = 0;
        bool took = false;
        bool last = false;
        if (EngineResult r = NextWholeRow(&status, &took, &last); r != DS_OK) return r;
        if (!took) break;
        ++*read;
        if (EngineResult r = sink(status, row_.data()); r != DS_OK) return r;
        if (last) break;
    }
    return DS_OK;
}

}  // namespace pelmora
