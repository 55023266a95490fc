// The XML form itself: what the writer puts in the document, values that
// used to be lost or changed on the way through XML, and what the reader
// accepts from other writers and refuses.
#include <chrono>
#include <cstring>

#include "xml_test_support.h"

using namespace xmltest;
using enginetest::Column;

namespace {

constexpr uint32_t kInt32 = 0x00010004;
constexpr uint32_t kString = 0x00490001;
constexpr uint32_t kUnicode = 0x004A0002;
constexpr uint32_t kTimestamp = 0x00080008;
constexpr uint32_t kFloat = 0x00040008;

Bytes Le(uint64_t v, size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
    return b;
}

Bytes Of(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes Double(double d) {
    Bytes b(8);
    std::memcpy(b.data(), &d, 8);
    return b;
}

// A packet of one level: columns with their parameters, then rows of
// (status, value) items; status 1 blank, 2 unchanged.
struct PacketShape {
    struct Param {
        uint32_t area;
        std::string name;
        uint32_t type;
        Bytes value;
    };
    std::vector<PacketColumnDesc> columns;
    std::vector<std::pair<size_t, Param>> params;  // after column index (npos: dataset)
    std::vector<std::vector<std::pair<uint32_t, Bytes>>> rows;
};

// Writes the packet in the given XML mode (0: binary); *result gets TakePacket's code.
Bytes Write(const PacketShape& shape, uint32_t mode, EngineResult* result = nullptr,
            IDSPacketWriter* reuse = nullptr) {
    Ref<IDSPacketWriter> owned(reuse ? nullptr : Engine::Get().NewWriter());
    IDSPacketWriter* w = reuse ? reuse : owned.get();
    static const uint8_t none = 0;
    EXPECT_EQ(0u, w->BeginPacket(2, static_cast<uint16_t>(shape.columns.size())));
    EXPECT_EQ(0u, w->SetXmlOutput(mode));
    auto params = [&](size_t after) {
        for (const auto& [at, p] : shape.params) {
            if (at != after) continue;
            EXPECT_EQ(0u, w->AddParameter(p.area, p.name.c_str(), p.type,
                                          static_cast<uint32_t>(p.value.size()),
                                          p.value.empty() ? &none : p.value.data()));
        }
    };
    for (size_t i = 0; i < shape.columns.size(); ++i) {
        EXPECT_EQ(0u, w->AddColumn(&shape.columns[i]));
        params(i);
    }
    params(std::string::npos);
    EXPECT_EQ(0u, w->AddParameter(1, nullptr, 0, 0, nullptr));
    for (const auto& row : shape.rows) {
        for (const auto& [status, value] : row) {
            EXPECT_EQ(0u, w->PutValue(status, static_cast<uint32_t>(value.size()),
                                      status ? nullptr : (value.empty() ? &none : value.data())));
        }
    }
    SAFEARRAY* out = nullptr;
    const EngineResult r = w->TakePacket(&out);
    if (result)
        *result = r;
    else
        EXPECT_EQ(0u, r);
    return enginetest::TakeBytes(out);
}

bool Contains(const Bytes& doc, const std::string& what) {
    return Text(doc).find(what) != std::string::npos;
}

// The engine's day number (1 = 1 January of year 1) of a calendar date.
int32_t DayNumber(int y, unsigned m, unsigned d) {
    using namespace std::chrono;
    const sys_days day = year_month_day{year{y}, month{m}, std::chrono::day{d}};
    const sys_days first = year_month_day{year{1}, January, std::chrono::day{1}};
    return static_cast<int32_t>((day - first).count() + 1);
}

TEST(XmlWriterForm, DocumentNamesEscapingAndTimes) {
    PacketShape shape;
    shape.columns = {Column("A B", kString), Column("\x92\x50\x89\xBF", kInt32),
                     Column("STAMP", kTimestamp)};
    const double midnight = DayNumber(2001, 3, 15) * 86400000.0;
    const double afternoon = midnight + ((14 * 60 + 5) * 60 + 30) * 1000.0 + 250;
    shape.rows = {{{0, {0}}, {0, Of("Tom & Jerry")}, {0, Le(7, 4)}, {0, Double(midnight)}},
                  {{0, {8}}, {0, Of("<\"'>")}, {1, {}}, {0, Double(afternoon)}}};
    const Bytes doc = Write(shape, 5);
    const std::string text = Text(doc);

    EXPECT_EQ(0u, text.find("<?xml version=\"1.0\" standalone=\"yes\"?>  "
                            "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"));
    EXPECT_TRUE(Contains(doc, "<FIELD fieldname=\"A B\" attrname=\"A_B\" fieldtype=\"string\""));
    EXPECT_TRUE(Contains(doc,
                         "fieldname=\"\x92\x50\x89\xBF\" attrname=\"xF1\" "
                         "fieldtype=\"i4\"/>"));
    EXPECT_TRUE(Contains(doc, "</FIELDS><PARAMS/></METADATA><ROWDATA>"));
    EXPECT_TRUE(Contains(doc, "<ROW A_B=\"Tom &amp; Jerry\" xF1=\"7\" STAMP=\"20010315\"/>"));
    EXPECT_TRUE(Contains(doc,
                         "<ROW RowState=\"8\" A_B=\"&lt;&quot;&apos;&gt;\" "
                         "STAMP=\"20010315T14:05:30250\" RowBlank=\"1\"/>"));
    EXPECT_TRUE(Contains(doc, "</ROWDATA></DATAPACKET>"));
    EXPECT_EQ(std::string::npos, text.find('\n'));
    if (HaveXmllint()) {
        EXPECT_TRUE(WellFormed(doc, "names"));
    }

    const Read back = ReadAll(doc);
    ASSERT_EQ(0u, back.failure);
    EXPECT_EQ(ReadAll(Write(shape, 0)).events, back.events);
    EXPECT_EQ("C \x92\x50\x89\xBF 00010004 0000", back.events[1]);
}

TEST(XmlWriterForm, TypesAndValuesWithoutXmlFormAreRefused) {
    Ref<IDSPacketWriter> w(Engine::Get().NewWriter());
    PacketShape wide;
    wide.columns = {Column("BIG", 0x00010008)};
    wide.rows = {{{0, {0}}, {0, Le(5, 8)}}};
    EngineResult r = 0;
    Write(wide, 1, &r, w.get());
    EXPECT_EQ(16400u, r);
    // The packet is kept and can still be taken in binary.
    ASSERT_EQ(0u, w->SetXmlOutput(0));
    SAFEARRAY* out = nullptr;
    ASSERT_EQ(0u, w->TakePacket(&out));
    const Bytes binary = enginetest::TakeBytes(out);
    EXPECT_EQ(1u, binary[14]);

    PacketShape extended;
    extended.columns = {Column("X", 0x0004000A)};
    Write(extended, 1, &r);
    EXPECT_EQ(16400u, r);

    // Characters an XML document cannot hold are refused, not dropped.
    PacketShape control;
    control.columns = {Column("S", kString)};
    control.rows = {{{0, {0}}, {0, Of("bell\x07")}}};
    Write(control, 1, &r);
    EXPECT_EQ(16400u, r);
    PacketShape surrogate;
    surrogate.columns = {Column("U", kUnicode)};
    surrogate.rows = {{{0, {0}}, {0, {0x3D, 0xD8, 'A', 0}}}};
    Write(surrogate, 1, &r);
    EXPECT_EQ(16400u, r);
}

TEST(XmlMends, FloatsAndCharactersOutsideTheBasicPlane) {
    PacketShape shape;
    shape.columns = {Column("F", kFloat), Column("U", kUnicode)};
    const Bytes smile = {0x3D, 0xD8, 0x00, 0xDE, 'x', 0};  // U+1F600 then 'x'
    shape.rows = {{{0, {0}}, {0, Double(0.1 + 0.2)}, {0, smile}},
                  {{0, {0}}, {0, Double(1e-310)}, {0, {0x42, 0x30}}}};
    const Bytes doc = Write(shape, 5);
    EXPECT_TRUE(Contains(doc, "F=\"0.30000000000000004\""));
    EXPECT_TRUE(Contains(doc, "U=\"&#128512;x\""));
    if (HaveXmllint()) {
        EXPECT_TRUE(WellFormed(doc, "plane"));
    }
    const Read back = ReadAll(doc);
    ASSERT_EQ(0u, back.failure);
    EXPECT_EQ(ReadAll(Write(shape, 0)).events, back.events);

    // Older documents wrote such a character as two surrogate references.
    const std::string old =
        "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS><FIELD attrname=\"U\" "
        "fieldtype=\"string.uni\" WIDTH=\"20\"/></FIELDS><PARAMS/></METADATA><ROWDATA>"
        "<ROW U=\"&#55357;&#56832;x\"/></ROWDATA></DATAPACKET>";
    const Read fromOld = ReadAll(Of(old));
    ASSERT_EQ(0u, fromOld.failure);
    EXPECT_EQ("I 0 0 6 3DD800DE7800", fromOld.events.back());
}

TEST(XmlMends, BlankAndUnchangedValuesStayApart) {
    PacketShape shape;
    shape.columns = {Column("A", kInt32), Column("B", kString), Column("D", 0x050E0001),
                     Column("X", kInt32)};
    // Nested columns need their own columns: built by hand below.
    Ref<IDSPacketWriter> w(Engine::Get().NewWriter());
    auto write = [&](uint32_t mode) {
        static const uint8_t zero = 0;
        EXPECT_EQ(0u, w->BeginPacket(2, 3));
        EXPECT_EQ(0u, w->SetXmlOutput(mode));
        for (const PacketColumnDesc& c : shape.columns) EXPECT_EQ(0u, w->AddColumn(&c));
        EXPECT_EQ(0u, w->AddParameter(1, nullptr, 0, 0, nullptr));
        EXPECT_EQ(0u, w->AddParameter(1, nullptr, 0, 0, nullptr));
        const uint8_t modified = 8;
        const uint32_t none = 0;
        // A modified row: A blanked by the edit, B unchanged, no details.
        EXPECT_EQ(0u, w->PutValue(0, 1, &modified));
        EXPECT_EQ(0u, w->PutValue(1, 0, nullptr));
        EXPECT_EQ(0u, w->PutValue(2, 0, nullptr));
        EXPECT_EQ(0u, w->PutValue(0, 4, &none));
        // Details unchanged; then A unchanged and the details blank.
        EXPECT_EQ(0u, w->PutValue(0, 1, &modified));
        EXPECT_EQ(0u, w->PutValue(0, 4, "\1\0\0\0"));
        EXPECT_EQ(0u, w->PutValue(0, 1, &zero));
        EXPECT_EQ(0u, w->PutValue(2, 0, nullptr));
        EXPECT_EQ(0u, w->PutValue(0, 1, &zero));
        EXPECT_EQ(0u, w->PutValue(2, 0, nullptr));
        EXPECT_EQ(0u, w->PutValue(0, 1, ""));
        EXPECT_EQ(0u, w->PutValue(1, 0, nullptr));
        SAFEARRAY* out = nullptr;
        EXPECT_EQ(0u, w->TakePacket(&out));
        return enginetest::TakeBytes(out);
    };
    const Bytes binary = write(0);
    const Bytes doc = write(5);
    EXPECT_TRUE(Contains(doc, "<ROW RowState=\"8\" RowBlank=\"0\"/>"));
    EXPECT_TRUE(Contains(doc, "<ROW RowState=\"8\" A=\"1\" B=\"\" RowUnchanged=\"2\"/>"));
    EXPECT_TRUE(Contains(doc, "<ROW B=\"\" RowBlank=\"2\"/>"));
    const Read fromXml = ReadAll(doc);
    ASSERT_EQ(0u, fromXml.failure);
    EXPECT_EQ(ReadAll(binary).events, fromXml.events);
    // Status 1 and result 9740 for the blanked value, status 2 for the unchanged one.
    ASSERT_GT(fromXml.events.size(), 6u);
    EXPECT_EQ("I 1 9740 0 ", fromXml.events[5]);
    EXPECT_EQ("I 2 0 0 ", fromXml.events[6]);

    // From other writers: a missing attribute is an unchanged value, a
    // missing nested element no detail rows.
    const Read foreign =
        ReadAll(Of("<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"A\" fieldtype=\"i4\"/>"
                   "<FIELD attrname=\"D\" fieldtype=\"nested\"><FIELDS><FIELD attrname=\"X\" "
                   "fieldtype=\"i4\"/></FIELDS><PARAMS/></FIELD></FIELDS><PARAMS/></METADATA>"
                   "<ROWDATA><ROW/></ROWDATA></DATAPACKET>"));
    ASSERT_EQ(0u, foreign.failure);
    EXPECT_EQ("I 2 0 0 ", foreign.events[foreign.events.size() - 2]);
    EXPECT_EQ("I 0 0 4 00000000", foreign.events.back());
}

TEST(XmlMends, ParametersKeepFlagsTypesAndWidths) {
    PacketShape shape;
    shape.columns = {Column("C", 0x00020002), Column("BYTES", 0x000B0006), Column("S", kString)};
    auto param = [&](size_t after, uint32_t area, const char* name, uint32_t type, Bytes v) {
        shape.params.push_back({after, {area, name, type, v}});
    };
    param(0, 0, "CALCULATED", 0x00020002, Le(1, 2));
    param(1, 0, "MINVALUE", kFloat, Double(-2.5));
    param(1, 0, "MAXVALUE", 0x00010004, Le(900, 4));
    param(2, 0, "SUBTYPE", 0x00490002, Of(std::string("Text") + '\0'));
    param(2, 0, "BINARY", 0x004B0002, {0x00, 0xFF, 0x3C});
    param(std::string::npos, 1, "DATASET_DELTA", 0x00020004, Le(1, 4));
    param(std::string::npos, 1, "KEEP", 0x80020004, Le(3, 4));
    shape.rows = {{{0, {0}}, {0, Le(1, 2)}, {0, {1, 2, 3, 4, 5, 6}}, {0, Of("memo")}}};
    const Bytes doc = Write(shape, 5);
    EXPECT_TRUE(Contains(doc, " CALCULATED=\"1\""));
    EXPECT_TRUE(Contains(doc, " SUBTYPE=\"Text\" "));
    EXPECT_TRUE(Contains(doc, "<PARAMS DATASET_DELTA=\"1\">"));
    EXPECT_TRUE(
        Contains(doc, "<PARAM Name=\"KEEP\" Value=\"3\" Type=\"ui4\" Roundtrip=\"True\"/>"));
    EXPECT_TRUE(Contains(doc, "BYTES=\"010203040506\""));
    EXPECT_EQ(std::string::npos, Text(doc).find('\0'));
    if (HaveXmllint()) {
        EXPECT_TRUE(WellFormed(doc, "params"));
    }
    const Read back = ReadAll(doc);
    ASSERT_EQ(0u, back.failure);
    EXPECT_EQ(ReadAll(Write(shape, 0)).events, back.events);

    // Flags written by other writers as words or numbers are kept as well.
    for (const char* value : {"TRUE", "1", "true"}) {
        const Read r = ReadAll(Of(std::string("<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"C\" "
                                              "fieldtype=\"i4\" CALCULATED=\"") +
                                  value + "\"/></FIELDS><PARAMS DATASET_DELTA=\"" + value +
                                  "\"/></METADATA></DATAPACKET>"));
        ASSERT_EQ(0u, r.failure) << value;
        EXPECT_EQ("P CALCULATED 00020002 0100", r.events[1]) << value;
        EXPECT_EQ("P DATASET_DELTA 00020004 01000000", r.events[2]) << value;
    }
}

TEST(XmlReaderInput, TolerancesOfOtherWriters) {
    // Blanks before the root, no declaration, single quotes, a comment, a
    // parameter given as element text, a column without a type.
    const Read loose = ReadAll(
        Of(" \r\n\t<DATAPACKET Version='2.0'><!-- made by hand --><METADATA><FIELDS>"
           "<FIELD tagname='N'/><FIELD attrname='Q' fieldtype='fixed' WIDTH='5' DECIMALS='2'/>"
           "</FIELDS><PARAMS><PARAM Name='LIMIT' dt:dt='i4'>12</PARAM></PARAMS></METADATA>"
           "<ROWDATA><ROW N='a&#x41;&#66;' Q=' -12.345'/></ROWDATA></DATAPACKET>"));
    ASSERT_EQ(0u, loose.failure);
    const std::vector<std::string> expected = {"C N 00490002 0000",
                                               "C Q 00050005 0000",
                                               "P WIDTH 00020002 0500",
                                               "P DECIMALS 00020002 0200",
                                               "P LIMIT 00010004 0C000000",
                                               "I 0 0 1 00",
                                               "I 0 0 3 614142",
                                               "I 0 0 18 0582012340" + std::string(26, '0')};
    EXPECT_EQ(expected, loose.events);
    EXPECT_EQ(5u, loose.mode);

    // The root left out; rows straight after the metadata.
    const Read rootless =
        ReadAll(Of("<METADATA><FIELDS><FIELD attrname='A' fieldtype='i2'/>"
                   "</FIELDS></METADATA><ROWDATA><ROW A='-3'/></ROWDATA>"));
    ASSERT_EQ(0u, rootless.failure);
    EXPECT_EQ("I 0 0 2 FDFF", rootless.events.back());

    // The declared encoding is honoured; an undeclared document is code page 932.
    const std::string body =
        "<DATAPACKET><METADATA><FIELDS><FIELD attrname='xF0' fieldname='"
        "\x92\x50\x89\xBF' fieldtype='string' WIDTH='9'/></FIELDS>"
        "</METADATA><ROWDATA><ROW xF0='\x95\x5C'/></ROWDATA></DATAPACKET>";
    for (const std::string& doc :
         {"<?xml version='1.0' encoding='Shift_JIS'?>" + body, body,
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" +
              std::string(
                  "<DATAPACKET><METADATA><FIELDS><FIELD attrname='xF0' fieldname='"
                  "\xE5\x8D\x98\xE4\xBE\xA1' fieldtype='string' WIDTH='9'/></FIELDS>"
                  "</METADATA><ROWDATA><ROW xF0='\xE8\xA1\xA8'/></ROWDATA></DATAPACKET>")}) {
        const Read r = ReadAll(Of(doc));
        ASSERT_EQ(0u, r.failure) << doc;
        EXPECT_EQ("C \x92\x50\x89\xBF 00490001 0000", r.events[0]);
        EXPECT_EQ("I 0 0 2 955C", r.events.back());
    }
}

TEST(XmlReaderInput, MalformedDocumentsAreRefused) {
    const std::string field = "<FIELD attrname='A' fieldtype='i4'/>";
    const std::string good = "<DATAPACKET><METADATA><FIELDS>" + field +
                             "</FIELDS></METADATA><ROWDATA><ROW A='1'/></ROWDATA></DATAPACKET>";
    ASSERT_EQ(0u, ReadAll(Of(good)).failure);
    std::string deep;
    for (int i = 0; i < 64; ++i) deep += "<E>";
    const std::vector<std::string> broken = {
        "",
        "x<DATAPACKET/>",
        "<DATAPACKET><METADATA><FIELDS>" + field + "</FIELD></METADATA></DATAPACKET>",
        "<DATAPACKET><METADATA><FIELDS><FIELD fieldtype='i4'/></FIELDS></METADATA></DATAPACKET>",
        "<DATAPACKET><METADATA><FIELDS>" + field +
            "</FIELDS><PARAMS><PARAM Value='1'/></PARAMS></METADATA></DATAPACKET>",
        "<DATAPACKET><FIELDS>" + field + "</FIELDS></DATAPACKET>",
        "<DATAPACKET><METADATA><FIELDS>" + field + "</FIELDS></METADATA><ROWDATA>" + deep,
        "<?xml version='1.0' encoding='EBCDIC-XYZ'?>" + good,
        "<DATAPACKET><METADATA><FIELDS><FIELD attrname=A/></FIELDS></METADATA></DATAPACKET>",
    };
    for (const std::string& doc : broken) EXPECT_EQ(16389u, ReadAll(Of(doc)).failure) << doc;

    // A type name not in the table reaches the caller as type word 0.
    const Read unknown =
        ReadAll(Of("<DATAPACKET><METADATA><FIELDS><FIELD attrname='A' "
                   "fieldtype='money'/></FIELDS></METADATA></DATAPACKET>"));
    EXPECT_EQ(10000u, unknown.failure);
    // More integer digits than the column's precision.
    EXPECT_EQ(9985u, ReadAll(Of("<DATAPACKET><METADATA><FIELDS><FIELD attrname='Q' fieldtype="
                                "'fixed' WIDTH='4' DECIMALS='2'/></FIELDS></METADATA><ROWDATA>"
                                "<ROW Q='123.4'/></ROWDATA></DATAPACKET>"))
                         .failure);
    // Every cut of a valid document fails cleanly.
    for (size_t n = 0; n + 1 < good.size(); ++n) {
        const Read r = ReadAll(Of(good.substr(0, n)));
        EXPECT_NE(0u, r.failure) << n;
    }
}

}  // namespace
