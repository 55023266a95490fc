// Helpers for the dataset tests: field descriptors, packets built through the
// engine's packet writer, and a decoder that reads a whole packet (nested
// rows included) back through the engine's packet reader.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "engine_loader.h"

namespace dstest {

using enginetest::Engine;
using enginetest::Packet;
using enginetest::Ref;
using enginetest::TakeBytes;

inline FieldDesc Field(const char* name, uint32_t type, uint32_t units1 = 0, uint32_t units2 = 0) {
    FieldDesc f{};
    std::strncpy(f.name, name, sizeof f.name - 1);
    f.type = type;
    f.units1 = units1;
    f.units2 = units2;
    return f;
}

// Packet type words used by the tests.
constexpr uint32_t kInt32 = 0x00010004;
constexpr uint32_t kUint16 = 0x00020002;
constexpr uint32_t kUint32 = 0x00020004;
constexpr uint32_t kFloat = 0x00040008;
constexpr uint32_t kDate = 0x00060004;
constexpr uint32_t kString1 = 0x00490001;
constexpr uint32_t kString2 = 0x00490002;
constexpr uint32_t kBlob = 0x004B0004;
constexpr uint32_t kBcd = 0x00050012;
constexpr uint32_t kKeyList = 0x00820002;
constexpr uint32_t kLogList = 0x00820004;
inline uint32_t TableWord(uint32_t columns) {
    return 0x050E0000 | columns;
}

// A datapacket under construction through the engine's writer.
class Builder {
  public:
    Builder() : w_(Engine::Get().NewWriter()) {}
    IDSPacketWriter* operator->() { return w_.get(); }
    void Begin(uint16_t columns) { EXPECT_EQ(0u, w_->BeginPacket(2, columns)); }
    void Col(const char* name, uint32_t word, uint16_t attributes = 0) {
        const PacketColumnDesc c = enginetest::Column(name, word, attributes);
        EXPECT_EQ(0u, w_->AddColumn(&c));
    }
    void ColParam(const char* name, uint32_t word, const void* value, uint32_t length) {
        EXPECT_EQ(0u, w_->AddParameter(0, name, word, length, value));
    }
    void Width(uint16_t width) { ColParam("WIDTH", kUint16, &width, 2); }
    void Param(const char* name, uint32_t word, const void* value, uint32_t length) {
        EXPECT_EQ(0u, w_->AddParameter(1, name, word, length, value));
    }
    void KeyList(const char* name, std::vector<uint16_t> fields) {
        std::vector<uint8_t> bytes(4 + 2 * fields.size());
        const auto n = static_cast<uint32_t>(fields.size());
        std::memcpy(bytes.data(), &n, 4);
        std::memcpy(bytes.data() + 4, fields.data(), 2 * fields.size());
        Param(name, kKeyList, bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
    void Log(std::vector<uint32_t> entries) {
        std::vector<uint32_t> bytes{static_cast<uint32_t>(entries.size())};
        bytes.insert(bytes.end(), entries.begin(), entries.end());
        Param("CHANGE_LOG", kLogList, bytes.data(), static_cast<uint32_t>(4 * bytes.size()));
    }
    void Close() { EXPECT_EQ(0u, w_->AddParameter(1, "", 0, 0, nullptr)); }
    void Status(uint8_t status) { EXPECT_EQ(0u, w_->PutValue(0, 1, &status)); }
    void Blank() { EXPECT_EQ(0u, w_->PutValue(1, 0, nullptr)); }
    void Unchanged() { EXPECT_EQ(0u, w_->PutValue(2, 0, nullptr)); }
    void I32(int32_t v) { EXPECT_EQ(0u, w_->PutValue(0, 4, &v)); }
    void U32(uint32_t v) { EXPECT_EQ(0u, w_->PutValue(0, 4, &v)); }
    void F64(double v) { EXPECT_EQ(0u, w_->PutValue(0, 8, &v)); }
    void Str(const std::string& s) {
        EXPECT_EQ(0u, w_->PutValue(0, static_cast<uint32_t>(s.size()), s.data()));
    }
    void Rows(uint32_t count) { EXPECT_EQ(0u, w_->PutValue(0, 4, &count)); }
    std::vector<uint8_t> Take() {
        SAFEARRAY* out = nullptr;
        EXPECT_EQ(0u, w_->TakePacket(&out));
        return TakeBytes(out);
    }

  private:
    Ref<IDSPacketWriter> w_;
};

// A packet read back: the columns of every level and the rows.
struct DecodedRow;
struct DecodedItem {
    uint32_t status = 0;  // 0 value, 1 blank, 2 unchanged
    std::vector<uint8_t> bytes;
    std::vector<DecodedRow> details;  // nested-dataset columns
    std::string str() const { return std::string(bytes.begin(), bytes.end()); }
    int32_t i32() const {
        int32_t v = 0;
        if (bytes.size() >= 4) std::memcpy(&v, bytes.data(), 4);
        return v;
    }
};
struct DecodedRow {
    uint8_t status = 0;
    std::vector<DecodedItem> items;
};
struct DecodedLevel {
    std::vector<PacketColumnDesc> columns;
    std::vector<std::vector<std::pair<std::string, std::vector<uint8_t>>>> columnParams;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> params;
    std::vector<DecodedLevel> nested;  // one per nested-dataset column, in order
};
struct Decoded {
    DecodedLevel top;
    std::vector<DecodedRow> rows;
    uint32_t result = 0;
};

class Decoder {
  public:
    Decoded Read(const std::vector<uint8_t>& bytes) {
        Decoded d;
        Packet packet(bytes);
        *r_.out() = Engine::Get().NewReader();
        d.result = r_->OpenPacket(packet.get());
        if (d.result != 0) return d;
        d.result = ReadLevel(d.top);
        if (d.result != 0) return d;
        const uint32_t rows = bytes.size() >= 18 ? Load32(bytes.data() + 14) : 0;
        for (uint32_t i = 0; i < rows && d.result == 0; ++i) {
            d.rows.emplace_back();
            d.result = ReadRow(d.top, d.rows.back());
        }
        return d;
    }

  private:
    static uint32_t Load32(const uint8_t* p) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    uint32_t NextParam(std::pair<std::string, std::vector<uint8_t>>& out) {
        char name[32] = {};
        uint32_t word = 0;
        std::vector<uint8_t> value(4096);
        auto length = static_cast<uint32_t>(value.size());
        uint32_t r = r_->NextParameter(name, &word, &length, value.data());
        if (r == 0) {
            value.resize(length);
            out = {name, value};
        }
        return r;
    }
    uint32_t ReadLevel(DecodedLevel& level) {
        for (;;) {
            PacketColumnDesc c{};
            uint32_t r = r_->NextColumn(&c);
            if (r == DSERR_EOF) break;
            if (r != 0) return r;
            level.columns.push_back(c);
            level.columnParams.emplace_back();
            std::pair<std::string, std::vector<uint8_t>> p;
            while ((r = NextParam(p)) == 0) level.columnParams.back().push_back(p);
            if (r != DSERR_EOF) return r;
            if (PacketBaseType(c.typeWord) == PKT_TABLE) {
                level.nested.emplace_back();
                if ((r = ReadLevel(level.nested.back())) != 0) return r;
            }
        }
        std::pair<std::string, std::vector<uint8_t>> p;
        uint32_t r;
        while ((r = NextParam(p)) == 0) level.params.push_back(p);
        return r == DSERR_EOF ? 0 : r;
    }
    uint32_t ReadRow(const DecodedLevel& level, DecodedRow& row) {
        std::vector<uint8_t> value(1 << 16);
        uint32_t length = static_cast<uint32_t>(value.size());
        uint32_t status = 0;
        uint32_t r = r_->NextValue(&length, value.data(), &status);
        if (r != 0) return r;
        row.status = value[0];
        size_t nestedIndex = 0;
        for (const PacketColumnDesc& c : level.columns) {
            DecodedItem item;
            length = static_cast<uint32_t>(value.size());
            r = r_->NextValue(&length, value.data(), &item.status);
            if (r != 0 && r != DSERR_FIELDISBLANK) return r;
            if (item.status == 0 && (length & 0x80000000u) == 0)
                item.bytes.assign(value.begin(), value.begin() + length);
            if (item.status == 0 && (length & 0x80000000u) != 0) item.bytes = {0xFF};
            if (PacketBaseType(c.typeWord) == PKT_TABLE) {
                const DecodedLevel& nested = level.nested[nestedIndex++];
                const uint32_t count = item.status == 0 ? item.i32() : 0;
                for (uint32_t i = 0; count != 0x80000000u && i < count; ++i) {
                    item.details.emplace_back();
                    if ((r = ReadRow(nested, item.details.back())) != 0) return r;
                }
            }
            row.items.push_back(item);
        }
        return 0;
    }
    Ref<IDSPacketReader> r_;
};

inline Decoded Decode(const std::vector<uint8_t>& bytes) {
    return Decoder().Read(bytes);
}

// Loads bytes into a new dataset; the result code goes to *result.
inline IDSBase* Load(const std::vector<uint8_t>& bytes, uint32_t* result, int32_t last = 1) {
    IDSBase* ds = Engine::Get().NewDataset();
    Packet packet(bytes);
    *result = ds->LoadPacket(packet.get(), last);
    return ds;
}

inline std::vector<uint8_t> Write(IDSBase* ds, uint32_t* result = nullptr) {
    SAFEARRAY* out = nullptr;
    const uint32_t r = ds->WritePacket(&out);
    if (result) *result = r;
    return TakeBytes(out);
}

// Loads a packet and writes the dataset again.
inline std::vector<uint8_t> RoundTripBytes(const std::vector<uint8_t>& bytes) {
    uint32_t r = 0;
    Ref<IDSBase> ds(Load(bytes, &r));
    EXPECT_EQ(0u, r);
    return Write(ds.get());
}

inline uint32_t Prop(IDSBase* ds, uint32_t id) {
    uint32_t v = 0xDEADBEEF;
    EXPECT_EQ(0u, ds->ReadProperty(id, &v)) << "property " << id;
    return v;
}

inline std::vector<FieldDesc> Fields(IDSBase* ds) {
    DatasetProps props{};
    ds->ReadDatasetProps(&props);
    std::vector<FieldDesc> fields(props.fieldCount);
    if (!fields.empty()) {
        EXPECT_EQ(0u, ds->ListFields(fields.data()));
    }
    return fields;
}

inline std::vector<IndexDesc> Indexes(IDSBase* ds) {
    DatasetProps props{};
    ds->ReadDatasetProps(&props);
    std::vector<IndexDesc> indexes(props.indexCount);
    if (!indexes.empty()) {
        EXPECT_EQ(0u, ds->ListIndexes(indexes.data()));
    }
    return indexes;
}

inline const IndexDesc* IndexNamed(const std::vector<IndexDesc>& list, const char* name) {
    for (const IndexDesc& d : list) {
        if (std::strcmp(d.name, name) == 0) return &d;
    }
    return nullptr;
}

}  // namespace dstest
