// The -lh5- family codec: Huffman code construction, compression round trips
// for every method, hand-assembled streams that the decoder must read as the
// format defines them, and damaged streams that must fail cleanly.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "archiver_test_support.h"
#include "lzh/bit_stream.h"
#include "lzh/huffman.h"
#include "lzh/lzh_decoder.h"
#include "lzh/lzh_encoder.h"

namespace {

using namespace archiver_test;
using lzh::DecodeStatus;
using lzh::MethodParams;

std::vector<uint8_t> Encode(const MethodParams& method, const std::string& data) {
    return lzh::Encode(method, reinterpret_cast<const uint8_t*>(data.data()), data.size());
}

DecodeStatus Decode(const MethodParams& method, const std::vector<uint8_t>& packed,
                    uint64_t originalSize, std::string* out) {
    out->clear();
    return lzh::Decode(method, packed.data(), packed.size(), originalSize,
                       [&](const uint8_t* data, size_t size) {
                           out->append(reinterpret_cast<const char*>(data), size);
                           return true;
                       });
}

// Bits written as text ("0110 01"), spaces ignored, packed most significant first.
std::vector<uint8_t> Bits(const std::string& text) {
    lzh::BitWriter writer;
    for (char c : text)
        if (c == '0' || c == '1') writer.Put(1, c == '1' ? 1 : 0);
    writer.Flush();
    return writer.Bytes();
}

std::string Binary(uint32_t value, int width) {
    std::string bits;
    for (int i = width - 1; i >= 0; --i) bits += ((value >> i) & 1) ? '1' : '0';
    return bits;
}

TEST(HuffmanCodes, LengthsStayWithinSixteenBitsAndFillTheCodeSpace) {
    // Fibonacci frequencies give an unlimited Huffman tree far deeper than 16.
    std::vector<uint32_t> freq;
    uint32_t a = 1, b = 1;
    for (int i = 0; i < 30; ++i) {
        freq.push_back(a);
        uint32_t next = a + b;
        a = b;
        b = next;
    }
    freq.push_back(0);  // an unused symbol gets no code
    const std::vector<uint8_t> lengths = lzh::BuildCodeLengths(freq, 16);
    uint64_t space = 0;
    for (size_t i = 0; i < freq.size(); ++i) {
        if (freq[i] == 0) {
            EXPECT_EQ(lengths[i], 0);
            continue;
        }
        ASSERT_GE(lengths[i], 1);
        ASSERT_LE(lengths[i], 16);
        space += uint64_t{1} << (16 - lengths[i]);
    }
    EXPECT_EQ(space, uint64_t{1} << 16);
    // A more frequent symbol never gets a longer code.
    for (size_t i = 0; i + 1 < 30; ++i) EXPECT_GE(lengths[i], lengths[i + 1]);
}

TEST(HuffmanCodes, CanonicalCodesDecodeBackAndBadTablesAreRefused) {
    std::vector<uint32_t> freq = {50, 0, 3, 3, 9, 1, 1, 20, 0, 7};
    const std::vector<uint8_t> lengths = lzh::BuildCodeLengths(freq, 16);
    const std::vector<uint16_t> codes = lzh::CanonicalCodes(lengths);
    const std::vector<int> message = {0, 7, 9, 5, 6, 4, 2, 3, 0, 0, 9};
    lzh::BitWriter writer;
    for (int s : message) writer.Put(lengths[s], codes[s]);
    writer.Flush();
    lzh::HuffmanDecoder decoder;
    ASSERT_TRUE(decoder.Build(lengths.data(), static_cast<int>(lengths.size())));
    lzh::BitReader reader(writer.Bytes().data(), writer.Bytes().size());
    for (int s : message) EXPECT_EQ(decoder.Decode(reader), s);

    const uint8_t oversubscribed[] = {1, 1, 1};
    EXPECT_FALSE(decoder.Build(oversubscribed, 3));
    const uint8_t tooLong[] = {1, 17};
    EXPECT_FALSE(decoder.Build(tooLong, 2));
    // An incomplete code is accepted, but its unassigned pattern reads as no symbol.
    const uint8_t incomplete[] = {1, 0, 2};
    ASSERT_TRUE(decoder.Build(incomplete, 3));
    const uint8_t ones[] = {0xFF, 0xFF};
    lzh::BitReader onesReader(ones, 2);
    EXPECT_EQ(decoder.Decode(onesReader), -1);
}

class MethodRoundTrip : public ::testing::TestWithParam<const MethodParams*> {};

TEST_P(MethodRoundTrip, EveryKindOfInputComesBackUnchanged) {
    const MethodParams& method = *GetParam();
    const size_t dictionary = size_t{1} << method.dictionaryBits;
    std::string nearWindow = RandomBytes(dictionary - 1, 3);
    nearWindow += nearWindow.substr(0, 600);  // repeat at distance dictionary - 1
    std::string beyondWindow = RandomBytes(dictionary + 1, 4);
    beyondWindow += beyondWindow.substr(0, 600);  // too far back to be matched
    const std::map<std::string, std::string> inputs = {
        {"empty", ""},
        {"one byte", "x"},
        {"three bytes", "abc"},
        {"short repeat", "abcabcabcabcabcab"},
        {"text", SampleText(300000, 1)},
        {"zeros", std::string(1 << 20, '\0')},
        {"long runs", std::string(70000, 'a') + std::string(5000, 'b') + std::string(70000, 'a')},
        {"random", RandomBytes(100000, 2)},
        {"near window", nearWindow},
        {"beyond window", beyondWindow},
        {"all byte values",
         [] {
             std::string s;
             for (int r = 0; r < 40; ++r)
                 for (int c = 0; c < 256; ++c) s += static_cast<char>((c * 7 + r) & 0xFF);
             return s;
         }()},
    };
    for (const auto& [name, data] : inputs) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> packed = Encode(method, data);
        std::string back;
        ASSERT_EQ(Decode(method, packed, data.size(), &back), DecodeStatus::kOk);
        EXPECT_TRUE(back == data);
    }
}

