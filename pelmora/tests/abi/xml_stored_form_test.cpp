// The stored form of XML datapackets, the one other installations read:
// code page 932 text behind a declaration without an encoding, characters
// the code page cannot hold as references; and the result codes of packets
// the XML form cannot start a dataset with or cannot carry.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dataset_test_support.h"
#include "xml_test_support.h"

using namespace xmltest;

namespace {

using dstest::Builder;
using dstest::kBlob;
using dstest::kInt32;
using dstest::kString1;
using enginetest::Column;

constexpr uint32_t kInt64 = 0x00010008;
constexpr uint32_t kUnicode = 0x004A0002;
constexpr uint32_t kXmlDocument = 5;

constexpr char kDeclaration[] = "<?xml version=\"1.0\" standalone=\"yes\"?>  ";

Bytes Of(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes Utf16(const std::u32string& text) {
    Bytes b;
    auto unit = [&](uint32_t u) {
        b.push_back(static_cast<uint8_t>(u));
        b.push_back(static_cast<uint8_t>(u >> 8));
    };
    for (char32_t cp : text) {
        if (cp >= 0x10000) {
            unit(0xD800 + ((cp - 0x10000) >> 10));
            unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return b;
}

// One row of three columns: a code page 932 column name and value, a value
// with a kanji whose second byte is a backslash, and a Unicode value.
Bytes WriteSample(uint32_t mode) {
    Ref<IDSPacketWriter> w(Engine::Get().NewWriter());
    EXPECT_EQ(0u, w->BeginPacket(2, 3));
    EXPECT_EQ(0u, w->SetXmlOutput(mode));
    const PacketColumnDesc columns[] = {Column("\x92\x50\x89\xBF", kString1),  // 単価
                                        Column("NAME", kString1), Column("U", kUnicode)};
    for (const PacketColumnDesc& c : columns) EXPECT_EQ(0u, w->AddColumn(&c));
    EXPECT_EQ(0u, w->AddParameter(1, nullptr, 0, 0, nullptr));
    const uint8_t status = 0;
    EXPECT_EQ(0u, w->PutValue(0, 1, &status));
    const std::string price = "\xB1\x87\x40";            // half-width katakana, circled one
    const std::string name = "\x95\x5C\x8E\xA6 a\\b&c";  // 表示, then markup
    const Bytes unicode = Utf16(U"a\u00E9\U0001F600\u3042");
    EXPECT_EQ(0u, w->PutValue(0, static_cast<uint32_t>(price.size()), price.data()));
    EXPECT_EQ(0u, w->PutValue(0, static_cast<uint32_t>(name.size()), name.data()));
    EXPECT_EQ(0u, w->PutValue(0, static_cast<uint32_t>(unicode.size()), unicode.data()));
    SAFEARRAY* out = nullptr;
    EXPECT_EQ(0u, w->TakePacket(&out));
    return enginetest::TakeBytes(out);
}

bool Contains(const Bytes& doc, const std::string& what) {
    return Text(doc).find(what) != std::string::npos;
}

TEST(XmlStoredForm, CodePageTextBehindAnUndeclaredEncoding) {
    const Bytes doc = WriteSample(kXmlDocument);
    const std::string text = Text(doc);
    EXPECT_EQ(0u, text.find(std::string(kDeclaration) + "<DATAPACKET Version=\"2.0\">"));
    EXPECT_EQ(std::string::npos, text.find("encoding"));
    // Names and values in the code page's own bytes; the backslash that is
    // the second byte of a kanji stays, the one on its own is escaped.
    EXPECT_TRUE(Contains(doc, "<FIELD fieldname=\"\x92\x50\x89\xBF\" attrname=\"xF0\""));
    EXPECT_TRUE(Contains(doc, " xF0=\"\xB1\x87\x40\""));
    EXPECT_TRUE(Contains(doc, " NAME=\"\x95\x5C\x8E\xA6 a&#092;b&amp;c\""));
    // Characters the code page cannot hold, one reference each, also for a
    // character outside the Basic Multilingual Plane.
    EXPECT_TRUE(Contains(doc, " U=\"a&#233;&#128512;&#12354;\""));

    const Read back = ReadAll(doc);
    ASSERT_EQ(0u, back.failure);
    EXPECT_EQ(ReadAll(WriteSample(0)).events, back.events);
}

TEST(XmlStoredForm, XmllintFindsTheDocumentWellFormed) {
    if (!HaveXmllint()) GTEST_SKIP() << "xmllint (libxml2-utils) is not installed";
    EXPECT_TRUE(WellFormed(WriteSample(kXmlDocument), "stored"));
    // The witness itself: a lead byte without its trail byte is refused.
    EXPECT_FALSE(WellFormed(Of(std::string(kDeclaration) + "<A B=\"\x95\"/>"), "broken"));
}

TEST(XmlStoredForm, StoredDocumentIsWrittenBackUnchanged) {
    // As another installation writes it: code page 932 names and values,
    // references for what the code page cannot hold.
    const std::string document =
        std::string(kDeclaration) +
        "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
        "<FIELD fieldname=\"\x95\x69\x96\xBC\" attrname=\"xF0\" fieldtype=\"string\" "
        "WIDTH=\"20\"/>"
        "<FIELD attrname=\"QTY\" fieldtype=\"i4\"/>"
        "<FIELD attrname=\"NOTE\" fieldtype=\"string.uni\" WIDTH=\"16\"/>"
        "</FIELDS><PARAMS/></METADATA><ROWDATA>"
        "<ROW xF0=\"\x87\x56\x95\x69\x8E\xBF &amp; \x95\x5C\" QTY=\"12\" "
        "NOTE=\"caf&#233; &#128512;\"/>"
        "<ROW xF0=\"\xB1\xB2\" QTY=\"-3\" NOTE=\"&#12354;\"/>"
        "</ROWDATA></DATAPACKET>";
    uint32_t r = 0;
    Ref<IDSBase> ds(dstest::Load(Of(document), &r));
    ASSERT_EQ(0u, r);
    EXPECT_EQ(kXmlDocument, dstest::Prop(ds.get(), PROP_XML_MODE));
    EXPECT_EQ(document, Text(dstest::Write(ds.get())));

    // The values themselves: code page bytes as they stand, references
    // resolved to the characters they name.
    const Read read = ReadAll(Of(document));
    ASSERT_EQ(0u, read.failure);
    auto has = [&](const std::string& event) {
        return std::find(read.events.begin(), read.events.end(), event) != read.events.end();
    };
    EXPECT_EQ("C \x95\x69\x96\xBC 00490001 0000", read.events[0]);
    EXPECT_TRUE(has("I 0 0 11 875695698EBF202620955C"));
    EXPECT_TRUE(has("I 0 0 2 B1B2"));
    EXPECT_TRUE(has("I 0 0 14 630061006600E90020003DD800DE"));
    EXPECT_TRUE(has("I 0 0 2 4230"));
}

TEST(XmlStoredForm, EncodingComesFromTheDeclarationElseCodePage932) {
    auto value = [](const std::string& prolog, const std::string& text) {
        const Read r = ReadAll(Of(prolog +
                                  "<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"S\" "
                                  "fieldtype=\"string\" WIDTH=\"9\"/></FIELDS></METADATA>"
                                  "<ROWDATA><ROW S=\"" +
                                  text + "\"/></ROWDATA></DATAPACKET>"));
        EXPECT_EQ(0u, r.failure) << prolog;
        return r.events.empty() ? std::string() : r.events.back();
    };
    // C3 A9 is UTF-8 for e-acute and two half-width katakana in code page
    // 932: undeclared, the bytes are the code page's.
    EXPECT_EQ("I 0 0 2 C3A9", value("", "\xC3\xA9"));
    EXPECT_EQ("I 0 0 2 C3A9", value(kDeclaration, "\xC3\xA9"));
    // Declared UTF-8, and UTF-8 marked by a byte order mark, are read as such.
    EXPECT_EQ("I 0 0 2 955C", value("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>",
                                    "\xE8\xA1\xA8"));
    EXPECT_EQ("I 0 0 2 955C", value("\xEF\xBB\xBF", "\xE8\xA1\xA8"));
}

// ---- result codes ---------------------------------------------------------

TEST(XmlResultCodes, RowsWithoutColumnsCannotStartADataset) {
    // The same rows without metadata, in binary and as an XML document.
    auto rowsOnly = [](uint32_t mode) {
        Ref<IDSPacketWriter> w(Engine::Get().NewWriter());
        const PacketColumnDesc columns[] = {Column("ID", kInt32), Column("NAME", kString1)};
        EXPECT_EQ(0u, w->BeginRowsOnly(2, 2, columns));
        EXPECT_EQ(0u, w->SetXmlOutput(mode));
        const uint8_t status = 0;
        const int32_t id = 4;
        EXPECT_EQ(0u, w->PutValue(0, 1, &status));
        EXPECT_EQ(0u, w->PutValue(0, 4, &id));
        EXPECT_EQ(0u, w->PutValue(0, 3, "abc"));
        SAFEARRAY* out = nullptr;
        EXPECT_EQ(0u, w->TakePacket(&out));
        return enginetest::TakeBytes(out);
    };
    const Bytes binary = rowsOnly(0);
    const Bytes xml = rowsOnly(1);
    ASSERT_EQ(std::string::npos, Text(xml).find("METADATA"));
    for (const Bytes& packet : {binary, xml,
                                Of("<DATAPACKET><ROWDATA><ROW A=\"1\"/></ROWDATA>"
                                   "</DATAPACKET>")}) {
        uint32_t r = 0;
        Ref<IDSBase> ds(dstest::Load(packet, &r));
        EXPECT_EQ(16387u, r) << Text(packet);
        // Nothing was taken over: the dataset still has no columns.
        SAFEARRAY* out = nullptr;
        EXPECT_NE(0u, ds->WritePacket(&out));
        SafeArrayDestroy(out);
    }
}

TEST(XmlResultCodes, UnsupportedColumnTypeComesBeforeANotFetchedBlob) {
    // A packet whose BLOB was not fetched, with and without a 64-bit
    // integer column, which the XML form has no type name for.
    auto load = [](bool withWide) {
        Builder b;
        b.Begin(withWide ? 2 : 1);
        if (withWide) b.Col("BIG", kInt64);
        b.Col("MEMO", kBlob);
        b.Close();
        b.Status(0);
        if (withWide) {
            const int64_t big = 1;
            EXPECT_EQ(0u, b->PutValue(0, 8, &big));
        }
        EXPECT_EQ(0u, b->PutValue(0, 0x80000000u | 99, "x"));
        uint32_t r = 0;
        IDSBase* ds = dstest::Load(b.Take(), &r);
        EXPECT_EQ(0u, r);
        return ds;
    };
    for (const bool withWide : {true, false}) {
        Ref<IDSBase> ds(load(withWide));
        ASSERT_EQ(0u, ds->WriteProperty(PROP_XML_MODE, kXmlDocument));
        uint32_t r = 0;
        dstest::Write(ds.get(), &r);
        EXPECT_EQ(withWide ? 16400u : 16401u, r) << withWide;
        // The binary form carries both.
        ASSERT_EQ(0u, ds->WriteProperty(PROP_XML_MODE, 0));
        dstest::Write(ds.get(), &r);
        EXPECT_EQ(0u, r);
    }

    // The packet writer alike, with the column behind the BLOB.
    Ref<IDSPacketWriter> w(Engine::Get().NewWriter());
    ASSERT_EQ(0u, w->BeginPacket(2, 2));
    ASSERT_EQ(0u, w->SetXmlOutput(kXmlDocument));
    const PacketColumnDesc columns[] = {Column("MEMO", kBlob), Column("BIG", kInt64)};
    for (const PacketColumnDesc& c : columns) ASSERT_EQ(0u, w->AddColumn(&c));
    ASSERT_EQ(0u, w->AddParameter(1, nullptr, 0, 0, nullptr));
    const uint8_t status = 0;
    ASSERT_EQ(0u, w->PutValue(0, 1, &status));
    EXPECT_EQ(16400u, w->PutValue(0, 0x80000000u | 4, "abcd"));
}

}  // namespace
