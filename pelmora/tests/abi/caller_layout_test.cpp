// The engine as a caller sees it that uses none of the project's headers: it
// declares the byte-array struct itself, with the natural alignment of the
// Windows definition, and reaches the engine's objects through their slot
// numbers alone. Arrays the engine hands out go back to the platform's
// SafeArrayDestroy, known to this caller only by its name.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// The property ids are plain wire numbers; this caller declares everything else itself.
#include "pelmora/dataset_properties.h"

struct SAFEARRAY;
int32_t SafeArrayDestroy(SAFEARRAY* array);

namespace {

struct CallerBound {
    uint32_t cElements;
    int32_t lLbound;
};

struct CallerArray {
    uint16_t cDims;
    uint16_t fFeatures;
    uint32_t cbElements;
    uint32_t cLocks;
    void* pvData;
    CallerBound rgsabound[1];
};

static_assert(offsetof(CallerArray, pvData) == (sizeof(void*) == 8 ? 16 : 12));
static_assert(offsetof(CallerArray, rgsabound) == (sizeof(void*) == 8 ? 24 : 16));
static_assert(sizeof(CallerArray) == (sizeof(void*) == 8 ? 32 : 24));

struct CallerGuid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};

constexpr CallerGuid kClassFactory = {0x00000001, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr CallerGuid kDatasetClass = {
    0x4F7A2C31, 0x8B6D, 0x4E19, {0x9C, 0x3A, 0x71, 0xD5, 0xE0, 0xB2, 0xF4, 0xA8}};
constexpr CallerGuid kDatasetInterface = {
    0x4F7A2C32, 0x8B6D, 0x4E19, {0x9C, 0x3A, 0x71, 0xD5, 0xE0, 0xB2, 0xF4, 0xA8}};

// Slots of the interfaces used here.
constexpr size_t kRelease = 2;
constexpr size_t kCreateInstance = 3;
constexpr size_t kLoadPacket = 5;
constexpr size_t kWritePacket = 12;
constexpr size_t kWriteProperty = 20;

// Calls slot `slot` of an interface pointer with the object as first argument.
template <typename R, typename... Args>
R Call(void* object, size_t slot, Args... args) {
    using Slot = R (*)(void*, Args...);
    void** table = *static_cast<void***>(object);
    return reinterpret_cast<Slot>(table[slot])(object, args...);
}

void* NewDataset() {
    static void* library = dlopen(PELMORA_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return nullptr;
    using GetClassObject = int32_t (*)(const CallerGuid*, const CallerGuid*, void**);
    const auto get = reinterpret_cast<GetClassObject>(dlsym(library, "DllGetClassObject"));
    void* factory = nullptr;
    if (get == nullptr || get(&kDatasetClass, &kClassFactory, &factory) != 0) return nullptr;
    void* dataset = nullptr;
    const int32_t hr = Call<int32_t>(factory, kCreateInstance, static_cast<void*>(nullptr),
                                     &kDatasetInterface, &dataset);
    Call<uint32_t>(factory, kRelease);
    return hr == 0 ? dataset : nullptr;
}

// An array of the caller's own making. Its padding is filled with a
// pattern, so that an engine reading the fields from other offsets finds
// no usable pointer or count there.
struct OwnArray {
    explicit OwnArray(std::vector<uint8_t> data) : bytes(std::move(data)) {
        std::memset(static_cast<void*>(&array), 0xA5, sizeof array);
        array.cDims = 1;
        array.fFeatures = 0;
        array.cbElements = 1;
        array.cLocks = 0;
        array.pvData = bytes.data();
        array.rgsabound[0].cElements = static_cast<uint32_t>(bytes.size());
        array.rgsabound[0].lLbound = 0;
    }
    std::vector<uint8_t> bytes;
    CallerArray array;
};

// Reads an array the engine made through the caller's layout, then frees it.
std::vector<uint8_t> TakeEngineArray(CallerArray* array) {
    std::vector<uint8_t> bytes;
    if (array == nullptr) return bytes;
    EXPECT_EQ(1u, array->cDims);
    EXPECT_EQ(1u, array->cbElements);
    EXPECT_EQ(0u, array->cLocks);
    EXPECT_EQ(0, array->rgsabound[0].lLbound);
    const auto* data = static_cast<const uint8_t*>(array->pvData);
    bytes.assign(data, data + array->rgsabound[0].cElements);
    EXPECT_EQ(0, SafeArrayDestroy(reinterpret_cast<SAFEARRAY*>(array)));
    return bytes;
}

uint32_t Load(void* dataset, const std::vector<uint8_t>& bytes) {
    OwnArray own(bytes);
    return Call<uint32_t>(dataset, kLoadPacket, &own.array, int32_t{1}) & 0xFFFF;
}

std::vector<uint8_t> WritePacket(void* dataset, uint32_t xmlMode) {
    EXPECT_EQ(0u, Call<uint32_t>(dataset, kWriteProperty, PROP_XML_MODE, xmlMode) & 0xFFFF);
    CallerArray* out = nullptr;
    EXPECT_EQ(0u, Call<uint32_t>(dataset, kWritePacket, &out) & 0xFFFF);
    return TakeEngineArray(out);
}

std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

TEST(CallerLayout, PacketsCrossInTheCallersOwnArrays) {
    const std::string document =
        "<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA>"
        "<FIELDS><FIELD attrname=\"CODE\" fieldtype=\"i4\"/><FIELD attrname=\"NAME\" "
        "fieldtype=\"string\" WIDTH=\"12\"/></FIELDS><PARAMS/></METADATA><ROWDATA>"
        "<ROW CODE=\"7\" NAME=\"seven\"/><ROW CODE=\"-9\" NAME=\"nine &amp; more\"/>"
        "</ROWDATA></DATAPACKET>";

    void* first = NewDataset();
    ASSERT_NE(nullptr, first);
    ASSERT_EQ(0u, Load(first, Bytes(document)));
    // Out in the binary form and back in through another array of the caller's.
    const std::vector<uint8_t> binary = WritePacket(first, 0);
    ASSERT_GT(binary.size(), 24u);
    EXPECT_EQ(Bytes(document), WritePacket(first, 5));
    Call<uint32_t>(first, kRelease);

    void* second = NewDataset();
    ASSERT_NE(nullptr, second);
    ASSERT_EQ(0u, Load(second, binary));
    EXPECT_EQ(binary, WritePacket(second, 0));
    EXPECT_EQ(Bytes(document), WritePacket(second, 5));
    Call<uint32_t>(second, kRelease);
}

}  // namespace
