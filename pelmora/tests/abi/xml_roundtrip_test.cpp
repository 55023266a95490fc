// Random packets written once in binary and once in XML must read back as
// the same columns, parameters and row items; every XML document written
// must be well-formed.
#include <cmath>
#include <cstring>
#include <functional>
#include <random>

#include "xml_test_support.h"

using namespace xmltest;

namespace {

constexpr uint32_t W(uint32_t base, uint32_t width, uint32_t flags = 0) {
    return flags | (base << 16) | width;
}

// Code page 932 pieces: markup characters, controls XML can hold, kanji,
// a trail byte of 0x5C, circled and Roman numerals, half-width katakana.
const std::vector<std::string> kTextPieces = {
    "a",        "Z",        "9",        " ",        "&",    "<",       ">",
    "\"",       "'",        "\\",       "\r\n",     "\t",   "AT&T",    "\x93\xFA\x96\x7B",
    "\x95\x5C", "\x87\x40", "\x87\x54", "\x81\x60", "\xB1", "\x83\x5C"};

struct Param {
    std::string name;
    uint32_t type = 0;
    Bytes value;
};

struct Col {
    std::string name;
    uint32_t type = 0;
    uint16_t attributes = 0;
    std::vector<Param> params;
    int child = -1;  // level of a nested column
    // Packed decimals: precision and places; texts: "Text" BLOB.
    uint32_t precision = 0, places = 0;
    bool text = false;
};

struct Level {
    std::vector<Col> cols;
    std::vector<Param> params;
};

// One PutValue call.
struct Put {
    uint32_t status;
    Bytes value;  // empty with status 0: a value without bytes
};

class Generator {
  public:
    explicit Generator(uint32_t seed) : rng_(seed) {}

    std::vector<Level> levels;
    std::vector<Put> puts;

    void Make() {
        levels.clear();
        puts.clear();
        MakeLevel(0);
        const int rows = Pick(0, 6);
        for (int i = 0; i < rows; ++i) MakeRow(0);
    }

    void Write(IDSPacketWriter* w) {
        ASSERT_EQ(0u, w->BeginPacket(2, static_cast<uint16_t>(levels[0].cols.size())));
        WriteLevel(w, 0);
        for (const Put& p : puts) {
            static const uint8_t none = 0;
            ASSERT_EQ(0u,
                      w->PutValue(p.status, static_cast<uint32_t>(p.value.size()),
                                  p.status ? nullptr : (p.value.empty() ? &none : p.value.data())));
        }
    }

  private:
    int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    uint8_t Byte() { return static_cast<uint8_t>(Pick(0, 255)); }
    Bytes Le(uint64_t v, size_t n) {
        Bytes b(n);
        for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
        return b;
    }
    Bytes Random(size_t n) {
        Bytes b(n);
        for (auto& x : b) x = Byte();
        return b;
    }
    std::string CodePageText(int maxPieces) {
        std::string s;
        const int n = Pick(1, maxPieces);
        for (int i = 0; i < n; ++i)
            s +=
                kTextPieces[static_cast<size_t>(Pick(0, static_cast<int>(kTextPieces.size()) - 1))];
        return s;
    }
    Bytes Utf16Text() {
        static const uint32_t kChars[] = {'A',  '&',    '<',     0x3042,  0x65E5,
                                          0xE9, 0xFF5E, 0x1F600, 0x20BB7, '\n'};
        Bytes b;
        const int n = Pick(1, 6);
        for (int i = 0; i < n; ++i) {
            uint32_t cp = kChars[Pick(0, 9)];
            auto unit = [&](uint32_t u) {
                b.push_back(static_cast<uint8_t>(u));
                b.push_back(static_cast<uint8_t>(u >> 8));
            };
            if (cp >= 0x10000) {
                cp -= 0x10000;
                unit(0xD800 + (cp >> 10));
                unit(0xDC00 + (cp & 0x3FF));
            } else {
                unit(cp);
            }
        }
        return b;
    }
    Param UInt16Param(const char* name, uint16_t v) { return {name, W(2, 2), Le(v, 2)}; }
    Param StringParam(const std::string& name, const std::string& text) {
        Bytes v(text.begin(), text.end());
        v.push_back(0);
        return {name, W(9, 2, 0x400000), v};
    }