TEST_P(MethodRoundTrip, RepetitiveInputShrinksAndMatchesUseTheWholeDictionary) {
    const MethodParams& method = *GetParam();
    EXPECT_LT(Encode(method, std::string(1 << 20, 'z')).size(), 3000u);
    EXPECT_LT(Encode(method, SampleText(200000, 5)).size(), 200000u * 45 / 100);
    // A block of random bytes seen again just inside the dictionary costs
    // little the second time.
    const size_t span = (size_t{1} << method.dictionaryBits) - 600;
    const std::string block = RandomBytes(span, 6);
    const size_t once = Encode(method, block).size();
    EXPECT_LT(Encode(method, block + block).size(), once + once / 20);
}

INSTANTIATE_TEST_SUITE_P(Methods, MethodRoundTrip,
                         ::testing::Values(&lzh::kLh5, &lzh::kLh6, &lzh::kLh7),
                         [](const auto& info) { return std::string(info.param->id).substr(1, 3); });

TEST(HandMadeStreams, DecodeAsTheFormatDefines) {
    std::string out;
    // Single-code tables: character 'A' three times, no bits per symbol.
    const std::string singleA = Binary(3, 16) + Binary(0, 5) + Binary(0, 5) + Binary(0, 9) +
                                Binary('A', 9) + Binary(0, 4) + Binary(0, 4);
    ASSERT_EQ(Decode(lzh::kLh5, Bits(singleA), 3, &out), DecodeStatus::kOk);
    EXPECT_EQ(out, "AAA");

    // A five-byte match at distance 1 before any output reads the dictionary,
    // which starts filled with spaces.
    const std::string spaces = Binary(1, 16) + Binary(0, 5) + Binary(0, 5) + Binary(0, 9) +
                               Binary(256 + 5 - 3, 9) + Binary(0, 4) + Binary(0, 4);
    ASSERT_EQ(Decode(lzh::kLh5, Bits(spaces), 5, &out), DecodeStatus::kOk);
    EXPECT_EQ(out, "     ");

    // Real tables: the length table gives symbols 2 and 3 one bit each; the
    // character table is 97 zero lengths (symbol 2 + 9 bits of 97 - 20), then
    // 'a' and 'b' with one bit each; "abba" is then 0 1 1 0.
    const std::string abba = Binary(4, 16) +                                        // block size
                             Binary(4, 5) + "000" + "000" + "001" + "00" + "001" +  // lengths
                             Binary(99, 9) + "0" + Binary(77, 9) + "1" + "1" +      // characters
                             Binary(0, 4) + Binary(0, 4) +                          // distances
                             "0110";
    ASSERT_EQ(Decode(lzh::kLh5, Bits(abba), 4, &out), DecodeStatus::kOk);
    EXPECT_EQ(out, "abba");

    // A second block follows the first when its count is used up.
    const std::string twoBlocks = singleA + Binary(2, 16) + Binary(0, 5) + Binary(0, 5) +
                                  Binary(0, 9) + Binary('B', 9) + Binary(0, 4) + Binary(0, 4);
    ASSERT_EQ(Decode(lzh::kLh5, Bits(twoBlocks), 5, &out), DecodeStatus::kOk);
    EXPECT_EQ(out, "AAABB");
}

TEST(DamagedStreams, FailCleanly) {
    std::string out;
    const std::string text = SampleText(50000, 9);
    std::vector<uint8_t> packed = Encode(lzh::kLh5, text);
    std::vector<uint8_t> cut(packed.begin(), packed.begin() + static_cast<long>(packed.size() / 2));
    EXPECT_NE(Decode(lzh::kLh5, cut, text.size(), &out), DecodeStatus::kOk);
    EXPECT_LT(out.size(), text.size());

    // A table count beyond the table's symbols.
    const std::string tooMany = Binary(1, 16) + Binary(20, 5);
    EXPECT_EQ(Decode(lzh::kLh5, Bits(tooMany), 1, &out), DecodeStatus::kCorrupt);
    // A single-code character beyond the last character code.
    const std::string badSingle =
        Binary(1, 16) + Binary(0, 5) + Binary(0, 5) + Binary(0, 9) + Binary(511, 9);
    EXPECT_EQ(Decode(lzh::kLh5, Bits(badSingle), 1, &out), DecodeStatus::kCorrupt);
    // A zero run that would run past the character table.
    const std::string longRun =
        Binary(1, 16) + Binary(0, 5) + Binary(2, 5) + Binary(510, 9) + Binary(511, 9);
    EXPECT_EQ(Decode(lzh::kLh5, Bits(longRun), 1, &out), DecodeStatus::kCorrupt);

    // Random input never produces more than asked for, whatever it decodes to.
    for (unsigned seed = 0; seed < 3000; ++seed) {
        const std::string noise = RandomBytes(1 + seed % 300, seed);
        std::vector<uint8_t> bytes(noise.begin(), noise.end());
        for (const MethodParams* method : {&lzh::kLh5, &lzh::kLh7}) {
            Decode(*method, bytes, 4096, &out);
            ASSERT_LE(out.size(), 4096u);
        }
    }

    // A sink that refuses output stops the decoder.
    const std::vector<uint8_t> big = Encode(lzh::kLh5, std::string(300000, 'q'));
    EXPECT_EQ(lzh::Decode(lzh::kLh5, big.data(), big.size(), 300000,
                          [](const uint8_t*, size_t) { return false; }),
              DecodeStatus::kSinkFailed);
}

}  // namespace
