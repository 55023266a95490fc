// Code page 932 conversions: exact Windows bytes for the characters the sheets
// need, the Windows fallbacks for typed text, and the byte-level rules.
#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "test_support.h"

using platform_test::B;

namespace {

TEST(Codepage, JapaneseTextHasTheWindowsBytesAndRoundTrips) {
    const std::string utf8 = "Ⅲ品質・出来形①";
    const std::string expected = B(0x87, 0x56, 0x95, 0x69, 0x8E, 0xBF, 0x81, 0x45, 0x8F, 0x6F, 0x97,
                                   0x88, 0x8C, 0x60, 0x87, 0x40);
    EXPECT_EQ(platform::Utf8ToCp932(utf8), expected);
    EXPECT_EQ(platform::Cp932ToUtf8(expected), utf8);
    EXPECT_EQ(platform::Utf16ToCp932(u"Ⅲ品質・出来形①"), expected);
    EXPECT_EQ(platform::Cp932ToUtf16(expected), u"Ⅲ品質・出来形①");

    // Roman numerals and circled digits of NEC row 13, half-width katakana, ASCII mixed in.
    const std::string mixed = "工事No.12 Ⅰ～Ⅶ ①② ｱｲｳ";
    EXPECT_EQ(platform::Cp932ToUtf8(platform::Utf8ToCp932(mixed)), mixed);
    EXPECT_EQ(platform::Utf8ToCp932("ｱ"), B(0xB1));
}

TEST(Codepage, SecondByte5CIsPartOfTheCharacter) {
    // 表 is 95 5C: its second byte is the path separator's byte.
    const std::string bytes = B(0x95, 0x5C) + "\\" + B(0x95, 0x5C) + "x";
    EXPECT_EQ(platform::Utf8ToCp932("表\\表x"), bytes);
    EXPECT_EQ(platform::Cp932ToUtf8(bytes), "表\\表x");
    EXPECT_EQ(platform::Cp932ToUtf8(B(0x83, 0x5C)), "ソ");
    EXPECT_EQ(platform::Cp932ToUtf8(B(0x94, 0x5C, 0x90, 0x5C)), "能申");
}

TEST(Codepage, TypedTextIsStoredAsWindowsStoresIt) {
    EXPECT_EQ(platform::Utf8ToCp932("\u301C"), B(0x81, 0x60));  // WAVE DASH
    EXPECT_EQ(platform::Utf8ToCp932("\u2212"), B(0x81, 0x7C));  // MINUS SIGN
    EXPECT_EQ(platform::Utf8ToCp932("\u00A5"), B(0x5C));        // YEN SIGN
    EXPECT_EQ(platform::Utf16ToCp932(u"1\u301C2\u2212\u00A5"),
              "1" + B(0x81, 0x60) + "2" + B(0x81, 0x7C, 0x5C));
    // The Windows characters of those bytes decode to what Windows decodes.
    EXPECT_EQ(platform::Cp932ToUtf16(B(0x81, 0x60, 0x81, 0x7C, 0x5C)), u"\uFF5E\uFF0D\\");
    // Further best-fit characters: cent, pound, not sign.
    EXPECT_EQ(platform::Utf8ToCp932("\u00A2\u00A3\u00AC"), B(0x81, 0x91, 0x81, 0x92, 0x81, 0xCA));
}

TEST(Codepage, UnmappableAndUndecodableText) {
    // A character outside code page 932 becomes one '?', also when it needs a surrogate pair.
    EXPECT_EQ(platform::Utf8ToCp932("a\U0001F600b"), "a?b");
    EXPECT_EQ(platform::Utf8ToCp932("\u0E01"), "?");
    EXPECT_EQ(platform::Utf16ToCp932(std::u16string(u"x") + char16_t(0xD800) + u"y"), "x?y");
    EXPECT_EQ(platform::Utf8ToCp932("a\xFF"
                                    "b"),
              "a?b");  // broken UTF-8

    // Undecodable bytes become U+FFFD; a lead byte without a valid second byte
    // is one U+FFFD and the next byte is read on its own.
    EXPECT_EQ(platform::Cp932ToUtf16(B(0x80)), u"\uFFFD");
    EXPECT_EQ(platform::Cp932ToUtf16(B(0xA0, 0xFD, 0xFE, 0xFF)), u"\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(platform::Cp932ToUtf16("a" + B(0x81)), u"a\uFFFD");
    EXPECT_EQ(platform::Cp932ToUtf16(B(0x81, 0x20)), u"\uFFFD ");
    EXPECT_EQ(platform::Cp932ToUtf16(B(0x81, 0x7F)), u"\uFFFD\u007F");
    EXPECT_EQ(platform::Cp932ToUtf16(B(0x85, 0x40)), u"\uFFFD");  // unassigned pair
    EXPECT_EQ(platform::Cp932ToUtf8(B(0x80)), "\uFFFD");
}

TEST(Codepage, AsciiIsIdentityIncludingControlBytes) {
    // ICU's table behind windows-31j swaps 1A, 1C and 7F; Windows does not.
    std::string bytes;
    std::u16string units;
    for (int b = 1; b < 0x80; ++b) {
        bytes += static_cast<char>(b);
        units += static_cast<char16_t>(b);
    }
    EXPECT_EQ(platform::Cp932ToUtf16(bytes), units);
    EXPECT_EQ(platform::Utf16ToCp932(units), bytes);
    // Also inside non-ASCII text, where ICU does the work.
    EXPECT_EQ(platform::Cp932ToUtf16(B(0x82, 0xA0, 0x1A, 0x1C, 0x7F, 0x82, 0xA0)),
              u"あ\u001A\u001C\u007Fあ");
    EXPECT_EQ(platform::Utf16ToCp932(u"あ\u001A\u001C\u007Fあ"),
              B(0x82, 0xA0, 0x1A, 0x1C, 0x7F, 0x82, 0xA0));
    std::string withNul("a\0b", 3);
    EXPECT_EQ(platform::Cp932ToUtf8(withNul), withNul);
}

TEST(Codepage, EveryDecodableDoubleByteCharacterRoundTripsToItsCharacter) {
    int decodable = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!platform::IsDBCSLeadByte(static_cast<unsigned char>(lead))) continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            std::u16string text = platform::Cp932ToUtf16(B(lead, trail));
            if (trail == 0x7F) {
                EXPECT_EQ(text, u"\uFFFD\u007F");
                continue;
            }
            ASSERT_EQ(text.size(), 1u) << std::hex << lead << " " << trail;
            if (text[0] == 0xFFFD) continue;
            ++decodable;
            // Duplicates (NEC-selected IBM extensions) encode to the preferred
            // bytes, which decode to the same character.
            std::string encoded = platform::Utf16ToCp932(text);
            ASSERT_EQ(encoded.size(), 2u) << std::hex << lead << " " << trail;
            EXPECT_EQ(platform::Cp932ToUtf16(encoded), text) << std::hex << lead << " " << trail;
        }
    }
    // JIS X 0208 (6879), NEC row 13 (83), NEC-selected IBM extensions (374),
    // IBM extensions (388) and the user-defined area (1880).
    EXPECT_EQ(decodable, 6879 + 83 + 374 + 388 + 1880);
}

TEST(Codepage, LeadBytes) {
    for (int b = 0; b < 256; ++b) {
        bool expected = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        EXPECT_EQ(platform::IsDBCSLeadByte(static_cast<unsigned char>(b)), expected) << b;
    }
}

}  // namespace
