// The LZH library through its entry points, as the program drives it: the
// pack and extract command lines, updating and deleting members, damaged
// archives that must leave no member behind looking complete, stored names
// that try to leave the target directory, and the archive-handle entries.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "archiver_test_support.h"
#include "common/result_codes.h"
#include "lzh/lzh_writer.h"
#include "platform/codepage.h"

namespace {

using namespace archiver_test;

class LzhLibrary : public TempDir {
  protected:
    void SetUp() override {
        TempDir::SetUp();
        ASSERT_NE(lha_.module, nullptr) << platform::LastLibraryError();
    }
    int Pack(const std::string& archive, const std::string& workDir) {
        return lha_.Command("Unlha", "u -+ -n1 -x0  \"" + archive + "\" \"" + workDir + "*.*\" ");
    }
    int Extract(const std::string& archive, const std::string& directory) {
        return lha_.Command("Unlha", "x -+ -n1 -x1  \"" + archive + "\" \"" + directory + "\" ");
    }
    // Writes the files into a fresh directory; its path.
    std::string Files(const std::string& name, const std::map<std::string, std::string>& files) {
        const std::string dir = Dir(name);
        for (const auto& [file, bytes] : files) WriteBytes(dir + file, bytes);
        return dir;
    }

    Library lha_{"UNLHA32.DLL"};
};

TEST_F(LzhLibrary, PackedFilesComeBackByteForByte) {
    const std::map<std::string, std::string> files = {
        {"EV_TBL_MAIN.cds", SampleText(4000, 21)},
        {"empty.txt", ""},
        {"small.txt", "hello"},
        {"large.bin", SampleText(2000000, 22) + RandomBytes(300000, 23)},
        {"repetitive.dat", std::string(3000000, 'r')},
        {"表示データ_Ⅰ①.cds", "code page 932 name"},
    };
    const std::string work = Files("work", files);
    const std::string archive = Path("out.lzh");
    ASSERT_EQ(Pack(archive, work), 0);
    EXPECT_LT(fs::file_size(archive), 2000000u);

    const std::string out = Dir("extracted");
    ASSERT_EQ(Extract(archive, out), 0);
    std::vector<std::string> expected;
    for (const auto& [name, bytes] : files) {
        expected.push_back(name);
        EXPECT_TRUE(ReadBytes(out + name) == bytes) << name;
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(NamesIn(out), expected);

    // The target directory is made when missing.
    const std::string fresh = Path("new/deeper") + "/";
    ASSERT_EQ(Extract(archive, fresh), 0);
    EXPECT_EQ(NamesIn(fresh), expected);
}

TEST_F(LzhLibrary, PackingIntoAFreshArchiveHoldsExactlyTheListedFiles) {
    const std::string work = Files("work", {{"a.cds", "A"}, {"b.cds", "B"}, {"c.jpg", "C"}});
    fs::create_directories(work + "folder");  // folders are not entered
    WriteBytes(work + "folder/inner.txt", "not packed");
    const std::string archive = Path("exact.lzh");
    ASSERT_EQ(lha_.Command("Unlha", "u \"" + archive + "\" \"" + work + "*.cds\""), 0);
    const std::string out = Dir("out");
    ASSERT_EQ(Extract(archive, out), 0);
    EXPECT_EQ(NamesIn(out), (std::vector<std::string>{"a.cds", "b.cds"}));

    // Packing the same directory twice gives the same bytes.
    const std::string again = Path("again.lzh");
    ASSERT_EQ(Pack(again, work), 0);
    const std::string third = Path("third.lzh");
    ASSERT_EQ(Pack(third, work), 0);
    EXPECT_TRUE(ReadBytes(again) == ReadBytes(third));

    // An empty file at the archive path (a temporary name made ready by the
    // caller) is packed into; any other file that is no archive is left alone.
    WriteBytes(Path("ready.lzh"), "");
    ASSERT_EQ(Pack(Path("ready.lzh"), work), 0);
    EXPECT_TRUE(ReadBytes(Path("ready.lzh")) == ReadBytes(again));
    WriteBytes(Path("text.lzh"), "some text");
    EXPECT_EQ(Pack(Path("text.lzh"), work), archivers::kResultBrokenArchive);
    EXPECT_EQ(ReadBytes(Path("text.lzh")), "some text");

    // A named file that does not exist fails and writes no archive.
    const std::string none = Path("none.lzh");
    EXPECT_NE(lha_.Command("Unlha", "u \"" + none + "\" \"" + work + "missing.cds\""), 0);
    EXPECT_FALSE(fs::exists(none));
    // So does an empty directory.
    EXPECT_EQ(Pack(none, Dir("empty")), archivers::kResultNoFiles);
    EXPECT_FALSE(fs::exists(none));
}

TEST_F(LzhLibrary, UpdateAddAndDeleteKeepTheOtherMembers) {
    const std::string work = Files("work", {{"keep.txt", "keep"}, {"change.txt", "old"}});
    const std::string archive = Path("update.lzh");
    ASSERT_EQ(Pack(archive, work), 0);

    // "u" replaces a member only by a newer file; "a" always.
    WriteBytes(work + "change.txt", "new contents");
    fs::last_write_time(work + "change.txt",
                        fs::last_write_time(work + "change.txt") - std::chrono::hours(24));
    const std::string one = Files("one", {{"added.txt", "added"}});
    ASSERT_EQ(lha_.Command("Unlha", "u \"" + archive + "\" \"" + work + "change.txt\" \"" + one +
                                        "added.txt\""),
              0);
    std::string out = Dir("out1");
    ASSERT_EQ(Extract(archive, out), 0);
    EXPECT_EQ(ReadBytes(out + "change.txt"), "old");
    EXPECT_EQ(ReadBytes(out + "added.txt"), "added");
    EXPECT_EQ(ReadBytes(out + "keep.txt"), "keep");

    ASSERT_EQ(lha_.Command("Unlha", "a \"" + archive + "\" \"" + work + "change.txt\""), 0);
    out = Dir("out2");
    ASSERT_EQ(Extract(archive, out), 0);
    EXPECT_EQ(ReadBytes(out + "change.txt"), "new contents");

    ASSERT_EQ(lha_.Command("Unlha", "d \"" + archive + "\" \"KEEP.*\""), 0);
    out = Dir("out3");
    ASSERT_EQ(Extract(archive, out), 0);
    EXPECT_EQ(NamesIn(out), (std::vector<std::string>{"added.txt", "change.txt"}));

    // Deleting every member leaves an archive of none, which still reads.
    const std::string copy = Path("copy.lzh");
    fs::copy_file(archive, copy);
    ASSERT_EQ(lha_.Command("Unlha", "d \"" + copy + "\" \"*.*\""), 0);
    EXPECT_EQ(ReadBytes(copy), std::string(1, '\0'));
    EXPECT_EQ(Extract(copy, Dir("none")), 0);
    EXPECT_TRUE(NamesIn(Path("none")).empty());

    // Extraction of named members only.
    out = Dir("out4");
    ASSERT_EQ(lha_.Command("Unlha", "x \"" + archive + "\" \"" + out + "\" \"add*\""), 0);
    EXPECT_EQ(NamesIn(out), (std::vector<std::string>{"added.txt"}));
}

TEST_F(LzhLibrary, DamagedMembersAreReportedAndNeverLeftBehind) {
    const std::string text = SampleText(200000, 24);
    const std::string work =
        Files("work", {{"a_first.txt", "first"}, {"b_damaged.txt", text}, {"c_last.txt", "last"}});
    const std::string archive = Path("damaged.lzh");
    ASSERT_EQ(Pack(archive, work), 0);
    std::string bytes = ReadBytes(archive);
    const size_t middle = bytes.find("b_damaged.txt") + 5000;
    ASSERT_LT(middle, bytes.size());

    // One changed byte inside the compressed data.
    std::string changed = bytes;
    changed[middle] = static_cast<char>(changed[middle] ^ 0x55);
    WriteBytes(Path("changed.lzh"), changed);
    std::string out = Dir("out1");
    WriteBytes(out + "stale.txt", "already here");
    const int result = Extract(Path("changed.lzh"), out);
    EXPECT_TRUE(result == archivers::kResultChecksumMismatch ||
                result == archivers::kResultBrokenArchive)
        << result;
    EXPECT_EQ(NamesIn(out), (std::vector<std::string>{"a_first.txt", "c_last.txt", "stale.txt"}));

    // A stored member (incompressible data) with one changed byte: only its
    // CRC can tell.
    const std::string noise = RandomBytes(5000, 27);
    const std::string storedWork = Files("stored", {{"noise.bin", noise}});
    ASSERT_EQ(Pack(Path("stored.lzh"), storedWork), 0);
    std::string stored = ReadBytes(Path("stored.lzh"));
    const size_t at = stored.find(noise.substr(0, 64)) + 2500;
    ASSERT_LT(at, stored.size());
    stored[at] = static_cast<char>(stored[at] ^ 0x01);
    WriteBytes(Path("stored.lzh"), stored);
    out = Dir("out0");
    EXPECT_EQ(Extract(Path("stored.lzh"), out), archivers::kResultChecksumMismatch);
    EXPECT_TRUE(NamesIn(out).empty());

    // The archive cut inside the member: the members before it are there,
    // the cut one is not, and no temporary file stays.
    WriteBytes(Path("cut.lzh"), bytes.substr(0, middle));
    out = Dir("out2");
    EXPECT_EQ(Extract(Path("cut.lzh"), out), archivers::kResultBrokenArchive);
    EXPECT_EQ(NamesIn(out), (std::vector<std::string>{"a_first.txt"}));

    // A file that is no archive, and one that is missing.
    WriteBytes(Path("plain.lzh"), "no archive");
    EXPECT_EQ(Extract(Path("plain.lzh"), Dir("out3")), archivers::kResultBrokenArchive);
    EXPECT_EQ(Extract(Path("missing.lzh"), Dir("out4")), archivers::kResultCannotReadArchive);
    // Updating a damaged archive fails and leaves it as it was.
    EXPECT_NE(Pack(Path("cut.lzh"), work), 0);
    EXPECT_TRUE(ReadBytes(Path("cut.lzh")) == bytes.substr(0, middle));
}

TEST_F(LzhLibrary, StoredNamesNeverLeaveTheTargetDirectory) {
    const std::string cp932Folder = platform::Utf8ToCp932("表\\");
    const std::vector<std::pair<std::string, std::string>> members = {
        {"../evil1.txt", "1"},          {"..\\..\\evil2.txt", "2"},
        {"/tmp/evil3.txt", "3"},        {"C:\\evil4.txt", "4"},
        {"C:evil5.txt", "5"},           {"sub/dir/ok.txt", "6"},
        {cp932Folder + "ok2.txt", "7"}, {"..", "8"},
    };
    std::string archive;
    for (const auto& [name, data] : members) archive += Level0Member(name, data, data);
    archive += Level2Member("level2.txt", "..\xFF..\xFF", "9", "9");
    archive += std::string(1, '\0');
    WriteBytes(Path("escape.lzh"), archive);

    const std::string out = Dir("target/inner");
    EXPECT_EQ(Extract(Path("escape.lzh"), out), archivers::kResultBadEntryName);
    EXPECT_EQ(NamesIn(out),
              (std::vector<std::string>{"evil1.txt", "evil2.txt", "evil3.txt", "evil4.txt",
                                        "evil5.txt", "level2.txt", "ok.txt", "ok2.txt"}));
    EXPECT_EQ(ReadBytes(out + "evil2.txt"), "2");
    EXPECT_EQ(NamesIn(root_ / "target"), (std::vector<std::string>{"inner"}));
    EXPECT_EQ(NamesIn(root_), (std::vector<std::string>{"escape.lzh", "target"}));
    EXPECT_FALSE(fs::exists("/tmp/evil3.txt") && ReadBytes("/tmp/evil3.txt") == "3");
}

TEST_F(LzhLibrary, ArchiveHandlesListTheMembers) {
    auto open = lha_.Entry<ArchiverOpenProc>("UnlhaOpenArchive");
    auto close = lha_.Entry<ArchiverCloseProc>("UnlhaCloseArchive");
    auto first = lha_.Entry<ArchiverFindFirstProc>("UnlhaFindFirst");
    auto next = lha_.Entry<ArchiverFindNextProc>("UnlhaFindNext");
    const std::string text = SampleText(30000, 25);
    const std::string work = Files("work", {{"a.txt", text}, {"b.cds", "bb"}, {"c.txt", "c"}});
    const std::string archive = Path("list.lzh");
    ASSERT_EQ(Pack(archive, work), 0);

    ArchiveHandle handle = open(nullptr, archive.c_str(), kArchiveOpenQueryMode);
    ASSERT_NE(handle, nullptr);
    ArchiveEntryInfo entry;
    std::vector<std::string> names;
    for (int r = first(handle, "*.txt", &entry); r == kArchiveFindFound; r = next(handle, &entry)) {
        names.push_back(entry.fileName);
        if (names.back() == "a.txt") {
            EXPECT_EQ(entry.originalSize, text.size());
            EXPECT_LT(entry.compressedSize, text.size() / 2);
            EXPECT_EQ(std::string(entry.method), "-lh5-");
            EXPECT_EQ(entry.checksum, Crc(text));
            EXPECT_EQ(entry.ratio, entry.compressedSize * 1000 / entry.originalSize);
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "c.txt"}));
    EXPECT_EQ(first(handle, nullptr, &entry), kArchiveFindFound);
    EXPECT_EQ(std::string(entry.fileName), "a.txt");
    EXPECT_EQ(close(handle), 0);
    // A closed or made-up handle is refused.
    EXPECT_EQ(close(handle), -1);
    int notAHandle = 0;
    EXPECT_EQ(first(&notAHandle, "*", &entry), kArchiveFindError);

    WriteBytes(Path("plain.lzh"), "not an archive");
    EXPECT_EQ(open(nullptr, Path("plain.lzh").c_str(), kArchiveOpenQueryMode), nullptr);
    // An archive behind a self-extracting program is accepted.
    WriteBytes(Path("sfx.exe"), "MZ" + RandomBytes(5000, 26) + ReadBytes(archive));
    handle = open(nullptr, Path("sfx.exe").c_str(), kArchiveOpenQueryMode);
    ASSERT_NE(handle, nullptr);
    close(handle);
}

TEST_F(LzhLibrary, CommandLinesItCannotServeAreRefused) {
    std::string message;
    EXPECT_EQ(lha_.Command("Unlha", "q \"" + Path("a.lzh") + "\"", &message),
              archivers::kResultBadCommand);
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(lha_.Command("Unlha", "x"), archivers::kResultBadCommand);
    EXPECT_EQ(lha_.Command("Unlha", "s \"" + Path("a.lzh") + "\""),
              archivers::kResultUnsupportedCommand);
    EXPECT_EQ(lha_.Entry<ArchiverCommandProc>("Unlha")(nullptr, nullptr, nullptr, 0),
              archivers::kResultBadCommand);
    // The message is cut to the buffer and always terminated.
    char tiny[4] = {'x', 'x', 'x', 'x'};
    lha_.Entry<ArchiverCommandProc>("Unlha")(nullptr, "q", tiny, sizeof tiny);
    EXPECT_EQ(tiny[3], '\0');
}

}  // namespace
