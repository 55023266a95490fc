// Component-model basics shared by the engine and its callers: GUID values,
// HRESULT codes and the two base interfaces every engine object builds on.
// The layouts match the Windows ones so that binary callers agree on them.
#pragma once

#include <cstdint>
#include <string>

#pragma pack(push, 1)
struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
#pragma pack(pop)
static_assert(sizeof(GUID) == 16, "GUID must be 16 bytes");

using IID = GUID;
using CLSID = GUID;
using HRESULT = int32_t;

inline bool IsEqualGUID(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
inline bool operator==(const GUID& a, const GUID& b) {
    return IsEqualGUID(a, b);
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201u);

inline constexpr GUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Slots 0-2 of every interface. No virtual destructor: it would add slots.
struct IUnknown {
    virtual HRESULT QueryInterface(const IID* iid, void** out) = 0;
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;
};

struct IClassFactory : IUnknown {
    virtual HRESULT CreateInstance(IUnknown* outer, const IID* iid, void** out) = 0;
    virtual HRESULT LockServer(int32_t lock) = 0;
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, as the registry holds it.
std::string StringFromGUID(const GUID& guid);
// Parses the braced form (case-insensitive); false when the text is not a GUID.
bool GUIDFromString(const std::string& text, GUID* out);