    // Parameters the engine does not interpret: every shape a parameter can take.
    Param ExtraParam() {
        switch (Pick(0, 7)) {
            case 0: {
                double d = Pick(-1000, 1000) / 8.0;
                Bytes v(8);
                std::memcpy(v.data(), &d, 8);
                return {"MINVALUE", W(4, 8), v};
            }
            case 1:
                return {"MAXVALUE", W(1, 4), Le(static_cast<uint32_t>(Pick(-99999, 99999)), 4)};
            case 2:
                return StringParam("NOTE", CodePageText(4));
            case 3:
                return {"BLOBPARAM", W(11, 2, 0x400000), Random(static_cast<size_t>(Pick(0, 9)))};
            case 4: {
                Bytes v = Le(3, 4);
                for (int i = 0; i < 3; ++i) {
                    Bytes e = Le(static_cast<uint32_t>(Pick(0, 70000)), 4);
                    v.insert(v.end(), e.begin(), e.end());
                }
                return {"LIST", W(2, 4, 0x800000), v};
            }
            case 5:
                return {"KEEP", W(2, 4, 0x80000000u), Le(static_cast<uint32_t>(Pick(0, 9)), 4)};
            case 6:
                return {"FIXEDBYTES", W(11, 3), Random(3)};
            default:
                return {"FLAG", W(3, 2), Le(static_cast<uint32_t>(Pick(0, 1)), 2)};
        }
    }

    Col MakeColumn(int depth) {
        static const char* const kNames[] = {"ID",  "A B",  "x(1)",     "1st", "\x92\x50\x89\xBF",
                                             "xF0", "NAME", "RowBlank", "a:b", "NAME"};
        Col c;
        c.name = kNames[Pick(0, 9)];
        c.attributes = static_cast<uint16_t>(Pick(0, 0x1F));
        const int kind = Pick(0, depth < 2 ? 21 : 20);
        switch (kind) {
            case 0:
                c.type = W(1, 1);
                break;
            case 1:
                c.type = W(1, 2);
                break;
            case 2:
                c.type = W(1, 4);
                break;
            case 3:
                c.type = W(2, 1 << Pick(0, 2));
                break;
            case 4:
                c.type = W(3, 1 << Pick(0, 2));
                break;
            case 5:
                c.type = W(4, 8);
                break;
            case 6:
                c.precision = static_cast<uint32_t>(Pick(1, 32));
                c.places = static_cast<uint32_t>(Pick(0, static_cast<int>(c.precision)));
                c.type = W(5, (c.precision + 1) / 2 + 2);
                c.params.push_back(UInt16Param("WIDTH", static_cast<uint16_t>(c.precision)));
                c.params.push_back(UInt16Param("DECIMALS", static_cast<uint16_t>(c.places)));
                break;
            case 7:
                c.type = W(6, 4);
                break;
            case 8:
                c.type = W(7, 4);
                break;
            case 9:
                c.type = W(8, 8);
                break;
            case 10:
                c.type = W(9, Pick(1, 2), 0x400000);
                c.params.push_back(UInt16Param("WIDTH", c.type & 0xFF ? 100 : 400));
                break;
            case 11:
                c.type = W(9, 12);
                break;
            case 12:
                c.type = W(10, Pick(1, 2), 0x400000);
                break;
            case 13:
                c.type = W(11, 1 << Pick(0, 2), 0x400000);
                break;
            case 14:
                c.type = W(11, static_cast<uint32_t>(Pick(1, 9)));
                break;
            case 15:
                c.type = W(16, 4);
                break;
            case 16:
                c.type = W(11, 4, 0x400000);
                c.text = true;
                c.params.push_back(StringParam("SUBTYPE", "Text"));
                break;
            case 17:
                c.type = W(1, 4, 0x800000);
                break;
            case 18:
                c.type = W(2, 2, 0x800000);
                break;
            case 19:
                c.type = W(2, 2);
                c.params.push_back(UInt16Param("CALCULATED", 1));
                break;
            case 20:
                c.type = W(9, 2, 0x400000);
                c.params.push_back(StringParam("SUBTYPE", "FixedChar"));
                break;
            default:
                c.type = W(14, 0, 0x05000000);
                break;
        }
        for (int n = Pick(0, 2); n > 0; --n) c.params.push_back(ExtraParam());
        return c;
    }

    void MakeLevel(int depth) {
        const size_t index = levels.size();
        levels.emplace_back();
        const int count = Pick(depth == 0 ? 1 : 0, 6);
        for (int i = 0; i < count; ++i) {
            Col c = MakeColumn(depth);
            if ((c.type >> 16 & 0x3F) == 14) {
                c.child = static_cast<int>(levels.size());
                MakeLevel(depth + 1);
                c.type |= static_cast<uint32_t>(levels[static_cast<size_t>(c.child)].cols.size());
            }
            levels[index].cols.push_back(c);
        }
        Level& level = levels[index];
        if (Pick(0, 1))
            level.params.push_back(
                {"DEFAULT_ORDER", W(2, 2, 0x800000), {2, 0, 0, 0, 1, 0, 2, 0x80}});
        if (Pick(0, 1)) {
            Bytes log = Le(6, 4);
            for (uint32_t v : {2u, 1u, 8u, 3u, 0u, 4u}) {
                Bytes e = Le(v, 4);
                log.insert(log.end(), e.begin(), e.end());
            }
            level.params.push_back({"CHANGE_LOG", W(2, 4, 0x800000), log});
        }
        if (Pick(0, 1)) level.params.push_back({"DATASET_DELTA", W(2, 4), Le(1, 4)});
        if (Pick(0, 1)) level.params.push_back({"LCID", W(1, 2), Le(1041, 2)});
        if (Pick(0, 1)) level.params.push_back(StringParam("TABLENAME", CodePageText(3)));
        for (int n = Pick(0, 2); n > 0; --n) level.params.push_back(ExtraParam());
    }

