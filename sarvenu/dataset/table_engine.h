// The engine objects a TClientTable owns while it is open: the dataset, its
// cursor, the cursor's record size, the field descriptors and the bytes of
// the packet last loaded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dataset/client_table.h"
#include "pelmora/engine_client.h"
#include "pelmora/pelmora.h"

namespace sarvenu {

struct TClientTable::Engine {
    pelmora::Ref<IDSBase> dataset;
    pelmora::Ref<IDSCursor> cursor;  // released before the dataset
    uint32_t recordSize = 0;
    std::vector<FieldDesc> fields;
    std::string packet;

    Engine() = default;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
};

}  // namespace sarvenu
