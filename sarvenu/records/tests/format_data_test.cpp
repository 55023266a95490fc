// Space collapsing, trailing line breaks and width normalisation of code
// page 932 texts, with double-byte characters whose second byte looks like
// an ASCII character.
#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"
#include "records/format_data.h"
#include "records/jstrm_k.h"

namespace {

using namespace sarvenu;

const std::string kWideSpace = "\x81\x40";

TEST(CollapseSpacesTest, OnePairIsCollapsedPerStep) {
    EXPECT_FALSE(CollapseSpaces("a b c", 255));
    EXPECT_FALSE(CollapseSpaces("", 255));
    // A lone full-width space stays as it is.
    EXPECT_FALSE(CollapseSpaces("a" + kWideSpace + "b", 255));

    auto step = CollapseSpaces("ab   c", 255);
    ASSERT_TRUE(step);
    EXPECT_EQ(step->text, "ab  c");
    EXPECT_EQ(step->caret, 3u);

    // Two full-width spaces become one ASCII space; so do the others in the copy.
    step = CollapseSpaces("x" + kWideSpace + "y" + kWideSpace + kWideSpace + "z", 255);
    ASSERT_TRUE(step);
    EXPECT_EQ(step->text, "x y z");
    EXPECT_EQ(step->caret, 4u);

    // Mixed: an ASCII space followed by a full-width one is a pair.
    step = CollapseSpaces(" " + kWideSpace, 255);
    ASSERT_TRUE(step);
    EXPECT_EQ(step->text, " ");
    EXPECT_EQ(step->caret, 1u);
}

TEST(CollapseSpacesTest, RepeatsUntilNoPairIsLeft) {
    auto result = CollapseSpacesFully("a" + kWideSpace + kWideSpace + "b    c", 255);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, "a b c");
    EXPECT_EQ(result->caret, 4u) << "after the space of the last pair collapsed";
    EXPECT_FALSE(CollapseSpacesFully("a" + kWideSpace + "b", 255));
}

TEST(CollapseSpacesTest, WalksByCharacters) {
    // "＝" is 81 81: followed by '@' (0x40) it must not be read as 81 40.
    const std::string equalsAt = platform::Utf8ToCp932("＝") + "@";
    EXPECT_FALSE(CollapseSpaces(equalsAt + " ", 255));
    // "ァ" is 83 40: its second byte is no space either.
    EXPECT_FALSE(
        CollapseSpaces(platform::Utf8ToCp932("ァ") + " " + platform::Utf8ToCp932("ァ"), 255));
    // Double-byte characters whose second byte is 0x40, 0x5C or 0x7C stay whole.
    const std::string kana = platform::Utf8ToCp932("ァ表ポ") + platform::Utf8ToCp932("　　");
    auto step = CollapseSpaces(kana, 255);
    ASSERT_TRUE(step);
    EXPECT_EQ(step->text, platform::Utf8ToCp932("ァ表ポ") + " ");
    EXPECT_EQ(step->caret, platform::Utf8ToCp932("ァ表ポ").size() + 1);
    // A lead byte at the very end is copied as it is.
    step = CollapseSpaces("  \x82", 255);
    ASSERT_TRUE(step);
    EXPECT_EQ(step->text, " \x82");
}

TEST(CollapseSpacesTest, CopyIsLimitedWithoutSplittingACharacter) {
    // The pair lies beyond the limit: nothing to do.
    EXPECT_FALSE(CollapseSpaces("abcd  ", 4));
    // A two-byte character that does not fit is left out whole.
    auto step = CollapseSpaces("  " + platform::Utf8ToCp932("あい"), 4);
    ASSERT_TRUE(step);
    EXPECT_EQ(step->text, " " + platform::Utf8ToCp932("あ"));
    auto full = CollapseSpacesFully(std::string(300, ' '), 255);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->text, " ");
}

