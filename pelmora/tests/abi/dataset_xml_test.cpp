// Whole datasets through the XML form: a dataset of every field type with
// random values, blanks, BLOBs and a change log is written as a binary table
// file, converted to XML through the dataset's XML mode, loaded again and
// written back as binary; nothing may change on the way.
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dataset_test_support.h"
#include "xml_test_support.h"

namespace {

using dstest::Field;
using dstest::Load;
using dstest::Write;
using enginetest::Engine;
using enginetest::Ref;

constexpr uint32_t kXmlDocument = 5;

std::vector<FieldDesc> EveryType() {
    return {
        Field("S", FLD_STRING, 20),  Field("D", FLD_DATE),          Field("B", FLD_BLOB),
        Field("L16", FLD_BOOL16),    Field("I16", FLD_INT16),       Field("I32", FLD_INT32),
        Field("F", FLD_FLOAT),       Field("N", FLD_BCD, 10, 2),    Field("BY", FLD_BYTES, 8),
        Field("T", FLD_TIME),        Field("TS", FLD_TIMESTAMP),    Field("U16", FLD_UINT16),
        Field("U32", FLD_UINT32),    Field("VB", FLD_VARBYTES, 30), Field("I8", FLD_INT8),
        Field("U8", FLD_UINT8),      Field("L8", FLD_BOOL8),        Field("L32", FLD_BOOL32),
        Field("W", FLD_UNICODE, 40),
    };
}

// A value of the field's type in its record representation.
std::vector<uint8_t> RandomValue(const FieldDesc& f, std::mt19937& rng) {
    auto bytes = [](const auto& v) {
        std::vector<uint8_t> out(sizeof v);
        std::memcpy(out.data(), &v, sizeof v);
        return out;
    };
    std::uniform_int_distribution<int32_t> any(-2000000000, 2000000000);
    switch (f.type) {
        case FLD_STRING: {
            // ASCII mixed with code page 932 text: "Ⅲ品質・出来形" and "①".
            static const char* samples[] = {
                "plain", "\x87\x56\x95\x69\x8e\xbf\x81\x45\x8f\x6f\x97\x88\x8c\x60",
                "\x87\x40 a<b&c", "'quoted' \"too\"", ""};
            std::string s = samples[rng() % 5];
            std::vector<uint8_t> out(s.begin(), s.end());
            out.push_back(0);
            return out;
        }
        case FLD_DATE:
            return bytes(int32_t(700000 + rng() % 100000));
        case FLD_TIME:
            return bytes(int32_t(rng() % 86400000));
        case FLD_TIMESTAMP:
            return bytes(double(int64_t(730000 + rng() % 10000) * 86400000 + rng() % 86400000));
        case FLD_BOOL16:
            return bytes(int16_t(rng() % 2));
        case FLD_INT16:
            return bytes(int16_t(any(rng)));
        case FLD_INT32:
            return bytes(any(rng));
        case FLD_FLOAT:
            return bytes(std::uniform_real_distribution<double>(-1e6, 1e6)(rng) / 3);
        case FLD_BCD: {
            // precision 10, 2 places: byte 0 precision, byte 1 sign and places, then digits.
            std::vector<uint8_t> out{10, uint8_t(2 | (rng() % 2 ? 0x80 : 0))};
            for (int i = 0; i < 5; ++i) out.push_back(uint8_t(((rng() % 10) << 4) | (rng() % 10)));
            return out;
        }
        case FLD_BYTES: {
            std::vector<uint8_t> out(8);
            for (auto& b : out) b = uint8_t(rng());
            return out;
        }
        case FLD_UINT16:
            return bytes(uint16_t(rng()));
        case FLD_UINT32:
            return bytes(uint32_t(rng()));
        case FLD_VARBYTES: {
            const uint16_t n = uint16_t(1 + rng() % 30);
            std::vector<uint8_t> out = bytes(n);
            for (int i = 0; i < n; ++i) out.push_back(uint8_t(rng()));
            return out;
        }
        case FLD_INT64:
            return bytes(int64_t(uint64_t(rng()) << 32 | rng()));
        case FLD_UINT64:
            return bytes(uint64_t(rng()) << 32 | rng());
        case FLD_INT8:
            return bytes(int16_t(int8_t(rng())));
        case FLD_UINT8:
            return bytes(uint16_t(uint8_t(rng())));
        case FLD_BOOL8:
            return bytes(uint16_t(rng() % 2));
        case FLD_BOOL32:
            return bytes(uint32_t(rng() % 2));
        case FLD_UNICODE: {
            // Japanese text and a character outside the basic plane.
            static const std::u16string samples[] = {u"品質", u"A\U0001F600B", u"x&y"};
            const std::u16string& s = samples[rng() % 3];
            std::vector<uint8_t> out = bytes(uint16_t(s.size() * 2));
            const auto* p = reinterpret_cast<const uint8_t*>(s.data());
            out.insert(out.end(), p, p + s.size() * 2);
            return out;
        }
        default:
            return {};
    }
}

// Fills a record buffer with random values, about one in eight blank.
void FillRecord(IDSCursor* cursor, const std::vector<FieldDesc>& fields, std::vector<uint8_t>& buf,
                std::mt19937& rng) {
    for (uint32_t k = 1; k <= fields.size(); ++k) {
        const FieldDesc& f = fields[k - 1];
        if (rng() % 8 == 0) {
            ASSERT_EQ(0u, cursor->WriteFieldValue(buf.data(), k, nullptr));
        } else if (f.type == FLD_BLOB) {
            std::vector<uint8_t> blob(1 + rng() % 100);
            for (auto& b : blob) b = uint8_t(rng());
            ASSERT_EQ(0u, cursor->WriteBlobData(buf.data(), k, 0, blob.data(),
                                                static_cast<uint32_t>(blob.size())));
        } else {
            const std::vector<uint8_t> value = RandomValue(f, rng);
            ASSERT_EQ(0u, cursor->WriteFieldValue(buf.data(), k, value.data())) << f.name;
        }
    }
}

TEST(DatasetXml, EveryTypeSurvivesBinaryToXmlToBinary) {
    for (uint32_t seed = 1; seed <= 8; ++seed) {
        std::mt19937 rng(seed);
        Ref<IDSBase> ds(Engine::Get().NewDataset());
        const std::vector<FieldDesc> defined = EveryType();
        ASSERT_EQ(0u, ds->DefineFields(static_cast<uint32_t>(defined.size()), defined.data(), "T"));
        const std::vector<FieldDesc> fields = dstest::Fields(ds.get());
        Ref<IDSCursor> cursor(Engine::Get().NewCursor());
        ASSERT_EQ(0u, cursor->AttachDataset(ds.get()));
        DatasetProps props{};
        ASSERT_EQ(0u, cursor->ReadCursorProps(&props));
        std::vector<uint8_t> buf(props.recordSize);

        // Inserts, then modifies and deletes some records: the change log and
        // the statuses travel with the data.
        const int records = 5 + static_cast<int>(rng() % 20);
        for (int i = 0; i < records; ++i) {
            ASSERT_EQ(0u, cursor->PrepareRecord(buf.data()));
            FillRecord(cursor.get(), fields, buf, rng);
            ASSERT_EQ(0u, cursor->AddRecord(buf.data()));
        }
        if (seed % 2 == 0) {
            ASSERT_EQ(0u, ds->AcceptAllChanges());
        }
        for (int i = 0; i < 4; ++i) {
            ASSERT_EQ(0u, cursor->GoToOrdinal(1 + rng() % (records - i)));
            if (i % 2 == 0) {
                ASSERT_EQ(0u, cursor->ReadCurrentRecord(buf.data()));
                FillRecord(cursor.get(), fields, buf, rng);
                ASSERT_EQ(0u, cursor->UpdateCurrentRecord(buf.data()));
            } else {
                ASSERT_EQ(0u, cursor->RemoveCurrentRecord());
            }
        }

        const std::vector<uint8_t> binary = Write(ds.get());
        uint32_t r = 0;
        Ref<IDSBase> fromBinary(Load(binary, &r));
        ASSERT_EQ(0u, r) << "seed " << seed;
        ASSERT_EQ(0u, fromBinary->WriteProperty(PROP_XML_MODE, kXmlDocument));
        const std::vector<uint8_t> xml = Write(fromBinary.get(), &r);
        ASSERT_EQ(0u, r) << "seed " << seed;
        ASSERT_GT(xml.size(), 5u);
        EXPECT_EQ(0, std::memcmp(xml.data(), "<?xml", 5));
        if (xmltest::HaveXmllint()) {
            EXPECT_TRUE(xmltest::WellFormed(xml, "dataset"));
        }

        Ref<IDSBase> fromXml(Load(xml, &r));
        ASSERT_EQ(0u, r) << "seed " << seed;
        // A dataset read from XML is written as XML again until told otherwise.
        EXPECT_EQ(0, std::memcmp(Write(fromXml.get()).data(), "<?xml", 5));
        ASSERT_EQ(0u, fromXml->WriteProperty(PROP_XML_MODE, 0));
        const std::vector<uint8_t> again = Write(fromXml.get());
        EXPECT_EQ(binary, again) << "seed " << seed;
    }
}

TEST(DatasetXml, SixtyFourBitIntegersAreRefusedNotMangled) {
    // The XML form has no 64-bit integer type: the write is refused with
    // 16400 and the dataset can still be written in binary.
    for (uint32_t type : {FLD_INT64, FLD_UINT64}) {
        Ref<IDSBase> ds(Engine::Get().NewDataset());
        const FieldDesc f = Field("BIG", type);
        ASSERT_EQ(0u, ds->DefineFields(1, &f, "T"));
        ASSERT_EQ(0u, ds->WriteProperty(PROP_XML_MODE, kXmlDocument));
        uint32_t r = 0;
        Write(ds.get(), &r);
        EXPECT_EQ(DSERR_FIELDTYPENOTXML, r);
        ASSERT_EQ(0u, ds->WriteProperty(PROP_XML_MODE, 0));
        Write(ds.get(), &r);
        EXPECT_EQ(0u, r);
    }
}

}  // namespace
