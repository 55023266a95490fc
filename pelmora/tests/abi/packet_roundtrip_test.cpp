// Packets written by the writer and read back by the reader: every packet
// type word, nested detail rows, special values, repeated parameters, large
// packets, and cut or damaged copies of a valid packet.
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "engine_loader.h"

using enginetest::Column;
using enginetest::Engine;
using enginetest::Packet;
using enginetest::Ref;
using enginetest::TakeBytes;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kInt32 = 0x00010004;
constexpr uint32_t kString = 0x00490001;
constexpr uint32_t kBlob = 0x004B0004;
constexpr uint32_t kTable = 0x050E0000;
constexpr uint32_t kUnknownCount = 0xFFFFFFFF;

Bytes Le32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

// One row item as read back.
struct Item {
    EngineResult result = 0;
    uint32_t status = 0;
    uint32_t length = 0;
    Bytes value;
    bool operator==(const Item&) const = default;
};
Item Value(Bytes v) {
    return {0, 0, static_cast<uint32_t>(v.size()), v};
}
Item Status(uint8_t s) {
    return {0, 0, 1, {s}};
}
Item Blank() {
    return {9740, 1, 0, {}};
}
Item Unchanged() {
    return {0, 2, 0, {}};
}

struct Parameter {
    std::string name;
    uint32_t type = 0;
    Bytes value;
    bool operator==(const Parameter&) const = default;
};

struct Parsed {
    EngineResult failure = 0;
    std::vector<std::string> columns;
    std::vector<Parameter> parameters;
    std::vector<Item> items;
};

EngineResult ReadParameters(IDSPacketReader* r, Parsed* out) {
    for (;;) {
        uint32_t length = 0;
        EngineResult e = r->PeekParameterLength(&length);
        if (e == 8706) {
            // Pass on to the next block.
            e = r->NextParameter(nullptr, nullptr, &length, nullptr);
            return e == 8706 ? 0 : (e ? e : 1);
        }
        if (e) return e;
        Parameter p;
        p.value.resize(length + 1);  // never a null value pointer: that would not move on
        char name[32];
        e = r->NextParameter(name, &p.type, &length, p.value.data());
        if (e) return e;
        p.value.resize(length);
        p.name = name;
        out->parameters.push_back(p);
    }
}

// Reads a level's columns (and nested levels) the way a dataset does.
EngineResult ReadLevel(IDSPacketReader* r, Parsed* out, int depth) {
    for (int guard = 0; guard < 1000; ++guard) {
        PacketColumnDesc c;
        EngineResult e = r->NextColumn(&c);
        if (e == 8706) return ReadParameters(r, out);
        if (e) return e;
        out->columns.push_back(c.name);
        if (EngineResult p = ReadParameters(r, out)) return p;
        if (((c.typeWord >> 16) & 0x3F) == 14 && depth < 20) {
            if (EngineResult n = ReadLevel(r, out, depth + 1)) return n;
        }
    }
    return 1;
}

Parsed ReadAll(const Bytes& bytes) {
    Parsed out;
    Ref<IDSPacketReader> r(Engine::Get().NewReader());
    Packet packet(bytes);
    out.failure = r->OpenPacket(packet.get());
    if (!out.failure) out.failure = ReadLevel(r.get(), &out, 0);
    for (size_t guard = 0; !out.failure && guard <= bytes.size(); ++guard) {
        Item item;
        EngineResult e = r->PeekValueLength(&item.length);
        if (e == 8706) break;
        if (e) {
            out.failure = e;
            break;
        }
        // A not-fetched BLOB announces its length but brings no bytes.
        if (!(item.length & 0x80000000u)) item.value.resize(item.length);
        item.result = r->NextValue(&item.length, item.value.data(), &item.status);
        if (item.result != 0 && item.result != 9740) {
            out.failure = item.result;
            break;
        }
        out.items.push_back(item);
    }
    return out;
}

IDSPacketWriter* NewWriter() {
    IDSPacketWriter* w = Engine::Get().NewWriter();
    EXPECT_NE(nullptr, w);
    return w;
}

Bytes Take(IDSPacketWriter* w) {
    SAFEARRAY* array = nullptr;
    EXPECT_EQ(0u, w->TakePacket(&array));
    return TakeBytes(array);
}

void Put(IDSPacketWriter* w, const Bytes& v) {
    static const uint8_t none = 0;  // a value without bytes is still not blank
    ASSERT_EQ(0u, w->PutValue(0, static_cast<uint32_t>(v.size()), v.empty() ? &none : v.data()));
}