TEST(TrimLineBreaksTest, RemovesEveryTrailingPair) {
    EXPECT_EQ(TrimLineBreaks("abc\r\n\r\n"), "abc");
    EXPECT_EQ(TrimLineBreaks("\r\n"), "");
    EXPECT_EQ(TrimLineBreaks("a\r\nb"), "a\r\nb");
    EXPECT_EQ(TrimLineBreaks("abc\n"), "abc\n");
    EXPECT_EQ(TrimLineBreaks("abc\r\n\r"), "abc\r\n\r");
    EXPECT_EQ(TrimLineBreaks(""), "");
}

TEST(NormalizeWidthTest, FullWidthAsciiBecomesHalfWidth) {
    EXPECT_EQ(NormalizeWidth(platform::Utf8ToCp932("ＡＢＣ１２３ｶﾞｲﾄﾞ")),
              platform::Utf8ToCp932("ABC123ガイド"));
    EXPECT_EQ(NormalizeWidth(platform::Utf8ToCp932("０９ＡＺａｚ")), "09AZaz");
    EXPECT_EQ(NormalizeWidth(
                  platform::Utf8ToCp932("　，．：；？！＾／｜（）［］｛｝＋－＝＜＞＄％＃＆＊＠")),
              " ,.:;?!^/|()[]{}+-=<>$%#&*@");
    EXPECT_EQ(NormalizeWidth(platform::Utf8ToCp932("‘’′“”″〓￥")), "'''\"\"\"=\\");
    // Characters outside the list keep their width, whatever their second byte.
    const std::string kept = platform::Utf8ToCp932("表ソ能漢字～＿ア");
    EXPECT_EQ(NormalizeWidth(kept), kept);
    EXPECT_EQ(NormalizeWidth("plain ASCII \\ 123"), "plain ASCII \\ 123");
}

TEST(NormalizeWidthTest, HalfWidthKatakanaBecomesFullWidth) {
    const std::string halfWidth =
        platform::Utf8ToCp932("｡｢｣､･ｦｧｨｩｪｫｬｭｮｯｰｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾅﾆﾇﾈﾉﾊﾋﾌﾍﾎﾏﾐﾑﾒﾓﾔﾕﾖﾗﾘﾙﾚﾛﾜﾝ");
    ASSERT_EQ(halfWidth.size(), 0xDDu - 0xA1u + 1u);
    EXPECT_EQ(
        NormalizeWidth(halfWidth),
        platform::Utf8ToCp932(
            "。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノ"
            "ハヒフヘホマミムメモヤユヨラリルレロワン"));
    EXPECT_EQ(NormalizeWidth(platform::Utf8ToCp932("ｶﾞｷﾞｸﾞｹﾞｺﾞｻﾞｼﾞｽﾞｾﾞｿﾞﾀﾞﾁﾞﾂﾞﾃﾞﾄﾞﾊﾞﾋﾞﾌﾞﾍﾞﾎﾞｳﾞ")),
              platform::Utf8ToCp932("ガギグゲゴザジズゼゾダヂヅデドバビブベボヴ"));
    EXPECT_EQ(NormalizeWidth(platform::Utf8ToCp932("ﾊﾟﾋﾟﾌﾟﾍﾟﾎﾟ")),
              platform::Utf8ToCp932("パピプペポ"));
}

TEST(NormalizeWidthTest, MarksWithoutACombinedForm) {
    // The mark is dropped after a character that has no marked form.
    EXPECT_EQ(NormalizeWidth(platform::Utf8ToCp932("ｱﾞﾏﾟｶﾟ")), platform::Utf8ToCp932("アマカ"));
    // A mark that follows no katakana stays half-width, as does a second mark.
    EXPECT_EQ(NormalizeWidth(platform::Utf8ToCp932("ﾞAﾟ")), platform::Utf8ToCp932("ﾞAﾟ"));
    EXPECT_EQ(NormalizeWidth(platform::Utf8ToCp932("ｶﾞﾞ")), platform::Utf8ToCp932("ガﾞ"));
    // A katakana at the very end, and a lead byte with nothing after it.
    EXPECT_EQ(NormalizeWidth(platform::Utf8ToCp932("ﾝ")), platform::Utf8ToCp932("ン"));
    EXPECT_EQ(NormalizeWidth("a\x82"), "a\x82");
}

}  // namespace
