// Reading LZH archives held in memory: hand-made members with headers of
// level 0, 1 and 2, code page 932 names, damaged headers and data, archives
// behind a self-extracting program, and the level-2 headers this library
// writes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archiver_test_support.h"
#include "common/entry_names.h"
#include "lzh/lzh_archive.h"
#include "lzh/lzh_encoder.h"
#include "lzh/lzh_header.h"
#include "lzh/lzh_writer.h"
#include "platform/codepage.h"

namespace {

using namespace archiver_test;

struct Loaded {
    std::string bytes;
    lzh::ArchiveIndex index;
    uint64_t start = 0;
};

Loaded Load(const std::string& bytes) {
    Loaded loaded;
    loaded.bytes = bytes;
    lzh::MemorySource source(reinterpret_cast<const uint8_t*>(loaded.bytes.data()),
                             loaded.bytes.size());
    loaded.start = lzh::FindArchiveStart(source);
    if (loaded.start != lzh::kNoArchive) loaded.index = lzh::ReadIndex(source, loaded.start);
    return loaded;
}

lzh::MemberStatus ExtractText(const Loaded& archive, size_t member, std::string* out) {
    lzh::MemorySource source(reinterpret_cast<const uint8_t*>(archive.bytes.data()),
                             archive.bytes.size());
    out->clear();
    return lzh::ExtractMember(source, archive.index.members.at(member),
                              [&](const uint8_t* data, size_t size) {
                                  out->append(reinterpret_cast<const char*>(data), size);
                                  return true;
                              });
}

std::string Packed(const std::string& data) {
    std::vector<uint8_t> p =
        lzh::Encode(lzh::kLh5, reinterpret_cast<const uint8_t*>(data.data()), data.size());
    return std::string(p.begin(), p.end());
}

TEST(HeaderLevels, HandMadeMembersOfEveryLevelAreRead) {
    const std::string data0 = "stored under a level-0 header";
    const std::string data1 = SampleText(5000, 11);
    const std::string data2 = "level two";
    // "表" is 95 5C in code page 932: its second byte is the byte of "\".
    const std::string kanji = platform::Utf8ToCp932("表示データ.cds");
    const std::string archive =
        Level0Member("LEVEL0.TXT", data0, data0) +
        Level1Member("one.txt", "sub\xFFinner\xFF", data1, Packed(data1), "-lh5-") +
        Level2Member(kanji, "", data2, data2) + std::string(1, '\0');
    const Loaded loaded = Load(archive);
    ASSERT_EQ(loaded.start, 0u);
    ASSERT_TRUE(loaded.index.complete);
    ASSERT_EQ(loaded.index.members.size(), 3u);

    const auto& m0 = loaded.index.members[0];
    EXPECT_EQ(m0.level, 0);
    EXPECT_EQ(m0.name, "LEVEL0.TXT");
    EXPECT_EQ(m0.method, "-lh0-");
    EXPECT_GT(m0.modifiedTime, 0);
    const auto& m1 = loaded.index.members[1];
    EXPECT_EQ(m1.level, 1);
    EXPECT_EQ(m1.name, "sub\\inner\\one.txt");
    EXPECT_EQ(m1.compressedSize, Packed(data1).size());  // the folder header is not data
    EXPECT_EQ(archivers::BareEntryName(m1.name, archivers::NameCoding::kCp932), "one.txt");
    const auto& m2 = loaded.index.members[2];
    EXPECT_EQ(m2.level, 2);
    EXPECT_EQ(m2.modifiedTime, 1700000000);
    EXPECT_EQ(archivers::BareEntryName(m2.name, archivers::NameCoding::kCp932), "表示データ.cds");

    std::string out;
    ASSERT_EQ(ExtractText(loaded, 0, &out), lzh::MemberStatus::kOk);
    EXPECT_EQ(out, data0);
    ASSERT_EQ(ExtractText(loaded, 1, &out), lzh::MemberStatus::kOk);
    EXPECT_EQ(out, data1);
    ASSERT_EQ(ExtractText(loaded, 2, &out), lzh::MemberStatus::kOk);
    EXPECT_EQ(out, data2);
}

TEST(HeaderLevels, DamagedHeadersEndTheListAndDamagedDataFailsItsCheck) {
    const std::string good = Level0Member("a.txt", "aaaa", "aaaa");
    // Level-0 checksum byte off by one.
    std::string badSum = Level0Member("b.txt", "bbbb", "bbbb");
    badSum[1] = static_cast<char>(badSum[1] + 1);
    Loaded loaded = Load(good + badSum + std::string(1, '\0'));
    EXPECT_FALSE(loaded.index.complete);
    EXPECT_EQ(loaded.index.members.size(), 1u);

    // Level-2 header CRC that does not match the header.
    loaded = Load(good + Level2Member("c.txt", "", "cc", "cc", "-lh0-", true, true));
    EXPECT_FALSE(loaded.index.complete);
    EXPECT_EQ(loaded.index.members.size(), 1u);

    // An extended header claiming more bytes than the header holds.
    std::string overlong = Level2Member("d.txt", "", "dd", "dd", "-lh0-", false);
    overlong[24] = static_cast<char>(0xF0);
    loaded = Load(good + overlong);
    EXPECT_FALSE(loaded.index.complete);
    EXPECT_EQ(loaded.index.members.size(), 1u);
    // With no readable header at all, the file is no archive.
    EXPECT_EQ(Load(overlong).start, lzh::kNoArchive);

    // Stored data changed after the CRC was taken.
    std::string changed = Level0Member("e.txt", "eeee", "eeeX");
    loaded = Load(changed);
    std::string out;
    EXPECT_EQ(ExtractText(loaded, 0, &out), lzh::MemberStatus::kChecksumMismatch);

    // Data cut short: the member is listed, the list is incomplete, and its
    // extraction fails.
    const std::string text = SampleText(20000, 12);
    std::string cut = Level2Member("f.txt", "", text, Packed(text), "-lh5-");
    cut.resize(cut.size() - 100);
    loaded = Load(cut);
    EXPECT_FALSE(loaded.index.complete);
    ASSERT_EQ(loaded.index.members.size(), 1u);
    EXPECT_EQ(ExtractText(loaded, 0, &out), lzh::MemberStatus::kBroken);

    // A method that is not handled.
    loaded = Load(Level0Member("g.txt", "gggg", "gggg", "-lh1-"));
    EXPECT_EQ(ExtractText(loaded, 0, &out), lzh::MemberStatus::kUnsupported);

    // Not an archive at all.
    EXPECT_EQ(Load("plain text, no archive here").start, lzh::kNoArchive);
}

TEST(HeaderLevels, ArchiveBehindAProgramIsFound) {
    const std::string stub = "MZ" + RandomBytes(3000, 13);
    const Loaded loaded = Load(stub + Level0Member("x.txt", "xx", "xx") + std::string(1, '\0'));
    EXPECT_EQ(loaded.start, stub.size());
    ASSERT_EQ(loaded.index.members.size(), 1u);
    EXPECT_EQ(loaded.index.members[0].name, "x.txt");
}

TEST(WrittenHeaders, ReadBackWithEveryField) {
    const std::string name = platform::Utf8ToCp932("工事_表.cds");
    const std::string contents = SampleText(10000, 14);
    const std::vector<uint8_t> member = lzh::BuildMember(name, contents, 1234567890);
    ASSERT_FALSE(member.empty());
    const Loaded loaded = Load(std::string(member.begin(), member.end()) + std::string(1, '\0'));
    ASSERT_TRUE(loaded.index.complete);
    ASSERT_EQ(loaded.index.members.size(), 1u);
    const auto& m = loaded.index.members[0];
    EXPECT_EQ(m.level, 2);
    EXPECT_EQ(m.method, "-lh5-");
    EXPECT_EQ(m.name, name);
    EXPECT_EQ(m.originalSize, contents.size());
    EXPECT_EQ(m.modifiedTime, 1234567890);
    EXPECT_EQ(m.crc, Crc(contents));
    std::string out;
    ASSERT_EQ(ExtractText(loaded, 0, &out), lzh::MemberStatus::kOk);
    EXPECT_EQ(out, contents);

    // Incompressible and empty contents are stored as they are.
    const std::string noise = RandomBytes(3000, 15);
    const std::vector<uint8_t> stored = lzh::BuildMember("n.bin", noise, 1);
    const std::vector<uint8_t> empty = lzh::BuildMember("e.txt", "", 1);
    const Loaded both = Load(std::string(stored.begin(), stored.end()) +
                             std::string(empty.begin(), empty.end()) + std::string(1, '\0'));
    ASSERT_EQ(both.index.members.size(), 2u);
    EXPECT_EQ(both.index.members[0].method, "-lh0-");
    EXPECT_EQ(both.index.members[1].method, "-lh0-");
    EXPECT_EQ(both.index.members[1].originalSize, 0u);
    ASSERT_EQ(ExtractText(both, 0, &out), lzh::MemberStatus::kOk);
    EXPECT_EQ(out, noise);
}

TEST(WrittenHeaders, HeaderSizeNeverStartsWithTheEndMarker) {
    // Base 26 + CRC 5 + attribute 5 + name 3 + n: n = 217 makes 256.
    const std::string name(217, 'n');
    const std::vector<uint8_t> member = lzh::BuildMember(name, "data", 1);
    ASSERT_FALSE(member.empty());
    EXPECT_NE(member[0], 0);
    const Loaded loaded = Load(std::string(member.begin(), member.end()) + std::string(1, '\0'));
    ASSERT_TRUE(loaded.index.complete);
    ASSERT_EQ(loaded.index.members.size(), 1u);
    EXPECT_EQ(loaded.index.members[0].name, name);

    // A name too long for a 16-bit header size is refused, not cut.
    EXPECT_TRUE(lzh::BuildMember(std::string(70000, 'n'), "data", 1).empty());
}

}  // namespace