    Bytes Value(const Col& c) {
        const uint32_t base = c.type >> 16 & 0x3F;
        const uint32_t w = c.type & 0xFFFF;
        const bool varying = c.type & 0x400000;
        if (c.type & 0x800000) {
            const uint32_t n = static_cast<uint32_t>(Pick(0, 4));
            Bytes v = Le(n, 4);
            for (uint32_t i = 0; i < n; ++i) {
                Bytes e = Random(w);
                v.insert(v.end(), e.begin(), e.end());
            }
            return v;
        }
        switch (base) {
            case 3:
                return Le(static_cast<uint64_t>(Pick(0, 1)), w);
            case 4: {
                double d;
                const int k = Pick(0, 9);
                if (k == 0)
                    d = INFINITY;
                else if (k == 1)
                    d = -0.0;
                else if (k == 2)
                    d = 0.1 + 0.2;
                else {
                    do {
                        Bytes r = Random(8);
                        std::memcpy(&d, r.data(), 8);
                    } while (!std::isfinite(d));
                }
                Bytes v(8);
                std::memcpy(v.data(), &d, 8);
                return v;
            }
            case 5: {
                Bytes v(18, 0);
                v[0] = static_cast<uint8_t>(c.precision);
                v[1] = static_cast<uint8_t>(c.places | (Pick(0, 1) ? 0x80 : 0));
                for (uint32_t i = 0; i < c.precision; ++i) {
                    const uint8_t d = static_cast<uint8_t>(Pick(0, 9));
                    v[2 + i / 2] |= i % 2 == 0 ? static_cast<uint8_t>(d << 4) : d;
                }
                return v;
            }
            case 6:
                return Le(static_cast<uint32_t>(Pick(-800000, 3000000)), 4);
            case 7:
                return Le(static_cast<uint32_t>(Pick(0, 86399999)), 4);
            case 8: {
                const double day = Pick(1, 800000);
                const double ms = Pick(0, 3) == 0 ? 0 : Pick(0, 86399999);
                const double v = day * 86400000.0 + ms;
                Bytes b(8);
                std::memcpy(b.data(), &v, 8);
                return b;
            }
            case 9: {
                const std::string s = CodePageText(5);
                if (!varying) {
                    Bytes v(s.begin(), s.end());
                    v.resize(w, 0);
                    return v;
                }
                return Bytes(s.begin(), s.end());
            }
            case 10:
                return Utf16Text();
            case 11:
            case 16:
                if (c.text) {
                    const std::string s = CodePageText(8);
                    return Bytes(s.begin(), s.end());
                }
                return Random(varying ? static_cast<size_t>(Pick(0, 40)) : w);
            default:
                return Random(w);
        }
    }

    void MakeRow(int level) {
        static const uint8_t kStatus[] = {0, 0, 4, 8, 2, 1};
        puts.push_back({0, {kStatus[Pick(0, 5)]}});
        for (const Col& c : levels[static_cast<size_t>(level)].cols) {
            const int roll = Pick(0, 9);
            if (roll == 0) {
                puts.push_back({1, {}});
            } else if (roll == 1) {
                puts.push_back({2, {}});
            } else if (c.child >= 0) {
                const uint32_t n = static_cast<uint32_t>(Pick(0, 3));
                puts.push_back({0, Le(n, 4)});
                for (uint32_t i = 0; i < n; ++i) MakeRow(c.child);
            } else {
                puts.push_back({0, Value(c)});
            }
        }
    }

    void WriteParams(IDSPacketWriter* w, uint32_t area, const std::vector<Param>& params) {
        static const uint8_t none = 0;  // a null value would close the block
        for (const Param& p : params)
            ASSERT_EQ(0u, w->AddParameter(area, p.name.c_str(), p.type,
                                          static_cast<uint32_t>(p.value.size()),
                                          p.value.empty() ? &none : p.value.data()))
                << p.name;
    }

