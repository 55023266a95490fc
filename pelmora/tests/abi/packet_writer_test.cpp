// The datapacket writer through its interface: exact bytes of small packets,
// refusals, nesting and buffer growth.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine_loader.h"

using enginetest::Column;
using enginetest::Engine;
using enginetest::Ref;
using enginetest::TakeBytes;

namespace {

constexpr uint32_t kInt32 = 0x00010004;
constexpr uint32_t kDate = 0x00060004;
constexpr uint32_t kString = 0x00490001;
constexpr uint32_t kBlob = 0x004B0004;
constexpr uint32_t kTable = 0x050E0000;

using Bytes = std::vector<uint8_t>;

uint16_t U16(const Bytes& b, size_t at) {
    if (at + 2 > b.size()) return ADD_FAILURE() << "short packet", 0;
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t U32(const Bytes& b, size_t at) {
    if (at + 4 > b.size()) return ADD_FAILURE() << "short packet", 0;
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
void Put16(Bytes& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutName(Bytes& b, const std::string& name) {
    b.push_back(static_cast<uint8_t>(name.size()));
    b.insert(b.end(), name.begin(), name.end());
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

// A packet with metadata for the given flat columns, metadata closed.
void BeginFlat(IDSPacketWriter* w, const std::vector<uint32_t>& types) {
    ASSERT_EQ(0u, w->BeginPacket(2, static_cast<uint16_t>(types.size())));
    for (size_t i = 0; i < types.size(); ++i) {
        PacketColumnDesc c = Column(("C" + std::to_string(i)).c_str(), types[i]);
        ASSERT_EQ(0u, w->AddColumn(&c));
    }
    ASSERT_EQ(0u, w->AddParameter(1, nullptr, 0, 0, nullptr));
}

void PutStatus(IDSPacketWriter* w, uint8_t status = 0) {
    ASSERT_EQ(0u, w->PutValue(0, 1, &status));
}
void PutInt(IDSPacketWriter* w, int32_t v) {
    ASSERT_EQ(0u, w->PutValue(0, 4, &v));
}

TEST(PacketWriterBytes, EmptyTwoColumnPacket) {
    Ref<IDSPacketWriter> w(NewWriter());
    BeginFlat(w.get(), {kInt32, kDate});
    Bytes packet = Take(w.get());

    Bytes expected;
    Put32(expected, 0x5E1A7C2D);
    Put16(expected, 1);
    Put16(expected, 0);
    Put32(expected, 24);
    Put16(expected, 2);
    Put32(expected, 0);
    Put32(expected, 3);
    Put16(expected, 0);  // row offset, patched below
    PutName(expected, "C0");
    Put32(expected, kInt32);
    Put16(expected, 0);
    Put16(expected, 0);
    PutName(expected, "C1");
    Put32(expected, kDate);
    Put16(expected, 0);
    Put16(expected, 0);
    Put16(expected, 0);  // dataset parameter count
    expected[22] = static_cast<uint8_t>(expected.size());
    EXPECT_EQ(expected, packet);
}

TEST(PacketWriterBytes, ColumnDescriptorWithWidthParameter) {
    Ref<IDSPacketWriter> w(NewWriter());
    ASSERT_EQ(0u, w->BeginPacket(2, 1));
    PacketColumnDesc c = Column("NAME", kString, 0x0004);
    ASSERT_EQ(0u, w->AddColumn(&c));
    uint16_t width = 20;
    ASSERT_EQ(0u, w->AddParameter(0, "WIDTH", 0x00020002, 2, &width));
    ASSERT_EQ(0u, w->AddParameter(1, nullptr, 0, 0, nullptr));
    Bytes packet = Take(w.get());

    Bytes expected;
    PutName(expected, "NAME");
    Put32(expected, 0x00490001);
    Put16(expected, 0x0004);
    Put16(expected, 1);
    PutName(expected, "WIDTH");
    Put32(expected, 0x00020002);
    Put16(expected, 20);
    Put16(expected, 0);
    EXPECT_EQ(expected, Bytes(packet.begin() + 24, packet.end()));
}

TEST(PacketWriterBytes, RowBitmapsAndValues) {
    Ref<IDSPacketWriter> w(NewWriter());
    BeginFlat(w.get(), {kInt32, kInt32, kInt32});
    uint32_t rowsAt = 0;
    ASSERT_EQ(0u, w->ReadPacketSize(&rowsAt));
    PutStatus(w.get(), 4);
    PutInt(w.get(), 7);
    ASSERT_EQ(0u, w->PutValue(1, 0, nullptr));
    PutInt(w.get(), 9);
    Bytes packet = Take(w.get());
    EXPECT_EQ(1u, U32(packet, 14));
    EXPECT_EQ(3u, U32(packet, 18));
    EXPECT_EQ(rowsAt, U16(packet, 22));
    Bytes row(packet.begin() + rowsAt, packet.end());
    EXPECT_EQ((Bytes{4, 0x04, 7, 0, 0, 0, 9, 0, 0, 0}), row);

    // Five columns: a two-byte bitmap, column 4 in the low bits of byte 2;
    // a null value counts as blank, status 2 marks a value unchanged.
    BeginFlat(w.get(), {kInt32, kInt32, kInt32, kInt32, kInt32});
    ASSERT_EQ(0u, w->ReadPacketSize(&rowsAt));
    PutStatus(w.get(), 8);
    ASSERT_EQ(0u, w->PutValue(2, 0, nullptr));
    PutInt(w.get(), 1);
    PutInt(w.get(), 2);
    PutInt(w.get(), 3);
    ASSERT_EQ(0u, w->PutValue(0, 4, nullptr));
    packet = Take(w.get());
    EXPECT_EQ((Bytes{8, 0x02, 0x01, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0}),
              Bytes(packet.begin() + rowsAt, packet.end()));
}

TEST(PacketWriterBytes, VaryingValues) {
    Ref<IDSPacketWriter> w(NewWriter());
    BeginFlat(w.get(), {kString, 0x00490002, kBlob});
    uint32_t rowsAt = 0;
    ASSERT_EQ(0u, w->ReadPacketSize(&rowsAt));
    PutStatus(w.get());
    ASSERT_EQ(0u, w->PutValue(0, 1, ""));  // an empty, non-blank string
    ASSERT_EQ(0u, w->PutValue(0, 3, "abc"));
    ASSERT_EQ(0u, w->PutValue(0, 0x80000010u, "x"));  // not-fetched BLOB: length only
    Bytes packet = Take(w.get());
    EXPECT_EQ((Bytes{0, 0, 1, 0, 3, 0, 'a', 'b', 'c', 0x10, 0, 0, 0x80}),
              Bytes(packet.begin() + rowsAt, packet.end()));

    // Lengths the prefix cannot hold are refused rather than cut.
    BeginFlat(w.get(), {kString});
    PutStatus(w.get());
    std::string big(300, 'x');
    EXPECT_EQ(9986u, w->PutValue(0, 300, big.data()));
}

TEST(PacketWriterBytes, HeaderVersionAndSize) {
    Ref<IDSPacketWriter> w(NewWriter());
    ASSERT_EQ(0u, w->BeginPacket(2, 3));
    uint32_t size = 0;
    ASSERT_EQ(0u, w->ReadPacketSize(&size));
    EXPECT_EQ(24u, size);
    PacketColumnDesc adt = Column("A", 0x010C0002);
    PacketColumnDesc x = Column("X", kInt32);
    PacketColumnDesc y = Column("Y", kInt32);
    ASSERT_EQ(0u, w->AddColumn(&adt));
    ASSERT_EQ(0u, w->ReadPacketSize(&size));
    EXPECT_EQ(24u + 1 + 1 + 8, size);
    ASSERT_EQ(0u, w->AddColumn(&x));
    ASSERT_EQ(0u, w->AddColumn(&y));
    Bytes packet = Take(w.get());
    EXPECT_EQ(2u, U16(packet, 4));
    EXPECT_EQ(3u, U16(packet, 12));
    EXPECT_EQ(packet.size(), U16(packet, 22));  // metadata closed implicitly at take
    ASSERT_EQ(0u, w->ReadPacketSize(&size));
    EXPECT_EQ(packet.size(), size);
}

TEST(PacketWriterRefusals, ColumnsAndKinds) {
    Ref<IDSPacketWriter> w(NewWriter());
    EXPECT_EQ(16389u, w->BeginPacket(3, 1));
    ASSERT_EQ(0u, w->BeginPacket(2, 2));

    PacketColumnDesc rowState = Column("RowState", kInt32);
    EXPECT_EQ(10756u, w->AddColumn(&rowState));
    PacketColumnDesc base17 = Column("B", 0x00110004);
    EXPECT_EQ(10756u, w->AddColumn(&base17));
    for (uint32_t bad :
         {0x00C90001u, 0x00010003u, 0x00040004u, 0x00080004u, 0x00490003u, 0x00000004u}) {
        PacketColumnDesc c = Column("T", bad);
        EXPECT_EQ(10000u, w->AddColumn(&c)) << std::hex << bad;
    }
    EXPECT_EQ(9986u, w->AddColumn(nullptr));
    uint32_t count = 99;
    ASSERT_EQ(0u, w->ReadColumnCount(&count));
    EXPECT_EQ(0u, count);

    PacketColumnDesc a = Column("A", kInt32);
    PacketColumnDesc b = Column("rowstate", kInt32);  // only the exact name is reserved
    ASSERT_EQ(0u, w->AddColumn(&a));
    ASSERT_EQ(0u, w->AddColumn(&b));
    EXPECT_EQ(10756u, w->AddColumn(&a));  // beyond the announced count
    ASSERT_EQ(0u, w->ReadColumnCount(&count));
    ASSERT_EQ(2u, count);
    PacketColumnDesc back[2];
    ASSERT_EQ(0u, w->ReadColumns(back));
    EXPECT_STREQ("rowstate", back[1].name);
    EXPECT_EQ(kInt32, uint32_t{back[1].typeWord});

    // Parameters whose value cannot be encoded.
    EXPECT_EQ(10000u, w->AddParameter(0, "P", 0x00010003, 3, "abc"));
    EXPECT_EQ(9986u, w->AddParameter(0, "P", 0x00820002, 2, "ab"));
    EXPECT_EQ(9986u, w->AddParameter(2, "P", kInt32, 4, "abcd"));
    SAFEARRAY* out = nullptr;
    EXPECT_EQ(9986u, w->TakePacket(nullptr));
    EXPECT_EQ(0u, w->TakePacket(&out));
    TakeBytes(out);
    EXPECT_EQ(10756u, w->TakePacket(&out));  // nothing begun since
}

TEST(PacketWriterRefusals, ParameterAfterFirstRowLeavesPacketUnchanged) {
    Ref<IDSPacketWriter> w(NewWriter());
    Ref<IDSPacketWriter> reference(NewWriter());
    for (IDSPacketWriter* each : {w.get(), reference.get()}) {
        BeginFlat(each, {kInt32});
        PutStatus(each);
        PutInt(each, 5);
    }
    uint32_t before = 0, after = 0;
    ASSERT_EQ(0u, w->ReadPacketSize(&before));
    uint16_t one = 1;
    EXPECT_EQ(10756u, w->AddParameter(1, "LATE", 0x00020002, 2, &one));
    EXPECT_EQ(10756u, w->AddParameter(0, "LATE", 0x00020002, 2, &one));
    ASSERT_EQ(0u, w->ReadPacketSize(&after));
    EXPECT_EQ(before, after);
    EXPECT_EQ(Take(reference.get()), Take(w.get()));
}

TEST(PacketWriterRefusals, RowItemsOutOfPlace) {
    Ref<IDSPacketWriter> w(NewWriter());
    EXPECT_EQ(10756u, w->PutValue(0, 1, "\0"));  // no packet
    BeginFlat(w.get(), {kInt32});
    EXPECT_EQ(9986u, w->PutValue(1, 0, nullptr));  // blank where a status belongs
    EXPECT_EQ(9986u, w->PutValue(2, 0, nullptr));
    EXPECT_EQ(10756u, w->CloseNestedRows());
    PutStatus(w.get());
    SAFEARRAY* out = nullptr;
    EXPECT_EQ(10756u, w->TakePacket(&out));  // a row cut short
    EXPECT_EQ(nullptr, out);
    PutInt(w.get(), 3);
    EXPECT_EQ(1u, U32(Take(w.get()), 14));

    // A nested level still open when the rows start.
    ASSERT_EQ(0u, w->BeginPacket(2, 1));
    PacketColumnDesc t = Column("T", kTable | 1);
    PacketColumnDesc x = Column("X", kInt32);
    ASSERT_EQ(0u, w->AddColumn(&t));
    ASSERT_EQ(0u, w->AddColumn(&x));
    EXPECT_EQ(8451u, w->PutValue(0, 1, "\0"));
    EXPECT_EQ(16389u, w->TakePacket(&out));
}

// Writes a master row whose detail list is announced as not yet known.
TEST(PacketWriterNesting, UnknownDetailCountMustBeClosed) {
    Ref<IDSPacketWriter> w(NewWriter());
    ASSERT_EQ(0u, w->BeginPacket(2, 2));
    PacketColumnDesc id = Column("ID", kInt32);
    PacketColumnDesc t = Column("LINES", kTable | 1);
    PacketColumnDesc q = Column("QTY", kInt32);
    ASSERT_EQ(0u, w->AddColumn(&id));
    ASSERT_EQ(0u, w->AddColumn(&t));
    ASSERT_EQ(0u, w->AddColumn(&q));
    ASSERT_EQ(0u, w->AddParameter(1, nullptr, 0, 0, nullptr));  // nested block
    ASSERT_EQ(0u, w->AddParameter(1, nullptr, 0, 0, nullptr));  // top block
    uint32_t rowsAt = 0;
    ASSERT_EQ(0u, w->ReadPacketSize(&rowsAt));

    PutStatus(w.get());
    PutInt(w.get(), 1);
    uint32_t unknown = 0xFFFFFFFF;
    ASSERT_EQ(0u, w->PutValue(0, 4, &unknown));
    for (int i = 0; i < 3; ++i) {
        PutStatus(w.get());
        PutInt(w.get(), 10 + i);
    }
    SAFEARRAY* out = nullptr;
    EXPECT_EQ(10756u, w->TakePacket(&out));
    EXPECT_EQ(nullptr, out);
    ASSERT_EQ(0u, w->CloseNestedRows());
    EXPECT_EQ(10756u, w->CloseNestedRows());

    // A second master row with an empty detail list.
    PutStatus(w.get());
    PutInt(w.get(), 2);
    uint32_t none = 0;
    ASSERT_EQ(0u, w->PutValue(0, 4, &none));
    Bytes packet = Take(w.get());
    EXPECT_EQ(2u, U32(packet, 14));
    const size_t r = rowsAt;
    EXPECT_EQ(1u, U32(packet, r + 2));
    EXPECT_EQ(3u, U32(packet, r + 6));                // patched count
    EXPECT_EQ(12u, U32(packet, r + 10 + 2 * 6 + 2));  // third detail value
    EXPECT_EQ(0u, U32(packet, packet.size() - 4));
}

TEST(PacketWriterNesting, FifteenLevelsAtMost) {
    Ref<IDSPacketWriter> w(NewWriter());
    ASSERT_EQ(0u, w->BeginPacket(2, 1));
    PacketColumnDesc t = Column("T", kTable | 1);
    for (int level = 1; level < 15; ++level) ASSERT_EQ(0u, w->AddColumn(&t)) << level;
    EXPECT_EQ(10756u, w->AddColumn(&t));
    PacketColumnDesc x = Column("X", kInt32);
    EXPECT_EQ(0u, w->AddColumn(&x));
}

TEST(PacketWriterXml, NotFetchedItemsAndTakeAreRefused) {
    Ref<IDSPacketWriter> w(NewWriter());
    ASSERT_EQ(0u, w->BeginPacket(2, 2));
    ASSERT_EQ(0u, w->SetXmlOutput(1));
    EXPECT_EQ(1u, w->ReadXmlOutput());
    PacketColumnDesc b = Column("B", kBlob);
    PacketColumnDesc t = Column("T", kTable | 1);
    PacketColumnDesc x = Column("X", kInt32);
    ASSERT_EQ(0u, w->AddColumn(&b));
    ASSERT_EQ(0u, w->AddColumn(&t));
    ASSERT_EQ(0u, w->AddColumn(&x));
    ASSERT_EQ(0u, w->AddParameter(1, nullptr, 0, 0, nullptr));
    PutStatus(w.get());
    EXPECT_EQ(16401u, w->PutValue(0, 0x80000004u, "abcd"));
    ASSERT_EQ(0u, w->PutValue(0, 4, "abcd"));
    uint32_t notFetched = 0x80000000u;
    EXPECT_EQ(16401u, w->PutValue(0, 4, &notFetched));
    uint32_t none = 0;
    ASSERT_EQ(0u, w->PutValue(0, 4, &none));
    const Bytes xml = Take(w.get());
    const std::string text(xml.begin(), xml.end());
    EXPECT_EQ(0u, text.find("<?xml "));
    EXPECT_NE(std::string::npos, text.find("<ROWDATA><ROW B=\"61626364\"/></ROWDATA>"));
}

TEST(PacketWriterRowsOnly, HeaderAndRestart) {
    Ref<IDSPacketWriter> w(NewWriter());
    EXPECT_EQ(10756u, w->RestartRows());
    PacketColumnDesc cols[2] = {Column("A", kInt32), Column("B", kString)};
    EXPECT_EQ(16389u, w->BeginRowsOnly(5, 2, cols));
    ASSERT_EQ(0u, w->BeginRowsOnly(2, 2, cols));
    PutStatus(w.get());
    PutInt(w.get(), 4);
    ASSERT_EQ(0u, w->PutValue(0, 2, "hi"));
    Bytes packet = Take(w.get());
    EXPECT_EQ(2u, U16(packet, 12));
    EXPECT_EQ(1u, U32(packet, 14));
    EXPECT_EQ(2u, U32(packet, 18));  // no metadata, row offset valid
    EXPECT_EQ(24u, U16(packet, 22));
    EXPECT_EQ((Bytes{0, 0, 4, 0, 0, 0, 2, 'h', 'i'}), Bytes(packet.begin() + 24, packet.end()));

    ASSERT_EQ(0u, w->RestartRows());
    packet = Take(w.get());
    EXPECT_EQ(24u, packet.size());
    EXPECT_EQ(0u, U32(packet, 14));

    // Without an array the columns registered before are kept.
    ASSERT_EQ(0u, w->BeginRowsOnly(2, 0, nullptr));
    uint32_t count = 0;
    ASSERT_EQ(0u, w->ReadColumnCount(&count));
    EXPECT_EQ(2u, count);
    PacketColumnDesc blank = Column("RowState", kInt32);
    EXPECT_EQ(10756u, w->BeginRowsOnly(2, 1, &blank));
}

TEST(PacketWriterBuffer, LargePacketsKeepEveryByte) {
    Ref<IDSPacketWriter> w(NewWriter());
    BeginFlat(w.get(), {kInt32, 0x004B0004});
    uint32_t rowsAt = 0;
    ASSERT_EQ(0u, w->ReadPacketSize(&rowsAt));
    std::string blob(5000, 'q');
    const int rows = 1500;  // about 7.5 MB, far beyond several growth steps
    for (int i = 0; i < rows; ++i) {
        PutStatus(w.get());
        PutInt(w.get(), i);
        blob[i % blob.size()] = static_cast<char>('a' + i % 26);
        ASSERT_EQ(0u, w->PutValue(0, static_cast<uint32_t>(blob.size()), blob.data()));
    }
    uint32_t size = 0;
    ASSERT_EQ(0u, w->ReadPacketSize(&size));
    const size_t rowBytes = 1 + 1 + 4 + 4 + blob.size();
    EXPECT_EQ(rowsAt + rows * rowBytes, size);
    Bytes packet = Take(w.get());
    ASSERT_EQ(size, packet.size());
    EXPECT_EQ(static_cast<uint32_t>(rows), U32(packet, 14));
    for (int i = 0; i < rows; i += 97) {
        const size_t at = rowsAt + i * rowBytes;
        EXPECT_EQ(static_cast<uint32_t>(i), U32(packet, at + 2));
        EXPECT_EQ(blob.size(), U32(packet, at + 6));
        EXPECT_EQ('a' + i % 26, packet[at + 10 + i % blob.size()]);
    }
}

TEST(PacketObjects, ErrorTexts) {
    setenv("LC_ALL", "C", 1);
    Ref<IDSPacketWriter> w(NewWriter());
    Ref<IDSPacketReader> r(Engine::Get().NewReader());
    char text[128];
    ASSERT_EQ(0u, w->ErrorText(8706, text));
    EXPECT_STREQ("At end of table.", text);
    ASSERT_EQ(0u, r->ErrorText(8706, text));
    EXPECT_STREQ("At end of table.", text);
    std::memset(text, 'x', sizeof(text));
    EXPECT_EQ(8712u, w->ErrorText(16390, text));
    EXPECT_STREQ("", text);
    std::memset(text, 'x', sizeof(text));
    EXPECT_EQ(8712u, r->ErrorText(16390, text));
    EXPECT_STREQ("", text);
    EXPECT_EQ(8712u, w->ErrorText(16401, nullptr));
}

}  // namespace
