// The datapacket reader through its interface, on hand-made bytes: header
// acceptance, the column and parameter protocol, buffer sizes, appended row
// packets and corrupt packets.
#include <string>
#include <vector>

#include "engine_loader.h"

using enginetest::Engine;
using enginetest::Packet;
using enginetest::Ref;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kInt32 = 0x00010004;
constexpr uint32_t kString = 0x00490001;
constexpr uint32_t kTable = 0x050E0000;

// Builds packet bytes field by field.
struct Builder {
    Bytes b;
    Builder& U8(uint8_t v) {
        b.push_back(v);
        return *this;
    }
    Builder& U16(uint16_t v) {
        return U8(static_cast<uint8_t>(v)).U8(static_cast<uint8_t>(v >> 8));
    }
    Builder& U32(uint32_t v) {
        return U16(static_cast<uint16_t>(v)).U16(static_cast<uint16_t>(v >> 16));
    }
    Builder& Text(const std::string& s) {
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    Builder& Name(const std::string& s) { return U8(static_cast<uint8_t>(s.size())).Text(s); }
    Builder& Header(uint16_t columns, uint32_t rows, uint32_t properties, uint16_t version = 1,
                    uint32_t magic = 0x5E1A7C2D) {
        return U32(magic).U16(version).U16(0).U32(24).U16(columns).U32(rows).U32(properties).U16(0);
    }
    Builder& Column(const std::string& name, uint32_t type, uint16_t attributes, uint16_t params) {
        return Name(name).U32(type).U16(attributes).U16(params);
    }
    // Records the current end as the row offset (property bit 1).
    Builder& MarkRows() {
        b[22] = static_cast<uint8_t>(b.size());
        b[23] = static_cast<uint8_t>(b.size() >> 8);
        b[18] |= 2;
        return *this;
    }
};

IDSPacketReader* NewReader() {
    IDSPacketReader* r = Engine::Get().NewReader();
    EXPECT_NE(nullptr, r);
    return r;
}

// One int column, parameters none, one row holding 42.
Bytes SmallPacket(uint16_t version = 1, uint32_t magic = 0x5E1A7C2D) {
    Builder p;
    p.Header(1, 1, 1, version, magic).Column("A", kInt32, 0, 0).U16(0).MarkRows();
    p.U8(0).U8(0).U32(42);
    return p.b;
}

EngineResult OpenAndReadFirstValue(IDSPacketReader* r, const Bytes& bytes, uint32_t* value) {
    Packet packet(bytes);
    if (EngineResult e = r->OpenPacket(packet.get())) return e;
    PacketColumnDesc c;
    char name[32];
    uint32_t type = 0, length = 0;
    uint8_t status = 0xFF;
    if (EngineResult e = r->NextColumn(&c)) return e;
    EXPECT_EQ(8706u, r->NextParameter(name, &type, &length, nullptr));
    EXPECT_EQ(8706u, r->NextColumn(&c));
    EXPECT_EQ(8706u, r->NextParameter(name, &type, &length, nullptr));
    length = 1;
    if (EngineResult e = r->NextValue(&length, &status, nullptr)) return e;
    EXPECT_EQ(0u, status);
    length = 4;
    return r->NextValue(&length, value, nullptr);
}

TEST(PacketReaderHeader, AcceptedVersionsAndMagics) {
    Ref<IDSPacketReader> r(NewReader());
    uint32_t value = 0;
    EXPECT_EQ(0u, OpenAndReadFirstValue(r.get(), SmallPacket(), &value));
    EXPECT_EQ(42u, value);
    EXPECT_EQ(0u, OpenAndReadFirstValue(r.get(), SmallPacket(2), &value));
    EXPECT_EQ(0u, OpenAndReadFirstValue(r.get(), SmallPacket(9, 0xABCD), &value));
    EXPECT_EQ(0u, r->ReadXmlInput());

    // Everything else goes to the XML reader, which finds no document in it.
    EXPECT_EQ(16389u, OpenAndReadFirstValue(r.get(), SmallPacket(3), &value));
    Bytes revision3 = SmallPacket();
    revision3[6] = 3;
    EXPECT_EQ(16389u, OpenAndReadFirstValue(r.get(), revision3, &value));
    Bytes xmlBody = SmallPacket();
    xmlBody[19] = 0x80;
    EXPECT_EQ(16389u, OpenAndReadFirstValue(r.get(), xmlBody, &value));
    EXPECT_EQ(16389u, OpenAndReadFirstValue(r.get(), Bytes{'<', '?', 'x', 'm', 'l'}, &value));
    EXPECT_EQ(10756u, r->OpenPacket(nullptr));
    EXPECT_EQ(9986u, r->OpenRows(nullptr));

    // A binary header that does not fit its bytes.
    Bytes cut = SmallPacket();
    cut.resize(12);
    EXPECT_EQ(16389u, OpenAndReadFirstValue(r.get(), cut, &value));
    Bytes longHeader = SmallPacket();
    longHeader[8] = 200;
    EXPECT_EQ(16389u, OpenAndReadFirstValue(r.get(), longHeader, &value));
}

TEST(PacketReaderMetadata, ColumnsParametersAndBlocks) {
    const std::string longName(40, 'x');
    Builder p;
    p.Header(2, 0, 1).Column(longName, kInt32, 5, 2);
    p.Name("WIDTH").U32(0x00020002).U16(20);
    p.Name("SUBTYPE").U32(0x00490002).U16(6).Text("Money").U8(0);
    p.Column("B", kTable | 1, 0, 0).Column("C", kString, 0, 0);
    p.U16(1).Name("N").U32(0x00020004).U32(7);
    p.U16(1).Name("LCID").U32(0x00020004).U32(1041);
    Packet packet(p.b);
    Ref<IDSPacketReader> r(NewReader());
    ASSERT_EQ(0u, r->OpenPacket(packet.get()));

    PacketColumnDesc c;
    char name[32];
    uint32_t type = 0, length = 0, value = 0;
    char text[16] = {};
    EXPECT_EQ(9986u, r->NextColumn(nullptr));
    ASSERT_EQ(0u, r->NextColumn(&c));
    EXPECT_EQ(std::string(31, 'x'), c.name);
    EXPECT_EQ(kInt32, uint32_t{c.typeWord});
    EXPECT_EQ(5u, uint32_t{c.attributes});
    EXPECT_EQ(10756u, r->NextColumn(&c));  // its parameters are unread

    ASSERT_EQ(0u, r->PeekParameterLength(&length));
    EXPECT_EQ(2u, length);
    length = 1;
    EXPECT_EQ(9986u, r->NextParameter(name, &type, &length, &value));
    EXPECT_EQ(2u, length);
    EXPECT_EQ(0u, r->NextParameter(name, &type, &length, nullptr));  // does not move on
    ASSERT_EQ(0u, r->NextParameter(name, &type, &length, &value));
    EXPECT_STREQ("WIDTH", name);
    EXPECT_EQ(20u, value);
    length = sizeof(text);
    ASSERT_EQ(0u, r->NextParameter(name, &type, &length, text));
    EXPECT_STREQ("SUBTYPE", name);
    EXPECT_EQ(0x00490002u, type);
    EXPECT_EQ(6u, length);
    EXPECT_STREQ("Money", text);
    EXPECT_EQ(8706u, r->NextParameter(name, &type, &length, &value));

    ASSERT_EQ(0u, r->NextColumn(&c));
    EXPECT_STREQ("B", c.name);
    EXPECT_EQ(8706u, r->NextParameter(name, &type, &length, &value));
    ASSERT_EQ(0u, r->NextColumn(&c));
    EXPECT_STREQ("C", c.name);
    EXPECT_EQ(8706u, r->NextColumn(&c));  // end of the nested level
    length = 4;
    ASSERT_EQ(0u, r->NextParameter(name, &type, &length, &value));
    EXPECT_STREQ("N", name);
    EXPECT_EQ(8706u, r->NextParameter(name, &type, &length, &value));  // back to the top level
    EXPECT_EQ(8706u, r->NextColumn(&c));
    EXPECT_EQ(10756u, r->NextValue(&length, &value, nullptr));  // metadata not complete
    ASSERT_EQ(0u, r->NextParameter(name, &type, &length, &value));
    EXPECT_STREQ("LCID", name);
    EXPECT_EQ(1041u, value);
    EXPECT_EQ(8706u, r->NextParameter(name, &type, &length, &value));
    EXPECT_EQ(8706u, r->NextValue(&length, &value, nullptr));  // no rows
    EXPECT_EQ(8706u, r->NextColumn(&c));
}

TEST(PacketReaderRows, BufferSizesAndItemOrder) {
    Builder p;
    p.Header(2, 1, 1).Column("S", kString, 0, 0).Column("I", kInt32, 0, 0).U16(0).MarkRows();
    p.U8(8).U8(0).U8(5).Text("hello").U32(77);
    Packet packet(p.b);
    Ref<IDSPacketReader> r(NewReader());
    ASSERT_EQ(0u, r->OpenPacket(packet.get()));
    PacketColumnDesc c;
    uint32_t length = 0, status = 9;
    while (r->NextColumn(&c) == 0) {
    }
    ASSERT_EQ(8706u, r->NextParameter(nullptr, nullptr, &length, nullptr));
    char buffer[8] = {};
    ASSERT_EQ(0u, r->PeekValueLength(&length));
    EXPECT_EQ(1u, length);
    length = 0;
    EXPECT_EQ(9986u, r->NextValue(&length, buffer, &status));
    EXPECT_EQ(1u, length);
    EXPECT_EQ(9986u, r->NextValue(nullptr, buffer, &status));
    length = 1;
    ASSERT_EQ(0u, r->NextValue(&length, buffer, &status));
    EXPECT_EQ(8, buffer[0]);
    ASSERT_EQ(0u, r->PeekValueLength(&length));
    EXPECT_EQ(5u, length);
    length = 4;
    EXPECT_EQ(9986u, r->NextValue(&length, buffer, &status));
    EXPECT_EQ(5u, length);
    ASSERT_EQ(0u, r->NextValue(&length, buffer, &status));
    EXPECT_EQ("hello", std::string(buffer, 5));
    uint32_t number = 0;
    length = 4;
    ASSERT_EQ(0u, r->NextValue(&length, &number, &status));
    EXPECT_EQ(77u, number);
    EXPECT_EQ(8706u, r->NextValue(&length, &number, &status));
    EXPECT_EQ(8706u, r->PeekValueLength(&length));
}

TEST(PacketReaderRows, AppendedRowPackets) {
    Builder first;
    first.Header(1, 0, 1).Column("A", kInt32, 0, 0).U16(0).MarkRows();
    Builder rows;
    rows.Header(1, 2, 0).MarkRows().U8(0).U8(0).U32(1).U8(4).U8(1);
    Builder withMeta;  // metadata, a row offset, one row
    withMeta.Header(1, 1, 1).Column("A", kInt32, 0, 0).U16(0).MarkRows().U8(0).U8(0).U32(9);
    Builder noOffset;  // rows behind metadata without a row offset
    noOffset.Header(1, 1, 1).Column("A", kInt32, 0, 0).U16(0).U8(0).U8(0).U32(9);
    Builder wrongShape;
    wrongShape.Header(2, 1, 0).U8(0).U8(0).U32(1).U32(2);
    Builder empty;
    empty.Header(1, 0, 0).MarkRows();

    Ref<IDSPacketReader> r(NewReader());
    Packet p1(first.b), p2(rows.b), p3(withMeta.b), p4(noOffset.b), p5(wrongShape.b), p6(empty.b);
    ASSERT_EQ(0u, r->OpenPacket(p1.get()));
    PacketColumnDesc c;
    uint32_t length = 0, value = 0, status = 0;
    ASSERT_EQ(0u, r->NextColumn(&c));
    ASSERT_EQ(8706u, r->NextParameter(nullptr, nullptr, &length, nullptr));
    ASSERT_EQ(8706u, r->NextColumn(&c));
    ASSERT_EQ(8706u, r->NextParameter(nullptr, nullptr, &length, nullptr));
    EXPECT_EQ(8706u, r->NextValue(&length, &value, &status));

    ASSERT_EQ(0u, r->OpenRows(p2.get()));
    std::vector<uint32_t> seen;
    for (int i = 0; i < 10; ++i) {
        length = 4;
        EngineResult e = r->NextValue(&length, &value, &status);
        if (e == 8706) break;
        seen.push_back(e == 0 ? (length == 1 ? value & 0xFF : value) : 1000 + status);
    }
    EXPECT_EQ((std::vector<uint32_t>{0, 1, 4, 1001}), seen);

    ASSERT_EQ(0u, r->OpenRows(p3.get()));
    length = 4;
    ASSERT_EQ(0u, r->NextValue(&length, &value, &status));
    length = 4;
    ASSERT_EQ(0u, r->NextValue(&length, &value, &status));
    EXPECT_EQ(9u, value);
    EXPECT_EQ(16389u, r->OpenRows(p4.get()));
    EXPECT_EQ(16389u, r->OpenRows(p5.get()));
    ASSERT_EQ(0u, r->OpenRows(p6.get()));
    EXPECT_EQ(8706u, r->NextValue(&length, &value, &status));
}

TEST(PacketReaderCorrupt, LengthsAndCountsBeyondTheBytes) {
    auto readAll = [](const Bytes& bytes) {
        Ref<IDSPacketReader> r(NewReader());
        Packet packet(bytes);
        EngineResult e = r->OpenPacket(packet.get());
        PacketColumnDesc c;
        uint8_t buffer[256];
        for (int i = 0; i < 100 && e == 0; ++i) {
            uint32_t length = sizeof(buffer);
            e = r->NextColumn(&c);
            if (e == 8706) e = r->NextParameter(nullptr, nullptr, &length, nullptr);
            while (e == 0) {
                length = sizeof(buffer);
                char name[32];
                e = r->NextParameter(name, nullptr, &length, buffer);
            }
            if (e == 8706) e = 0;
            length = 0;
            if (r->PeekValueLength(&length) != 10756) break;
        }
        for (int i = 0; i < 100 && e == 0; ++i) {
            uint32_t length = sizeof(buffer), status = 0;
            e = r->NextValue(&length, buffer, &status);
            if (e == 9740) e = 0;
        }
        return e;
    };
    Builder nameTooLong;
    nameTooLong.Header(1, 0, 1).U8(30).Text("ABC");
    EXPECT_EQ(16389u, readAll(nameTooLong.b));

    Builder paramTooLong;
    paramTooLong.Header(1, 0, 1).Column("A", kString, 0, 1).Name("P").U32(0x00490002).U16(500);
    paramTooLong.Text("short");
    EXPECT_EQ(16389u, readAll(paramTooLong.b));

    Builder repeatedTooLong;
    repeatedTooLong.Header(1, 0, 1).Column("A", kInt32, 0, 0).U16(1);
    repeatedTooLong.Name("K").U32(0x00820004).U32(0x40000000).U32(1);
    EXPECT_EQ(16389u, readAll(repeatedTooLong.b));

    Builder valueTooLong;
    valueTooLong.Header(1, 1, 1).Column("S", kString, 0, 0).U16(0).U8(0).U8(0).U8(9).Text("abc");
    EXPECT_EQ(16389u, readAll(valueTooLong.b));

    Builder detailCountTooBig;
    detailCountTooBig.Header(1, 1, 1).Column("T", kTable | 1, 0, 0).Column("X", kInt32, 0, 0);
    detailCountTooBig.U16(0).U16(0).U8(0).U8(0).U32(0x7FFFFFFF).U8(0).U8(0).U32(1);
    EXPECT_EQ(16389u, readAll(detailCountTooBig.b));

    Builder rowsMissing;  // the header announces more rows than there are
    rowsMissing.Header(1, 1000, 1).Column("A", kInt32, 0, 0).U16(0).U8(0).U8(0).U32(1);
    EXPECT_EQ(16389u, readAll(rowsMissing.b));

    Builder badType;
    badType.Header(1, 0, 1).Column("F", 0x00040004, 0, 0).U16(0);
    EXPECT_EQ(10000u, readAll(badType.b));

    Builder tooDeep;  // sixteen levels of nested datasets
    tooDeep.Header(1, 0, 1);
    for (int i = 0; i < 16; ++i) tooDeep.Column("T", kTable | 1, 0, 0);
    EXPECT_EQ(10756u, readAll(tooDeep.b));
}

}  // namespace
