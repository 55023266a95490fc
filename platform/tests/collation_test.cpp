// Locale collation: Japanese and ASCII order, what ignoring case ignores, and
// agreement between Compare and SortKey (index builds rely on it).
#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <random>
#include <vector>

#include "platform/codepage.h"
#include "platform/collation.h"
#include "test_support.h"

namespace {

constexpr uint32_t kJapanese = 0x0411;
constexpr uint32_t kEnglishUS = 0x0409;

int Cmp(const platform::Collation& c, const std::string& a, const std::string& b,
        bool ignoreCase = false) {
    return c.Compare(a.data(), static_cast<ptrdiff_t>(a.size()), b.data(),
                     static_cast<ptrdiff_t>(b.size()), ignoreCase);
}

int KeyCmp(const platform::Collation& c, const std::string& a, const std::string& b,
           bool ignoreCase) {
    std::string ka = c.SortKey(a.data(), static_cast<ptrdiff_t>(a.size()), ignoreCase);
    std::string kb = c.SortKey(b.data(), static_cast<ptrdiff_t>(b.size()), ignoreCase);
    int r = ka.compare(kb);
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

// Every element of the list sorts strictly before the next one.
void ExpectStrictOrder(const platform::Collation& c, const std::vector<std::string>& list) {
    for (size_t i = 0; i + 1 < list.size(); ++i) {
        EXPECT_EQ(Cmp(c, list[i], list[i + 1]), -1)
            << platform::Cp932ToUtf8(list[i]) << " < " << platform::Cp932ToUtf8(list[i + 1]);
        EXPECT_EQ(Cmp(c, list[i + 1], list[i]), 1);
        EXPECT_EQ(KeyCmp(c, list[i], list[i + 1], false), -1);
    }
}

TEST(Collation, LocaleFromLcid) {
    EXPECT_TRUE(platform::IsValidLocale(kJapanese));
    EXPECT_TRUE(platform::IsValidLocale(kEnglishUS));
    EXPECT_FALSE(platform::IsValidLocale(0));
    EXPECT_FALSE(platform::IsValidLocale(0x1234));  // no such locale

    platform::Collation japanese(kJapanese);
    EXPECT_EQ(japanese.lcid(), kJapanese);
    EXPECT_EQ(japanese.localeName().substr(0, 2), "ja");
    // 0 and unknown identifiers give the user's default locale.
    platform::Collation byDefault(0), unknown(0x1234);
    EXPECT_EQ(unknown.localeName(), byDefault.localeName());
    EXPECT_EQ(unknown.lcid(), 0x1234u);
    EXPECT_NE(byDefault.localeName().find_first_not_of(' '), std::string::npos);
}

TEST(Collation, JapaneseOrder) {
    platform::Collation c(kJapanese);
    // Digits, Latin, kana in syllabary order, kanji in JIS order.
    ExpectStrictOrder(
        c, {platform::Utf8ToCp932("1"), platform::Utf8ToCp932("12"), platform::Utf8ToCp932("2"),
            platform::Utf8ToCp932("abc"), platform::Utf8ToCp932("B"), platform::Utf8ToCp932("あ"),
            platform::Utf8ToCp932("い"), platform::Utf8ToCp932("か"), platform::Utf8ToCp932("が"),
            platform::Utf8ToCp932("さ"), platform::Utf8ToCp932("亜"), platform::Utf8ToCp932("愛"),
            platform::Utf8ToCp932("悪")});
    // Kana type, width and voicing count.
    EXPECT_NE(Cmp(c, platform::Utf8ToCp932("あ"), platform::Utf8ToCp932("ア")), 0);
    EXPECT_NE(Cmp(c, platform::Utf8ToCp932("ア"), platform::Utf8ToCp932("ｱ")), 0);
    EXPECT_NE(Cmp(c, platform::Utf8ToCp932("カ"), platform::Utf8ToCp932("ガ")), 0);
    // A small difference loses to a difference further on: width of the first
    // letter matters less than the next letter.
    EXPECT_EQ(Cmp(c, platform::Utf8ToCp932("ｱい"), platform::Utf8ToCp932("アう")), -1);
    EXPECT_EQ(Cmp(c, platform::Utf8ToCp932("品質・出来形"), platform::Utf8ToCp932("品質・出来形")),
              0);
    EXPECT_EQ(Cmp(c, platform::Utf8ToCp932("Ⅲ"), platform::Utf8ToCp932("Ⅳ")), -1);
    EXPECT_EQ(Cmp(c, platform::Utf8ToCp932("①"), platform::Utf8ToCp932("②")), -1);
}

TEST(Collation, AsciiOrderIsLinguistic) {
    for (uint32_t lcid : {kJapanese, kEnglishUS, 0u}) {
        platform::Collation c(lcid);
        SCOPED_TRACE(c.localeName());
        // Not byte order: letters alphabetically, lower case before upper case.
        ExpectStrictOrder(c, {"", "a", "A", "ab", "B", "b2", "c"});
        EXPECT_EQ(Cmp(c, "abc", "abd"), -1);
        EXPECT_EQ(Cmp(c, "abc", "abc"), 0);
        EXPECT_EQ(Cmp(c, "abc", "ab"), 1);
    }
}

TEST(Collation, IgnoreCaseIgnoresCaseOnly) {
    for (uint32_t lcid : {kJapanese, kEnglishUS}) {
        platform::Collation c(lcid);
        SCOPED_TRACE(c.localeName());
        EXPECT_EQ(Cmp(c, "abc", "ABC", true), 0);
        EXPECT_EQ(Cmp(c, "aBc", "AbC", true), 0);
        EXPECT_NE(Cmp(c, "abc", "ABC", false), 0);
        EXPECT_EQ(Cmp(c, platform::Utf8ToCp932("ａｂ"), platform::Utf8ToCp932("ＡＢ"), true),
                  0);  // full-width letters have case too
        // Width, kana type and accents are not case.
        EXPECT_NE(Cmp(c, "A", platform::Utf8ToCp932("Ａ"), true), 0);
        EXPECT_NE(Cmp(c, "a", platform::Utf8ToCp932("ａ"), true), 0);
        EXPECT_NE(Cmp(c, platform::Utf8ToCp932("あ"), platform::Utf8ToCp932("ア"), true), 0);
        EXPECT_NE(Cmp(c, platform::Utf8ToCp932("ア"), platform::Utf8ToCp932("ｱ"), true), 0);
        EXPECT_NE(Cmp(c, "abc", "abd", true), 0);
        EXPECT_EQ(KeyCmp(c, "abc", "ABC", true), 0);
        EXPECT_NE(KeyCmp(c, "A", platform::Utf8ToCp932("Ａ"), true), 0);
    }
}

TEST(Collation, IgnoreCaseCoversEveryCasedCharacter) {
    platform::Collation c(kJapanese);
    int cased = 0;
    for (uint32_t cp = 1; cp < 0x10000; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        char16_t unit = static_cast<char16_t>(cp);
        char16_t folded[4];
        UErrorCode error = U_ZERO_ERROR;
        int32_t n = u_strFoldCase(folded, 4, &unit, 1, U_FOLD_CASE_DEFAULT, &error);
        if (n == 1 && folded[0] == unit) continue;
        ++cased;
        ASSERT_EQ(c.CompareUtf16(&unit, 1, folded, static_cast<size_t>(n), true), 0)
            << std::hex << cp;
    }
    EXPECT_GT(cased, 1000);
}

TEST(Collation, LengthsAndUtf16) {
    platform::Collation c(kJapanese);
    // -1 stops at the NUL; an explicit length includes what follows it.
    const char a[] = "abc\0x";
    EXPECT_EQ(c.Compare(a, -1, "abc", -1, false), 0);
    EXPECT_EQ(c.Compare(a, 3, "abc", 3, false), 0);
    EXPECT_EQ(c.Compare(a, 2, "abc", -1, false), -1);
    EXPECT_EQ(c.SortKey(a, -1, false), c.SortKey("abc", 3, false));

    // UTF-16 comparison agrees with the code page 932 one.
    std::vector<std::string> texts = {platform::Utf8ToCp932("あ"),
                                      platform::Utf8ToCp932("ア"),
                                      platform::Utf8ToCp932("ｱ"),
                                      "abc",
                                      "ABC",
                                      platform::Utf8ToCp932("表"),
                                      platform::Utf8ToCp932("Ⅲ")};
    for (const auto& x : texts)
        for (const auto& y : texts)
            for (bool ic : {false, true}) {
                std::u16string ux = platform::Cp932ToUtf16(x), uy = platform::Cp932ToUtf16(y);
                EXPECT_EQ(c.CompareUtf16(ux.data(), ux.size(), uy.data(), uy.size(), ic),
                          Cmp(c, x, y, ic));
            }

    // Texts longer than the stack buffers.
    std::string longA(3000, 'a'), longB = longA;
    longA += platform::Utf8ToCp932("あ");
    longB += platform::Utf8ToCp932("い");
    EXPECT_EQ(Cmp(c, longA, longB), -1);
    std::string upper(3000, 'A');
    EXPECT_EQ(Cmp(c, std::string(3000, 'a'), upper, true), 0);
    EXPECT_EQ(KeyCmp(c, longA, longB, true), -1);
}

// Random texts over an alphabet mixing the hard cases.
std::vector<std::string> RandomTexts(size_t count, unsigned seed) {
    const std::vector<std::string> alphabet = {"a",
                                               "A",
                                               "b",
                                               "B",
                                               "z",
                                               "Z",
                                               "0",
                                               "9",
                                               " ",
                                               "-",
                                               "'",
                                               "_",
                                               "\\",
                                               platform::Utf8ToCp932("あ"),
                                               platform::Utf8ToCp932("ア"),
                                               platform::Utf8ToCp932("ｱ"),
                                               platform::Utf8ToCp932("か"),
                                               platform::Utf8ToCp932("が"),
                                               platform::Utf8ToCp932("カ"),
                                               platform::Utf8ToCp932("ー"),
                                               platform::Utf8ToCp932("ぁ"),
                                               platform::Utf8ToCp932("Ａ"),
                                               platform::Utf8ToCp932("ａ"),
                                               platform::Utf8ToCp932("表"),
                                               platform::Utf8ToCp932("亜"),
                                               platform::Utf8ToCp932("品"),
                                               platform::Utf8ToCp932("Ⅲ"),
                                               platform::Utf8ToCp932("①"),
                                               platform::Utf8ToCp932("・"),
                                               platform::Utf8ToCp932("～"),
                                               std::string(1, '\x80')};
    std::mt19937 random(seed);
    std::uniform_int_distribution<size_t> length(0, 6), pick(0, alphabet.size() - 1);
    std::vector<std::string> texts;
    for (size_t i = 0; i < count; ++i) {
        std::string text;
        for (size_t n = length(random); n > 0; --n) text += alphabet[pick(random)];
        texts.push_back(text);
    }
    return texts;
}

TEST(Collation, SortKeysAgreeWithCompare) {
    for (uint32_t lcid : {kJapanese, kEnglishUS}) {
        platform::Collation c(lcid);
        for (bool ic : {false, true}) {
            SCOPED_TRACE(c.localeName() + (ic ? " ignoring case" : ""));
            std::vector<std::string> texts = RandomTexts(600, 7 + lcid);
            std::mt19937 random(lcid);
            std::uniform_int_distribution<size_t> pick(0, texts.size() - 1);
            for (int i = 0; i < 4000; ++i) {
                const std::string& x = texts[pick(random)];
                const std::string& y = texts[pick(random)];
                int r = Cmp(c, x, y, ic);
                ASSERT_EQ(r, KeyCmp(c, x, y, ic))
                    << platform::Cp932ToUtf8(x) << " | " << platform::Cp932ToUtf8(y);
                ASSERT_EQ(-r, Cmp(c, y, x, ic));
            }
            // Sorting by sort keys gives an order Compare agrees with (transitivity).
            std::vector<std::pair<std::string, std::string>> keyed;
            for (const auto& t : texts)
                keyed.emplace_back(c.SortKey(t.data(), static_cast<ptrdiff_t>(t.size()), ic), t);
            std::sort(keyed.begin(), keyed.end());
            for (size_t i = 0; i + 1 < keyed.size(); ++i)
                ASSERT_LE(Cmp(c, keyed[i].second, keyed[i + 1].second, ic), 0);
            // Case-sensitively, only identical texts compare equal (the order is total).
            if (ic) continue;
            for (size_t i = 0; i + 1 < keyed.size(); ++i) {
                if (Cmp(c, keyed[i].second, keyed[i + 1].second) != 0) continue;
                ASSERT_EQ(platform::Cp932ToUtf16(keyed[i].second),
                          platform::Cp932ToUtf16(keyed[i + 1].second));
            }
        }
    }
}

// The primary weights that bulk sorts use: wherever two texts' weight
// sequences differ, Compare must order the texts as the sequences do (the
// shorter first when one starts the other), in every locale that offers
// them, including those with contractions (Czech "ch", Danish "aa") and
// with case folding. Texts mix characters that stand alone with ones whose
// weights depend on their neighbours.
TEST(Collation, PrimaryWeightsOrderAsCompare) {
    EXPECT_TRUE(platform::PrimaryWeights(platform::Collation(kEnglishUS)).usable());
    const std::vector<std::string> alphabet = {"a",
                                               "A",
                                               "c",
                                               "C",
                                               "h",
                                               "H",
                                               "l",
                                               "L",
                                               "4",
                                               "0",
                                               " ",
                                               "'",
                                               "-",
                                               "s",
                                               "z",
                                               "i",
                                               "I",
                                               platform::Utf8ToCp932("ダ"),
                                               platform::Utf8ToCp932("タ"),
                                               platform::Utf8ToCp932("ー"),
                                               platform::Utf8ToCp932("ゝ"),
                                               platform::Utf8ToCp932("ヽ"),
                                               platform::Utf8ToCp932("々"),
                                               platform::Utf8ToCp932("ｶ"),
                                               platform::Utf8ToCp932("ﾞ"),
                                               platform::Utf8ToCp932("ﾟ"),
                                               platform::Utf8ToCp932("゛"),
                                               platform::Utf8ToCp932("が"),
                                               platform::Utf8ToCp932("か"),
                                               platform::Utf8ToCp932("Ａ"),
                                               platform::Utf8ToCp932("α"),
                                               platform::Utf8ToCp932("Я"),
                                               platform::Utf8ToCp932("亜"),
                                               platform::Utf8ToCp932("表"),
                                               platform::Utf8ToCp932("・"),
                                               platform::Utf8ToCp932("①"),
                                               platform::Utf8ToCp932("Ⅲ"),
                                               platform::Utf8ToCp932("～"),
                                               std::string(1, '\x80')};
    for (uint32_t lcid : {kEnglishUS, kJapanese, 0x0405u, 0x0406u, 0x0407u, 0x041Fu, 0x040Au}) {
        platform::Collation c(lcid);
        platform::PrimaryWeights weights(c);
        if (!weights.usable()) continue;
        std::mt19937 random(lcid);
        std::vector<std::string> texts;
        for (int i = 0; i < 800; ++i) {
            std::string text;
            for (size_t n = random() % 7; n > 0; --n) text += alphabet[random() % alphabet.size()];
            texts.push_back(text);
        }
        for (bool ic : {false, true}) {
            SCOPED_TRACE(c.localeName() + (ic ? " ignoring case" : ""));
            std::vector<std::vector<uint32_t>> sequences;
            for (const std::string& t : texts) {
                std::vector<uint32_t> w(2);
                size_t n = weights.Weights(t.data(), t.size(), ic, w.data(), w.size());
                if (n > w.size()) {
                    w.resize(n);
                    n = weights.Weights(t.data(), t.size(), ic, w.data(), w.size());
                }
                w.resize(n);
                sequences.push_back(w);
            }
            for (int i = 0; i < 20000; ++i) {
                const size_t x = random() % texts.size();
                const size_t y = random() % texts.size();
                if (sequences[x] == sequences[y]) continue;
                const int expected = sequences[x] < sequences[y] ? -1 : 1;
                ASSERT_EQ(Cmp(c, texts[x], texts[y], ic), expected)
                    << platform::Cp932ToUtf8(texts[x]) << " | " << platform::Cp932ToUtf8(texts[y]);
            }
        }
    }
}

// SortKeyInto writes SortKey's bytes without allocating, and reports the
// full length when the room given is short.
TEST(Collation, SortKeyIntoMatchesSortKey) {
    platform::Collation c(kJapanese);
    for (const std::string& t : RandomTexts(200, 5)) {
        for (bool ic : {false, true}) {
            const std::string key = c.SortKey(t.data(), static_cast<ptrdiff_t>(t.size()), ic);
            uint8_t out[600];
            ASSERT_EQ(c.SortKeyInto(t.data(), t.size(), ic, out, sizeof out), key.size());
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(out), key.size()), key);
            uint8_t shortOut[4] = {};
            ASSERT_EQ(c.SortKeyInto(t.data(), t.size(), ic, shortOut, sizeof shortOut), key.size());
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(shortOut),
                                  std::min(key.size(), sizeof shortOut)),
                      key.substr(0, sizeof shortOut));
        }
    }
}

}  // namespace
