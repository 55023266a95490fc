// A datapacket read through the engine's packet reader into plain values:
// the columns of every level with their parameters, the dataset parameters
// and the rows with their nested detail rows. The tool prints this model.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pelmora/pelmora.h"

namespace tabletool {

struct Param {
    std::string name;
    uint32_t typeWord = 0;
    std::vector<uint8_t> value;
};

struct Level;

struct Column {
    std::string name;
    uint32_t typeWord = 0;
    uint16_t attributes = 0;
    std::vector<Param> params;
    std::vector<Level> nested;  // one level for a nested-dataset column
};

struct Level {
    std::vector<Column> columns;
    std::vector<Param> params;
};

struct Row;

struct Item {
    uint32_t status = 0;  // 0 value, 1 blank, 2 unchanged
    uint32_t length = 0;  // as announced (top bit: not fetched)
    std::vector<uint8_t> bytes;
    std::vector<Row> details;  // nested-dataset columns
};

struct Row {
    uint8_t status = 0;
    std::vector<Item> items;
};

struct PacketModel {
    uint32_t xmlMode = 0;
    Level top;
    std::vector<Row> rows;
};

// Reads the whole packet. Returns the engine's result code of the first
// failure (0 on success).
uint32_t ReadModel(IDSPacketReader* reader, SAFEARRAY* packet, PacketModel* model);

// The change log carried by the top-level CHANGE_LOG parameter, as
// {record, previous, action} triples.
std::vector<uint32_t> ChangeLogOf(const PacketModel& model);

}  // namespace tabletool
