// Filter texts translated into canonical expressions: the exact bytes of a
// few forms, every error message, and the program's filters run by the
// engine on real tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "dataset/client_table.h"
#include "dataset/filter_expression.h"
#include "platform/codepage.h"
#include "table_files.h"
#include "test_support/test_support.h"

using namespace sarvenu;
using namespace sarvenu::filterexpr;

namespace {

const std::vector<FieldInfo> kFields = {
    {"CD", ftString, FLD_STRING, 1},    {"NAME", ftString, FLD_STRING, 2},
    {"FLAG", ftBoolean, FLD_BOOL16, 3}, {"SMALL", ftSmallint, FLD_INT16, 4},
    {"WORD", ftWord, FLD_UINT16, 5},    {"NUM", ftInteger, FLD_INT32, 6},
    {"MEMO", ftMemo, FLD_BLOB, 7},      {"AMOUNT", ftFloat, FLD_FLOAT, 8},
};

const FieldInfo* Lookup(const std::string& name) {
    for (const FieldInfo& f : kFields)
        if (f.name == name) return &f;
    return nullptr;
}

std::vector<uint8_t> T(const std::string& text, bool caseInsensitive = false) {
    return Translate(text, Lookup, caseInsensitive);
}

// Little-endian byte assembly for the expected expressions.
struct Bytes {
    std::vector<uint8_t> b;
    Bytes& u16(uint32_t v) {
        b.push_back(v & 0xFF);
        b.push_back((v >> 8) & 0xFF);
        return *this;
    }
    Bytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Bytes& text(const std::string& s) {
        b.insert(b.end(), s.begin(), s.end());
        b.push_back(0);
        return *this;
    }
    Bytes& raw(std::initializer_list<uint8_t> bytes) {
        b.insert(b.end(), bytes);
        return *this;
    }
};

std::vector<uint8_t> Expression(const Bytes& nodes, const Bytes& literals) {
    Bytes out;
    size_t literalArea = 10 + nodes.b.size();
    out.u16(2)
        .u16(static_cast<uint32_t>(literalArea + literals.b.size()))
        .u16(0xFFFF)
        .u16(10)
        .u16(static_cast<uint32_t>(literalArea));
    out.b.insert(out.b.end(), nodes.b.begin(), nodes.b.end());
    out.b.insert(out.b.end(), literals.b.begin(), literals.b.end());
    return out.b;
}

std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EDatabaseError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(FilterTranslation, ExactBytes) {
    // Number against a string field becomes text; nodes in pre-order.
    Bytes nodes;
    nodes.u32(2).u32(3).u16(12).u16(24);        // CD = ...
    nodes.u32(4).u32(13).u16(1).u16(0);         // field CD, literal 0
    nodes.u32(5).u32(14).u16(1).u16(4).u16(3);  // string "200" with its zero, literal 3
    Bytes literals;
    literals.text("CD").text("200");
    EXPECT_EQ(T("CD = 200"), Expression(nodes, literals));
    // A constant on the left moves to the right with the operator mirrored.
    EXPECT_EQ(T("200 > CD"), T("CD<200"));
    EXPECT_EQ(T("200 > CD")[14], 6);  // OP_LT

    // A trailing * makes a partial compare node.
    Bytes partial;
    partial.u32(3).u32(3).u16(0).u16(2).u16(16).u16(28);
    partial.u32(4).u32(13).u16(2).u16(0);
    partial.u32(5).u32(14).u16(1).u16(3).u16(5);
    Bytes partialLiterals;
    partialLiterals.text("NAME").text("AB");
    EXPECT_EQ(T("NAME = 'AB*'"), Expression(partial, partialLiterals));

    // NULL comparisons are blank tests.
    Bytes blank;
    blank.u32(1).u32(1).u16(10);
    blank.u32(4).u32(13).u16(6).u16(0);
    Bytes blankLiterals;
    blankLiterals.text("NUM");
    EXPECT_EQ(T("NUM = NULL"), Expression(blank, blankLiterals));
    EXPECT_EQ(T("NULL <> NUM")[14], 2);  // OP_NOT_BLANK

    // A truth-valued field alone reads as FLAG <> false.
    Bytes flag;
    flag.u32(2).u32(4).u16(12).u16(24);
    flag.u32(4).u32(13).u16(3).u16(0);
    flag.u32(5).u32(14).u16(4).u16(2).u16(5);
    Bytes flagLiterals;
    flagLiterals.text("FLAG").raw({0, 0});
    EXPECT_EQ(T("FLAG"), Expression(flag, flagLiterals));
    // Small integers take two bytes with their field's type.
    Bytes small;
    small.u32(2).u32(7).u16(12).u16(24);
    small.u32(4).u32(13).u16(4).u16(0);
    small.u32(5).u32(14).u16(5).u16(2).u16(6);
    Bytes smallLiterals;
    smallLiterals.text("SMALL").raw({0x18, 0xFC});  // -1000
    EXPECT_EQ(T("SMALL >= -1000"), Expression(small, smallLiterals));
}

TEST(FilterTranslation, StructureOfLogicalForms) {
    std::vector<uint8_t> e = T("not (CD = 1 and NAME <> 'x') or FLAG");
    // Root is OR, whose left child (right after the root) is NOT.
    EXPECT_EQ(e[10], 2);
    EXPECT_EQ(e[14], 11);
    EXPECT_EQ(e[22], 1);
    EXPECT_EQ(e[26], 9);
    // Case-insensitive filters turn string comparisons into compare nodes.
    std::vector<uint8_t> ci = T("NAME = 'abc'", true);
    EXPECT_EQ(ci[10], 3);
    EXPECT_EQ(ci[18], 1);  // case-insensitive flag
    EXPECT_EQ(ci[20], 0);  // no partial length
    // String constants are cut to 255 characters.
    std::vector<uint8_t> longText = T("NAME = '" + std::string(300, 'a') + "'");
    EXPECT_EQ(longText.size(), T("NAME = '" + std::string(255, 'a') + "'").size());
    EXPECT_EQ(longText[10 + 12 + 12 + 10] + 256 * longText[10 + 12 + 12 + 11], 256);
}

TEST(FilterTranslation, Errors) {
    EXPECT_EQ(MessageOf([] { T("CD = 1 # 2"); }),
              platform::Utf8ToCp932("フィルター式に不正な文字 '#' が含まれています。"));
    EXPECT_EQ(MessageOf([] { T("CD = 'abc"); }),
              platform::Utf8ToCp932("フィルター式が正しく終わっていません"));
    EXPECT_EQ(MessageOf([] { T("(CD = 1"); }),
              platform::Utf8ToCp932("フィルター式が正しく終わっていません"));
    EXPECT_EQ(MessageOf([] { T("CD ="); }),
              platform::Utf8ToCp932("フィルター式が正しく終わっていません"));
    EXPECT_EQ(MessageOf([] { T("CD = = 1"); }),
              platform::Utf8ToCp932("フィルター式の形式が正しくありません"));
    EXPECT_EQ(MessageOf([] { T("CD = 1 CD"); }),
              platform::Utf8ToCp932("フィルター式の形式が正しくありません"));
    EXPECT_EQ(MessageOf([] { T("NUM > NULL"); }),
              platform::Utf8ToCp932("NULL は '=' または '<>' 以外と組み合わせることはできません"));
    EXPECT_EQ(MessageOf([] { T("SMALL = 40000"); }),
              platform::Utf8ToCp932("定数が範囲を超えています"));
    EXPECT_EQ(MessageOf([] { T("WORD = -1"); }), platform::Utf8ToCp932("定数が範囲を超えています"));
    EXPECT_EQ(MessageOf([] { T("NUM = 3000000000"); }),
              platform::Utf8ToCp932("定数が範囲を超えています"));
    EXPECT_EQ(MessageOf([] { T("MEMO = 'x'"); }),
              platform::Utf8ToCp932("項目 'MEMO' をフィルター式で使うことはできません"));
    EXPECT_EQ(MessageOf([] { T("NOPE = 1"); }),
              platform::Utf8ToCp932("項目 'NOPE' が見つかりません"));
    EXPECT_EQ(MessageOf([] { T("NUM = 'abc'"); }),
              platform::Utf8ToCp932("'abc' は項目 'NUM' に適した整数値ではありません"));
    EXPECT_NO_THROW(T("WORD = 65535"));
    EXPECT_NO_THROW(T("[CD] = 'it''s'"));
    // A double-byte character whose second byte is ']' stays whole.
    const std::string kanji = "\x83\x5D";  // its second byte is ']'
    const FieldInfo odd{kanji, ftString, FLD_STRING, 1};
    auto oddLookup = [&](const std::string& n) -> const FieldInfo* {
        return n == kanji ? &odd : nullptr;
    };
    EXPECT_NO_THROW(Translate("[" + kanji + "] = 'a'", oddLookup, false));
}

// The program's filters, run by the engine.
class EngineFilter : public ::testing::Test {
  protected:
    void Open(uint32_t cdType) {
        std::vector<testutil::Row> rows;
        for (const std::string& cd : codes) rows.push_back({cd});
        testutil::WriteTable(dir.File("codes.cds"), {{"CD", cdType, 10}}, rows);
        table.SetFileName(dir.File("codes.cds"));
        table.OpenTable();
    }
    std::vector<std::string> View() {
        std::vector<std::string> out;
        for (table.MoveFirst(); !table.AtEnd(); table.MoveNext())
            out.push_back(table.FieldNamed("CD").GetText());
        return out;
    }
    std::vector<std::string> Expect(const std::function<bool(const std::string&)>& keep) {
        std::vector<std::string> out;
        std::copy_if(codes.begin(), codes.end(), std::back_inserter(out), keep);
        return out;
    }
    const std::vector<std::string> codes = {"100",  "199",  "200",  "250",  "299",  "300",
                                            "1200", "1250", "1299", "1300", "2000", "99999"};
    const std::string rangeFilter = "((CD >= 200 and CD < 300) or (CD >= 1200 and CD < 1300))";
    sarvenu_test::TempDir dir;
    TClientTable table;
};

TEST_F(EngineFilter, RangesOnATextCodeCompareAsText) {
    Open(FLD_STRING);
    table.SetFilter(rangeFilter);
    table.SetFiltered(true);
    auto inRange = [](const std::string& c) {
        return (c >= "200" && c < "300") || (c >= "1200" && c < "1300");
    };
    EXPECT_EQ(View(), Expect(inRange));
    EXPECT_EQ(table.RecordTotal(), Expect(inRange).size());

    table.SetFilter("CD=99999");
    EXPECT_EQ(View(), Expect([](const std::string& c) { return c == "99999"; }));
    table.SetFilter("CD='99998'");
    EXPECT_EQ(table.RecordTotal(), 0u);
    EXPECT_TRUE(table.AtEnd());

    // A bad text leaves the filter that was in place.
    EXPECT_THROW(table.SetFilter("CD = = 1"), EDatabaseError);
    EXPECT_EQ(table.Filter(), "CD='99998'");
    EXPECT_EQ(table.RecordTotal(), 0u);

    table.SetFiltered(false);
    EXPECT_EQ(View(), codes);
}

TEST_F(EngineFilter, RangesOnANumericCodeCompareAsNumbers) {
    Open(FLD_INT32);
    table.SetFiltered(true);
    table.SetFilter(rangeFilter);
    auto inRange = [](const std::string& c) {
        int v = std::stoi(c);
        return (v >= 200 && v < 300) || (v >= 1200 && v < 1300);
    };
    EXPECT_EQ(View(), Expect(inRange));
    table.SetFilter("CD=99999");
    EXPECT_EQ(View(), (std::vector<std::string>{"99999"}));
    table.SetFilter("not CD <> 99999 and CD <> NULL");
    EXPECT_EQ(View(), (std::vector<std::string>{"99999"}));
}

TEST_F(EngineFilter, FilterAppliesFromOpenAndSurvivesReordering) {
    table.SetFilter("CD < 300");
    table.SetFiltered(true);
    table.SetIndexFieldNames("CD");
    Open(FLD_INT32);
    EXPECT_EQ(View(), (std::vector<std::string>{"100", "199", "200", "250", "299"}));
    table.SetIndexFieldNames("");
    EXPECT_EQ(table.RecordTotal(), 5u);
}

}  // namespace
