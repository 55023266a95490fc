// The reader of datapackets into datasets: walks a packet's columns,
// parameters and rows level by level on behalf of one dataset and its nested
// datasets, creating fields from columns and records from rows.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "dataset/dataset.h"
#include "packet/packet_reader.h"

namespace pelmora {

// Records that are not part of the visible data once loaded.
constexpr uint8_t kNotLive = REC_SUPERSEDED | REC_DELETED | REC_DISCARDED;

// A parameter as it came from the packet, kept until the fields are laid out.
struct PendingParameter {
    uint32_t column = 0;  // packet column index at the level; unused for the dataset block
    uint32_t typeWord = 0;
    char name[32] = {};
    std::vector<uint8_t> value;
};

// Walks a packet level by level on behalf of one dataset and its nested
// datasets. Every value buffer grows to what the packet needs.
class DatasetLoader {
  public:
    // packetSize bounds the rows a packet can hold (each takes at least a
    // byte), so that a damaged row count cannot make the store reserve
    // more than the packet could fill.
    DatasetLoader(IDSPacketReader* reader, size_t packetSize)
        : reader_(reader),
          direct_(dynamic_cast<TDATAPACKET_READ*>(reader)),
          maxRows_(static_cast<uint32_t>(std::min<size_t>(packetSize, 0x7FFFFFFF))) {}

    // How one packet column's values go into its field (dataset_load_rows.cpp).
    struct ColumnPlan;

    EngineResult ReadLevel(TDSBASE& ds, bool nested);
    EngineResult ReadRows(TDSBASE& ds, uint32_t count, uint32_t masterLink);
    // Versions of one master record share its detail link value.
    void JoinLinkChains(TDSBASE& ds);
    // Top-level rows are read until the reader has no more (packets whose
    // header gives no row count).
    void ReadUntilEnd() { untilEnd_ = true; }
    uint32_t visible(const TDSBASE& ds) const {
        auto it = visible_.find(&ds);
        return it == visible_.end() ? 0 : it->second;
    }

  private:
    EngineResult ReadParameter(PendingParameter& out);
    // Lays the packet's columns out as fields: arrays that arrive with every
    // element are taken as they are, arrays with one element are expanded.
    EngineResult Walk(const std::vector<FieldDesc>& cols, size_t& pos, std::vector<FieldDesc>& out,
                      std::vector<uint32_t>& map);
    EngineResult ApplyColumnParameter(FieldDesc& f, const PendingParameter& p, bool* keep);
    EngineResult ReadRow(TDSBASE& ds, uint32_t masterLink, bool untilEnd);
    // The status byte that opens a row; *whole tells that the row's items
    // came with it in one piece (in rowItems_).
    EngineResult ReadRowStatus(TDSBASE& ds, bool untilEnd, uint8_t* rowStatus, bool* whole);
    // The hidden link field of a nested detail row: its master's link value.
    void WriteMasterLink(TDSBASE& ds, uint32_t rec, uint32_t masterLink);
    // One item (in value_/fetched_, with its length and status) into field k
    // of record rec.
    EngineResult WriteItem(TDSBASE& ds, uint32_t rec, uint32_t k, bool modified, uint32_t length,
                           uint32_t status);
    // Makes an item located in the packet the current one (value_/fetched_).
    void HoldItem(const TDATAPACKET_READ::InPlaceItem& item) {
        fetched_ = item.bytes != nullptr || item.length == 0;
        value_ = item.bytes != nullptr ? item.bytes : item_.data();
    }
    // WriteItem for a located item of a row with the given status.
    EngineResult WriteItemOfRow(TDSBASE& ds, uint32_t rec, uint32_t k, uint8_t rowStatus,
                                const TDATAPACKET_READ::InPlaceItem& item);
    // The rows of a top-level dataset without nested datasets, straight
    // from the packet's bytes into the store's columns: values that are
    // plain copies are written in place, the other items go through
    // WriteItem in the same row order (dataset_load_rows.cpp).
    EngineResult ReadFlatRows(TDSBASE& ds, uint32_t count, bool untilEnd);
    // One such row into record rec (within the store's capacity): its status,
    // its items, blanks in the fields without a column; counted as live or
    // visible.
    EngineResult WriteFlatRow(TDSBASE& ds, std::vector<ColumnPlan>& plans, uint32_t rec,
                              uint8_t status, const TDATAPACKET_READ::InPlaceItem* items);
    // For many rows: the rows after the first part are located and copied on
    // a second thread while this one reads the first part; false (nothing
    // read) when the rows cannot be split, otherwise the result in *result.
    bool ReadOnTwoThreads(TDSBASE& ds, uint32_t count, bool untilEnd,
                          std::vector<ColumnPlan>& plans, EngineResult* result);
    // Keeps the dataset's fields without a packet column and its count of
    // visible rows at hand (lastUnmapped_, lastVisible_).
    void NoteDataset(TDSBASE& ds);
    EngineResult NextItem(uint32_t* length, uint32_t* status);
    // One item from the reader into value_/fetched_; the reader's result.
    EngineResult FetchItem(uint32_t* length, uint32_t* status);
    uint32_t PreviousVersion(TDSBASE& ds, uint32_t record);

    IDSPacketReader* reader_;
    // The engine's own reader hands items over in place, without copies.
    TDATAPACKET_READ* direct_;
    uint32_t maxRows_;
    bool untilEnd_ = false;
    std::vector<uint8_t> item_ = std::vector<uint8_t>(4096);
    // The current item's bytes (in the packet or in item_) and whether they
    // are all there (a BLOB may announce a length it does not deliver).
    const uint8_t* value_ = nullptr;
    bool fetched_ = true;
    // The items of a row the reader handed over whole.
    std::vector<TDATAPACKET_READ::InPlaceItem> rowItems_;
    std::vector<uint8_t> tmp_ = std::vector<uint8_t>(4096);
    std::unordered_map<const TDSBASE*, std::vector<uint32_t>> previous_;
    std::unordered_map<const TDSBASE*, std::vector<uint32_t>> unmapped_;
    std::unordered_map<const TDSBASE*, uint32_t> visible_;
    const TDSBASE* lastDataset_ = nullptr;
    const std::vector<uint32_t>* lastUnmapped_ = nullptr;
    uint32_t* lastVisible_ = nullptr;
};

}  // namespace pelmora
