// Shared by the benchmark programs: the engine bound through the shared
// engine client, objects created through class objects, and the metadata of
// the six-column table both benchmarks measure (an int32 key, NAME(20),
// PRICE, SOLD (date), AMOUNT (packed decimal 10.2) and NOTE(100)).
#pragma once

#include <cstdio>
#include <cstring>

#include "pelmora/engine_client.h"
#include "pelmora/pelmora.h"

namespace bench {

// The engine built beside the benchmark.
inline pelmora::EngineClient& Engine() {
    static pelmora::EngineClient engine;
    return engine;
}

// Loads the engine built beside the benchmark; false when it cannot.
inline bool LoadEngine() {
    if (!Engine().Load(PELMORA_LIBRARY_PATH)) {
        std::fprintf(stderr, "cannot load the engine: %s\n", platform::LastLibraryError().c_str());
        return false;
    }
    return Engine().getClassObject != nullptr;
}

// Creates an object through its class object; null on failure.
template <typename T>
T* Create(const GUID& clsid, const GUID& iid) {
    return Engine().Create<T>(clsid, iid);
}

inline bool Check(uint32_t result, const char* what) {
    if ((result & 0xFFFF) == 0) return true;
    std::fprintf(stderr, "%s failed with %u\n", what, result & 0xFFFF);
    return false;
}

inline PacketColumnDesc Column(const char* name, uint32_t word) {
    PacketColumnDesc c{};
    std::strncpy(c.name, name, sizeof c.name - 1);
    c.typeWord = word;
    return c;
}

// Begins a packet with the six columns; the key column is named `key`.
inline void BeginSixColumnTable(IDSPacketWriter* w, const char* key) {
    const uint16_t width20 = 20, width100 = 100, precision = 10, places = 2;
    w->BeginPacket(2, 6);
    PacketColumnDesc c = Column(key, 0x00010004);
    w->AddColumn(&c);
    c = Column("NAME", 0x00490001);
    w->AddColumn(&c);
    w->AddParameter(0, "WIDTH", 0x00020002, 2, &width20);
    c = Column("PRICE", 0x00040008);
    w->AddColumn(&c);
    c = Column("SOLD", 0x00060004);
    w->AddColumn(&c);
    c = Column("AMOUNT", 0x00050007);
    w->AddColumn(&c);
    w->AddParameter(0, "DECIMALS", 0x00020002, 2, &places);
    w->AddParameter(0, "WIDTH", 0x00020002, 2, &precision);
    c = Column("NOTE", 0x00490001);
    w->AddColumn(&c);
    w->AddParameter(0, "WIDTH", 0x00020002, 2, &width100);
    w->AddParameter(1, "", 0, 0, nullptr);
}

}  // namespace bench