    void WriteLevel(IDSPacketWriter* w, int level) {
        for (const Col& c : levels[static_cast<size_t>(level)].cols) {
            PacketColumnDesc d = enginetest::Column(c.name.c_str(), c.type, c.attributes);
            ASSERT_EQ(0u, w->AddColumn(&d));
            WriteParams(w, 0, c.params);
            if (c.child >= 0) WriteLevel(w, c.child);
        }
        WriteParams(w, 1, levels[static_cast<size_t>(level)].params);
        ASSERT_EQ(0u, w->AddParameter(1, nullptr, 0, 0, nullptr));
    }

    std::mt19937 rng_;
};

Bytes Take(IDSPacketWriter* w, EngineResult* result) {
    SAFEARRAY* out = nullptr;
    *result = w->TakePacket(&out);
    return enginetest::TakeBytes(out);
}

TEST(XmlRoundTrip, RandomPacketsReadBackAsFromBinary) {
    const bool lint = HaveXmllint();
    for (uint32_t seed = 1; seed <= 150; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Generator g(seed);
        g.Make();
        Ref<IDSPacketWriter> w(Engine::Get().NewWriter());
        g.Write(w.get());
        EngineResult r = 0;
        const Bytes binary = Take(w.get(), &r);
        ASSERT_EQ(0u, r);
        g.Write(w.get());
        ASSERT_EQ(0u, w->SetXmlOutput(seed % 2 ? 5 : 13));
        const Bytes xml = Take(w.get(), &r);
        ASSERT_EQ(0u, r);

        const Read fromBinary = ReadAll(binary);
        const Read fromXml = ReadAll(xml);
        ASSERT_EQ(0u, fromBinary.failure);
        ASSERT_EQ(0u, fromXml.failure) << Text(xml);
        EXPECT_EQ(5u, fromXml.mode);
        ASSERT_EQ(fromBinary.events, fromXml.events) << Text(xml);
        if (lint) {
            ASSERT_TRUE(WellFormed(xml, std::to_string(seed))) << Text(xml);
        }
    }
    if (!lint) GTEST_SKIP() << "xmllint (libxml2-utils) absent: well-formedness not checked";
}

TEST(XmlRoundTrip, BodyBehindBinaryHeaderAndRowsOnly) {
    for (uint32_t seed = 200; seed < 230; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Generator g(seed);
        g.Make();
        Ref<IDSPacketWriter> w(Engine::Get().NewWriter());
        g.Write(w.get());
        EngineResult r = 0;
        const Bytes binary = Take(w.get(), &r);
        ASSERT_EQ(0u, r);
        const Read fromBinary = ReadAll(binary);

        // Mode 4: a binary header marked as holding an XML body.
        g.Write(w.get());
        ASSERT_EQ(0u, w->SetXmlOutput(4));
        const Bytes wrapped = Take(w.get(), &r);
        ASSERT_EQ(0u, r);
        ASSERT_GT(wrapped.size(), 24u);
        EXPECT_EQ(0x8001u, wrapped[18] | wrapped[19] << 8);
        EXPECT_EQ(binary[14], wrapped[14]);  // the row count is kept
        const Read fromWrapped = ReadAll(wrapped);
        ASSERT_EQ(0u, fromWrapped.failure);
        EXPECT_EQ(12u, fromWrapped.mode);
        EXPECT_EQ(fromBinary.events, fromWrapped.events);

        // Mode 1: rows only; appended to the columns of the full packet.
        g.Write(w.get());
        ASSERT_EQ(0u, w->SetXmlOutput(1));
        const Bytes rows = Take(w.get(), &r);
        ASSERT_EQ(0u, r);
        ASSERT_TRUE(Text(rows).find("METADATA") == std::string::npos);
        Ref<IDSPacketReader> reader(Engine::Get().NewReader());
        Read viaRows;
        {
            Packet full(binary);
            ASSERT_EQ(0u, reader->OpenPacket(full.get()));
            ASSERT_EQ(0u, xmltest::ReadLevel(reader.get(), &viaRows, 0));
            Packet more(rows);
            ASSERT_EQ(0u, reader->OpenRows(more.get()));
            EXPECT_EQ(1u, reader->ReadXmlInput());
            for (int guard = 0; guard < 100000; ++guard) {
                uint32_t length = 0;
                if (reader->PeekValueLength(&length) != 0) break;
                Bytes v((length & 0x80000000u) ? 1 : length + 1);
                uint32_t status = 0;
                const EngineResult e = reader->NextValue(&length, v.data(), &status);
                char head[64];
                std::snprintf(head, sizeof head, "I %u %u %u ", status, e, length);
                viaRows.events.push_back(head + Hex(v.data(), length));
            }
        }
        EXPECT_EQ(fromBinary.events, viaRows.events);
    }
}

}  // namespace
