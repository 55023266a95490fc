// Shared by the benchmark programs: binding the engine through its exports,
// creating objects through class objects, and the metadata of the six-column
// table both benchmarks measure (an int32 key, NAME(20), PRICE, SOLD (date),
// AMOUNT (packed decimal 10.2) and NOTE(100)).
#pragma once

#include <dlfcn.h>

#include <cstdio>
#include <cstring>

#include "pelmora/pelmora.h"

namespace bench {

inline PFN_DllGetClassObject& GetClassObject() {
    static PFN_DllGetClassObject function = nullptr;
    return function;
}

// Loads the engine built beside the benchmark; false when it cannot.
inline bool LoadEngine() {
    void* engine = dlopen(PELMORA_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (engine == nullptr) {
        std::fprintf(stderr, "cannot load the engine: %s\n", dlerror());
        return false;
    }
    GetClassObject() = reinterpret_cast<PFN_DllGetClassObject>(dlsym(engine, "DllGetClassObject"));
    return GetClassObject() != nullptr;
}

template <typename T>
T* Create(const GUID& clsid, const GUID& iid) {
    IClassFactory* factory = nullptr;
    if (GetClassObject()(&clsid, &IID_IClassFactory, reinterpret_cast<void**>(&factory)) != S_OK)
        return nullptr;
    void* object = nullptr;
    const HRESULT hr = factory->CreateInstance(nullptr, &iid, &object);
    factory->Release();
    return hr == S_OK ? static_cast<T*>(object) : nullptr;
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
