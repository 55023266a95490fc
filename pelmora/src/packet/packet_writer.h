// The datapacket writer: builds one binary packet at a time from column
// descriptors, optional parameters and row items, and hands it out as a byte
// array. It tracks the nesting of detail datasets both while the metadata is
// written and while rows are written, so that every item lands in its place.
#pragma once

#include <cstdint>
#include <vector>

#include "com/com_object.h"
#include "packet/packet_buffer.h"
#include "packet/packet_format.h"

namespace pelmora {

class TDATAPACKET_WRITE : public ComObject<IDSPacketWriter, IID_IDSPacketWriter> {
  public:
    EngineResult BeginPacket(uint32_t kind, uint16_t columnCount) override;
    EngineResult BeginRowsOnly(uint32_t kind, uint16_t columnCount,
                               const PacketColumnDesc* columns) override;
    EngineResult AddParameter(uint32_t area, const char* name, uint32_t typeWord, uint32_t length,
                              const void* value) override;
    EngineResult TakePacket(SAFEARRAY** out) override;
    EngineResult ReadPacketSize(uint32_t* size) override;
    EngineResult PutValue(uint32_t status, uint32_t length, const void* value) override;
    EngineResult AddColumn(const PacketColumnDesc* column) override;
    EngineResult RestartRows() override;
    EngineResult ReadColumnCount(uint32_t* count) override;
    EngineResult ReadColumns(PacketColumnDesc* out) override;
    EngineResult ErrorText(uint32_t code, char* buffer) override;
    EngineResult CloseNestedRows() override;
    EngineResult SetXmlOutput(uint32_t mode) override;
    uint32_t ReadXmlOutput() override;

    // Takes room for `bytes` more bytes at once, so that a writer that knows
    // roughly how large its rows will be does not grow the output piecemeal.
    // Only a hint: when memory is short nothing changes and false is returned.
    bool ReserveHint(size_t bytes);

  private:
    enum class State {
        Empty,     // nothing begun, or the packet was taken
        Metadata,  // columns and parameters being written
        Rows,      // rows may be written
        Broken,    // memory ran out; a new packet must be begun
    };

    // A level whose columns and dataset parameters are being written.
    struct MetaFrame {
        int32_t level = 0;
        bool blockStarted = false;  // the dataset parameter count has been written
        size_t blockCountAt = 0;
        uint16_t blockCount = 0;
    };

    // A level whose rows are being written.
    struct RowFrame {
        int32_t level = 0;
        int32_t column = -1;     // next column; -1 while the row status is expected
        size_t bitmapAt = 0;     // offset of the current row's bitmap
        uint32_t remaining = 0;  // detail rows still expected (known counts)
        bool countKnown = true;  // false for a count given as not yet known
        size_t countAt = 0;      // where an unknown count is patched
        uint32_t written = 0;    // detail rows written under an unknown count
    };

    EngineResult StartBuffer(uint16_t columnCount, uint32_t properties);
    EngineResult RegisterColumn(const PacketColumnDesc& column, bool writeDescriptor);
    EngineResult WriteParameter(uint32_t area, const char* name, uint32_t typeWord, uint32_t length,
                                const void* value);
    EngineResult CloseDatasetBlock();
    EngineResult BeginDatasetBlock(MetaFrame& frame);
    // Ends the metadata before the first row or at take; 8451 when more than
    // the top level's dataset block is still open.
    EngineResult FinishMetadata();
    void RecordRowOffset();
    EngineResult PutStatus(RowFrame& frame, uint32_t status, const void* value);
    EngineResult PutColumnValue(RowFrame& frame, uint32_t status, uint32_t length,
                                const void* value);
    // Moves past the column just finished, closing rows and levels that end.
    void AdvanceColumn();
    void CompleteRow();
    bool RowsAtRest() const;
    EngineResult Fail();
    // The XML form of the packet; plugged in by the XML writer.
    EngineResult TakeXmlPacket(SAFEARRAY** out);

    PacketBuffer buffer_;
    State state_ = State::Empty;
    bool withMetadata_ = false;
    bool rowOffsetRecorded_ = false;
    uint32_t xmlMode_ = 0;
    uint32_t takenSize_ = 0;
    uint16_t announcedTop_ = 0;

    std::vector<PacketColumnDesc> columns_;  // every registered column, in order
    std::vector<PacketLevel> levels_;        // level 0 is the top level
    std::vector<MetaFrame> meta_;
    std::vector<RowFrame> rows_;

    // The last column descriptor written, for parameters of area 0.
    bool lastColumnOpen_ = false;
    size_t lastColumnCountAt_ = 0;
    uint16_t lastColumnCount_ = 0;
};

}  // namespace pelmora