// Hands packets to the fuzzer's corpus when asked to.
void SaveSeed(const std::string& name, const Bytes& bytes) {
    const char* dir = std::getenv("PELMORA_PACKET_SEED_DIR");
    if (!dir) return;
    std::ofstream(std::string(dir) + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// A master-detail packet two levels deep, written with counts given ahead
// and counts closed afterwards; `expected` receives the items read back.
Bytes NestedPacket(std::vector<Item>* expected) {
    Ref<IDSPacketWriter> w(NewWriter());
    EXPECT_EQ(0u, w->BeginPacket(2, 2));
    PacketColumnDesc id = Column("ID", kInt32), orders = Column("ORDERS", kTable | 2),
                     no = Column("NO", kString), lines = Column("LINES", kTable | 1),
                     qty = Column("QTY", kInt32);
    EXPECT_EQ(0u, w->AddColumn(&id));
    uint16_t width = 8;
    EXPECT_EQ(0u, w->AddParameter(0, "WIDTH", 0x00020002, 2, &width));
    EXPECT_EQ(0u, w->AddColumn(&orders));
    EXPECT_EQ(0u, w->AddColumn(&no));
    EXPECT_EQ(0u, w->AddColumn(&lines));
    EXPECT_EQ(0u, w->AddColumn(&qty));
    EXPECT_EQ(0u, w->AddParameter(1, nullptr, 0, 0, nullptr));  // LINES level
    uint32_t link = 3;
    EXPECT_EQ(0u, w->AddParameter(1, "LINK", 0x00020004, 4, &link));
    EXPECT_EQ(0u, w->AddParameter(1, nullptr, 0, 0, nullptr));  // ORDERS level
    EXPECT_EQ(0u, w->AddParameter(1, nullptr, 0, 0, nullptr));  // top level

    auto put = [&](const Bytes& v, Item item) {
        Put(w.get(), v);
        expected->push_back(item);
    };
    put({0}, Status(0));
    put(Le32(1), Value(Le32(1)));
    put(Le32(kUnknownCount), Value(Le32(2)));  // two orders, counted afterwards
    for (int order = 0; order < 2; ++order) {
        put({4}, Status(4));
        put({'A', static_cast<uint8_t>('0' + order)},
            Value({'A', static_cast<uint8_t>('0' + order)}));
        const uint32_t count = order == 0 ? 2 : kUnknownCount;
        put(Le32(count), Value(Le32(order == 0 ? 2 : 3)));
        for (int line = 0; line < (order == 0 ? 2 : 3); ++line) {
            put({0}, Status(0));
            put(Le32(100 * order + line), Value(Le32(100 * order + line)));
        }
        if (order == 1) {
            EXPECT_EQ(0u, w->CloseNestedRows());
        }
    }
    EXPECT_EQ(0u, w->CloseNestedRows());
    put({0}, Status(0));
    put(Le32(2), Value(Le32(2)));
    put(Le32(0), Value(Le32(0)));
    return Take(w.get());
}

TEST(PacketRoundTrip, EveryPacketTypeWord) {
    struct Case {
        uint32_t type;
        Bytes value;
    };
    auto pattern = [](size_t n) {
        Bytes b(n);
        for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(0xA0 + i);
        return b;
    };
    const std::vector<Case> cases = {
        {0x00490001, {'a', 'b', 'c'}},
        {0x00490002, pattern(300)},
        {0x00060004, pattern(4)},
        {0x004B0004, pattern(70)},
        {0x00030002, pattern(2)},
        {0x00010002, pattern(2)},
        {0x00010004, pattern(4)},
        {0x00040008, pattern(8)},
        {0x00050004, pattern(18)},
        {0x000B0006, pattern(6)},
        {0x00070004, pattern(4)},
        {0x00080008, pattern(8)},
        {0x00020002, pattern(2)},
        {0x00020004, pattern(4)},
        {0x0004000A, pattern(10)},
        {0x004B0001, pattern(200)},
        {0x004B0002, pattern(1000)},
        {0x00010008, pattern(8)},
        {0x00020008, pattern(8)},
        {0x010C0001, {}},
        {0x030D0002, {}},
        {0x010F0004, pattern(4)},
        {0x00010001, pattern(1)},
        {0x00020001, pattern(1)},
        {0x00030001, pattern(1)},
        {0x00030004, pattern(4)},
        {0x004A0001, pattern(12)},
        {0x004A0002, pattern(400)},
        {0x00100003, pattern(3)},
    };
    Ref<IDSPacketWriter> w(NewWriter());
    const uint16_t count = static_cast<uint16_t>(cases.size() + 1);
    ASSERT_EQ(0u, w->BeginPacket(2, count));
    for (size_t i = 0; i < cases.size(); ++i) {
        PacketColumnDesc c = Column(("F" + std::to_string(i)).c_str(), cases[i].type);
        ASSERT_EQ(0u, w->AddColumn(&c)) << std::hex << cases[i].type;
    }
    PacketColumnDesc table = Column("DETAIL", kTable | 1), inner = Column("X", 0x00020002);
    ASSERT_EQ(0u, w->AddColumn(&table));
    ASSERT_EQ(0u, w->AddColumn(&inner));
    ASSERT_EQ(0u, w->AddParameter(1, nullptr, 0, 0, nullptr));
    ASSERT_EQ(0u, w->AddParameter(1, nullptr, 0, 0, nullptr));

    std::vector<Item> expected{Status(8)};
    Put(w.get(), {8});
    for (const Case& c : cases) {
        Put(w.get(), c.value);
        expected.push_back(Value(c.value));
    }
    Put(w.get(), Le32(1));
    Put(w.get(), {0});
    Put(w.get(), {0x34, 0x12});
    for (const Item& i : {Value(Le32(1)), Status(0), Value({0x34, 0x12})}) expected.push_back(i);
    const Bytes packet = Take(w.get());
    SaveSeed("every_type.pkt", packet);
    EXPECT_EQ(2, packet[4]);  // structured columns need version 2

    Parsed parsed = ReadAll(packet);
    ASSERT_EQ(0u, parsed.failure);
    ASSERT_EQ(cases.size() + 2, parsed.columns.size());
    EXPECT_EQ("F0", parsed.columns[0]);
    EXPECT_EQ(expected, parsed.items);
}

TEST(PacketRoundTrip, NestedDetailsTwoLevelsDeep) {
    std::vector<Item> expected;
    const Bytes packet = NestedPacket(&expected);
    SaveSeed("nested.pkt", packet);
    EXPECT_EQ(2u, packet[14]);  // top-level rows only
    Parsed parsed = ReadAll(packet);
    ASSERT_EQ(0u, parsed.failure);
    EXPECT_EQ((std::vector<std::string>{"ID", "ORDERS", "NO", "LINES", "QTY"}), parsed.columns);
    ASSERT_EQ(2u, parsed.parameters.size());
    EXPECT_EQ("WIDTH", parsed.parameters[0].name);
    EXPECT_EQ("LINK", parsed.parameters[1].name);
    EXPECT_EQ(expected, parsed.items);
}

TEST(PacketRoundTrip, BlankUnchangedAndNotFetchedValues) {
    Ref<IDSPacketWriter> w(NewWriter());
    ASSERT_EQ(0u, w->BeginPacket(2, 4));
    PacketColumnDesc s = Column("S", kString), b = Column("B", kBlob), i = Column("I", kInt32),
                     t = Column("T", kTable | 1), x = Column("X", kInt32);
    for (PacketColumnDesc* c : {&s, &b, &i, &t, &x}) ASSERT_EQ(0u, w->AddColumn(c));
    ASSERT_EQ(0u, w->AddParameter(1, nullptr, 0, 0, nullptr));
    ASSERT_EQ(0u, w->AddParameter(1, nullptr, 0, 0, nullptr));

    uint8_t status = 8;
    ASSERT_EQ(0u, w->PutValue(0, 1, &status));
    ASSERT_EQ(0u, w->PutValue(0, 1, ""));            // empty, non-blank string
    ASSERT_EQ(0u, w->PutValue(0, 0x80000123u, ""));  // BLOB not here
    ASSERT_EQ(0u, w->PutValue(2, 0, nullptr));       // unchanged
    uint32_t notFetched = 0x80000000u;
    ASSERT_EQ(0u, w->PutValue(0, 4, &notFetched));
    ASSERT_EQ(0u, w->PutValue(0, 1, &status));
    ASSERT_EQ(0u, w->PutValue(1, 0, nullptr));
    ASSERT_EQ(0u, w->PutValue(1, 5, "ignored"));
    ASSERT_EQ(0u, w->PutValue(0, 4, nullptr));
    ASSERT_EQ(0u, w->PutValue(1, 0, nullptr));
    const Bytes packet = Take(w.get());
    SaveSeed("special.pkt", packet);

    Parsed parsed = ReadAll(packet);
    ASSERT_EQ(0u, parsed.failure);
    const std::vector<Item> expected = {Status(8),
                                        Value({0}),
                                        {0, 0, 0x80000123u, {}},
                                        Unchanged(),
                                        Value(Le32(0x80000000u)),
                                        Status(8),
                                        Blank(),
                                        Blank(),
                                        Blank(),
                                        Blank()};
    EXPECT_EQ(expected, parsed.items);
}

TEST(PacketRoundTrip, RepeatedAndVaryingParameters) {
    Ref<IDSPacketWriter> w(NewWriter());
    ASSERT_EQ(0u, w->BeginPacket(2, 2));
    PacketColumnDesc a = Column("A", kInt32), b = Column("B", kString);
    ASSERT_EQ(0u, w->AddColumn(&a));
    ASSERT_EQ(0u, w->AddColumn(&b));
    const Bytes subtype = {'M', 'o', 'n', 'e', 'y', 0};
    ASSERT_EQ(0u, w->AddParameter(0, "SUBTYPE", 0x00490002, 6, subtype.data()));
    const Bytes keys = {3, 0, 0, 0, 1, 0, 0x02, 0x80, 2, 0x40};
    const Bytes log = {3, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0};
    const Bytes roundTrip = {1, 0, 0, 0};
    ASSERT_EQ(0u, w->AddParameter(1, "DEFAULT_ORDER", 0x00820002, 10, keys.data()));
    ASSERT_EQ(0u, w->AddParameter(1, "CHANGE_LOG", 0x00820004, 99, log.data()));
    ASSERT_EQ(0u, w->AddParameter(1, "KEEP", 0x80020004, 4, roundTrip.data()));
    ASSERT_EQ(0u, w->AddParameter(1, nullptr, 0, 0, nullptr));
    const Bytes packet = Take(w.get());
    SaveSeed("parameters.pkt", packet);

    Parsed parsed = ReadAll(packet);
    ASSERT_EQ(0u, parsed.failure);
    const std::vector<Parameter> expected = {{"SUBTYPE", 0x00490002, subtype},
                                             {"DEFAULT_ORDER", 0x00820002, keys},
                                             {"CHANGE_LOG", 0x00820004, log},
                                             {"KEEP", 0x80020004, roundTrip}};
    EXPECT_EQ(expected, parsed.parameters);
}

TEST(PacketRoundTrip, LargePacketWithPatchedCounts) {
    Ref<IDSPacketWriter> w(NewWriter());
    ASSERT_EQ(0u, w->BeginPacket(2, 2));
    PacketColumnDesc id = Column("ID", kInt32), t = Column("T", kTable | 1), d = Column("D", kBlob);
    for (PacketColumnDesc* c : {&id, &t, &d}) ASSERT_EQ(0u, w->AddColumn(c));
    ASSERT_EQ(0u, w->AddParameter(1, nullptr, 0, 0, nullptr));
    ASSERT_EQ(0u, w->AddParameter(1, nullptr, 0, 0, nullptr));
    const Bytes blob(997, 'z');
    const int masters = 300, details = 20;  // about 6 MB: counts patched across chunks
    for (int m = 0; m < masters; ++m) {
        Put(w.get(), {0});
        Put(w.get(), Le32(m));
        Put(w.get(), Le32(kUnknownCount));
        for (int k = 0; k < details + m % 3; ++k) {
            Put(w.get(), {0});
            Put(w.get(), blob);
        }
        ASSERT_EQ(0u, w->CloseNestedRows());
    }
    const Bytes packet = Take(w.get());
    Parsed parsed = ReadAll(packet);
    ASSERT_EQ(0u, parsed.failure);
    EXPECT_EQ(static_cast<uint32_t>(masters), packet[14] | (packet[15] << 8));
    size_t at = 0;
    for (int m = 0; m < masters; ++m) {
        ASSERT_LT(at + 3, parsed.items.size());
        EXPECT_EQ(Value(Le32(m)), parsed.items[at + 1]);
        EXPECT_EQ(Value(Le32(details + m % 3)), parsed.items[at + 2]);
        at += 3 + 2 * (details + m % 3);
    }
    EXPECT_EQ(at, parsed.items.size());
}

TEST(PacketRoundTrip, CutAndDamagedPacketsFailCleanly) {
    std::vector<Item> expected;
    const Bytes packet = NestedPacket(&expected);
    for (size_t n = 0; n < packet.size(); ++n) {
        Parsed parsed = ReadAll(Bytes(packet.begin(), packet.begin() + n));
        EXPECT_NE(0u, parsed.failure) << "prefix " << n;
        ASSERT_LE(parsed.items.size(), expected.size());
        EXPECT_TRUE(std::equal(parsed.items.begin(), parsed.items.end(), expected.begin()))
            << "prefix " << n;
    }
    // Damaged bytes may read as anything, but never beyond the packet.
    for (size_t n = 0; n < packet.size(); ++n) {
        for (uint8_t flip : {0x01, 0x80, 0xFF}) {
            Bytes damaged = packet;
            damaged[n] ^= flip;
            ReadAll(damaged);
        }
    }
}

}  // namespace
