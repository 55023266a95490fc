// Archives this library writes, read by independent LZH readers (lhasa's
// "lha" and libarchive's "bsdtar"), including members of the -lh6- and -lh7-
// methods and a code page 932 name; and the same archives read back by this
// library.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "archiver_test_support.h"
#include "lzh/lzh_writer.h"
#include "platform/codepage.h"

namespace {

using namespace archiver_test;

class LzhInterop : public TempDir {
  protected:
    void SetUp() override {
        TempDir::SetUp();
        ASSERT_TRUE(HaveTool("lha")) << "the lhasa package (command lha) is needed";
        ASSERT_TRUE(HaveTool("bsdtar")) << "the libarchive-tools package (bsdtar) is needed";
        ASSERT_NE(lha_.module, nullptr);
    }
    std::string Quote(const std::string& path) { return "'" + path + "'"; }

    Library lha_{"UNLHA32.DLL"};
};

TEST_F(LzhInterop, OurArchivesExtractWithOtherReaders) {
    const std::map<std::string, std::string> files = {
        {"EV_TBL_MAIN.cds", SampleText(5000, 31)}, {"empty.cds", ""},
        {"large.txt", SampleText(1500000, 32)},    {"noise.bin", RandomBytes(100000, 33)},
        {"zeros.bin", std::string(2000000, '\0')},
    };
    const std::string work = Dir("work");
    for (const auto& [name, bytes] : files) WriteBytes(work + name, bytes);
    const std::string archive = Path("ours.lzh");
    ASSERT_EQ(lha_.Command("Unlha", "u -+ -n1 -x0  \"" + archive + "\" \"" + work + "*.*\" "), 0);

    EXPECT_EQ(RunQuietly("lha t " + Quote(archive)), 0) << "lhasa's own test of every member";
    const std::string byLhasa = Dir("lhasa");
    ASSERT_EQ(RunQuietly("cd " + Quote(byLhasa) + " && lha x " + Quote(archive)), 0);
    const std::string byBsdtar = Dir("bsdtar");
    ASSERT_EQ(RunQuietly("bsdtar -xf " + Quote(archive) + " -C " + Quote(byBsdtar)), 0);
    for (const auto& [name, bytes] : files) {
        EXPECT_TRUE(ReadBytes(byLhasa + name) == bytes) << "lhasa: " << name;
        EXPECT_TRUE(ReadBytes(byBsdtar + name) == bytes) << "bsdtar: " << name;
    }
}

TEST_F(LzhInterop, CodePage932NamesAreStoredAsSuch) {
    const std::string name = "提出データ_表.cds";  // 表 ends in the byte of "\"
    const std::string work = Dir("work");
    WriteBytes(work + name, "contents");
    const std::string archive = Path("names.lzh");
    ASSERT_EQ(lha_.Command("Unlha", "u \"" + archive + "\" \"" + work + "*.*\""), 0);

    // lhasa writes the stored bytes as the file name: they must be the name in code page 932.
    const std::string byLhasa = Dir("lhasa");
    ASSERT_EQ(RunQuietly("cd " + Quote(byLhasa) + " && lha x " + Quote(archive)), 0);
    EXPECT_EQ(NamesIn(byLhasa), std::vector<std::string>{platform::Utf8ToCp932(name)});
    // bsdtar converts from code page 932 when told the names are in it.
    const std::string byBsdtar = Dir("bsdtar");
    ASSERT_EQ(RunQuietly("LC_ALL=C.UTF-8 bsdtar --options hdrcharset=CP932 -xf " + Quote(archive) +
                         " -C " + Quote(byBsdtar)),
              0);
    EXPECT_EQ(NamesIn(byBsdtar), std::vector<std::string>{name});
    EXPECT_EQ(ReadBytes(byBsdtar + name), "contents");
}

TEST_F(LzhInterop, LargerDictionaryMethodsMatchTheFormat) {
    // A text whose repeats lie beyond the -lh5- dictionary but inside the others'.
    const std::string block = SampleText(10000, 34) + RandomBytes(10000, 35);
    const std::string data = block + block + block;
    std::vector<std::vector<uint8_t>> members = {
        lzh::BuildMember("lh5.txt", data, 1700000000, lzh::kLh5),
        lzh::BuildMember("lh6.txt", data, 1700000000, lzh::kLh6),
        lzh::BuildMember("lh7.txt", data, 1700000000, lzh::kLh7),
    };
    EXPECT_LT(members[1].size(), members[0].size() * 3 / 4);
    const std::vector<uint8_t> bytes = lzh::FinishArchive(members);
    const std::string archive = Path("methods.lzh");
    WriteBytes(archive, std::string(bytes.begin(), bytes.end()));

    const std::string byLhasa = Dir("lhasa");
    ASSERT_EQ(RunQuietly("cd " + Quote(byLhasa) + " && lha x " + Quote(archive)), 0);
    const std::string byBsdtar = Dir("bsdtar");
    ASSERT_EQ(RunQuietly("bsdtar -xf " + Quote(archive) + " -C " + Quote(byBsdtar)), 0);
    const std::string byUs = Dir("ours");
    ASSERT_EQ(lha_.Command("Unlha", "x \"" + archive + "\" \"" + byUs + "\""), 0);
    for (const char* name : {"lh5.txt", "lh6.txt", "lh7.txt"}) {
        EXPECT_TRUE(ReadBytes(byLhasa + name) == data) << "lhasa: " << name;
        EXPECT_TRUE(ReadBytes(byBsdtar + name) == data) << "bsdtar: " << name;
        EXPECT_TRUE(ReadBytes(byUs + name) == data) << "ours: " << name;
    }
}

}  // namespace
