// The ZIP, TAR and CAB libraries (thin layers over libarchive) through their
// entry points: round trips, archives of other tools, damaged archives,
// entries that try to leave the target directory, and the commands each
// library does not offer.
#include <gtest/gtest.h>

#include <archive.h>
#include <archive_entry.h>

#include <map>
#include <string>

#include "archiver_test_support.h"
#include "common/result_codes.h"

namespace {

using namespace archiver_test;

class Bridge : public TempDir {
  protected:
    void SetUp() override {
        TempDir::SetUp();
        for (const Library* library : {&unzip_, &lmzip_, &cab_, &tar_})
            ASSERT_NE(library->module, nullptr) << platform::LastLibraryError();
    }
    std::string SampleFiles() {
        const std::string dir = Dir("work");
        for (const auto& [name, bytes] : files_) WriteBytes(dir + name, bytes);
        return dir;
    }
    void ExpectSampleFiles(const std::string& dir) {
        std::vector<std::string> names;
        for (const auto& [name, bytes] : files_) {
            names.push_back(name);
            EXPECT_TRUE(ReadBytes(dir + name) == bytes) << dir << name;
        }
        EXPECT_EQ(NamesIn(dir), names);
    }
    std::string Quote(const std::string& path) { return "'" + path + "'"; }

    // Writes a tar archive with the given entries through libarchive; a
    // target starting with "->" makes a symbolic link.
    void WriteTar(const std::string& path,
                  const std::vector<std::pair<std::string, std::string>>& entries) {
        archive* out = archive_write_new();
        archive_write_set_format_pax_restricted(out);
        ASSERT_EQ(archive_write_open_filename(out, path.c_str()), ARCHIVE_OK);
        for (const auto& [name, data] : entries) {
            archive_entry* entry = archive_entry_new();
            archive_entry_set_pathname(entry, name.c_str());
            archive_entry_set_perm(entry, 0644);
            if (data.rfind("->", 0) == 0) {
                archive_entry_set_filetype(entry, AE_IFLNK);
                archive_entry_set_symlink(entry, data.substr(2).c_str());
                archive_write_header(out, entry);
            } else {
                archive_entry_set_filetype(entry, AE_IFREG);
                archive_entry_set_size(entry, static_cast<la_int64_t>(data.size()));
                archive_write_header(out, entry);
                archive_write_data(out, data.data(), data.size());
            }
            archive_entry_free(entry);
        }
        archive_write_close(out);
        archive_write_free(out);
    }

    const std::map<std::string, std::string> files_ = {
        {"EV_TBL_MAIN.cds", SampleText(3000, 41)},
        {"empty.txt", ""},
        {"photo.jpg", RandomBytes(40000, 42)},
    };
    Library unzip_{"UNZIP32.DLL"}, lmzip_{"LMZIP32.DLL"}, cab_{"CAB32.DLL"}, tar_{"tar32.dll"};
};

TEST_F(Bridge, ZipRoundTripsAndReadsOtherZips) {
    const std::string work = SampleFiles();
    const std::string archive = Path("out.zip");
    ASSERT_EQ(lmzip_.Command("Zip", "-ru -j  \"" + archive + "\" \"" + work + "*.*\" "), 0);
    const std::string out1 = Dir("unzip");
    ASSERT_EQ(unzip_.Command("UnZip", "-x --i  \"" + archive + "\" \"" + out1 + "\" "), 0);
    ExpectSampleFiles(out1);
    const std::string out2 = Dir("lmzip");
    ASSERT_EQ(lmzip_.Command("Unzip", "-x \"" + archive + "\" \"" + out2 + "\""), 0);
    ExpectSampleFiles(out2);
    if (HaveTool("bsdtar")) {
        const std::string out3 = Dir("bsdtar");
        ASSERT_EQ(RunQuietly("bsdtar -xf " + Quote(archive) + " -C " + Quote(out3)), 0);
        ExpectSampleFiles(out3);
        // A zip made by another tool, with a folder, extracts under bare names.
        fs::create_directories(work + "folder");
        WriteBytes(work + "folder/inner.txt", "inner");
        const std::string other = Path("other.zip");
        ASSERT_EQ(RunQuietly("cd " + Quote(work) + " && bsdtar -a -cf " + Quote(other) + " ."), 0);
        const std::string out4 = Dir("other");
        ASSERT_EQ(unzip_.Command("UnZip", "-x \"" + other + "\" \"" + out4 + "\""), 0);
        EXPECT_EQ(ReadBytes(out4 + "inner.txt"), "inner");
        EXPECT_TRUE(ReadBytes(out4 + "photo.jpg") == files_.at("photo.jpg"));
    }
    // Each library offers only its own commands.
    EXPECT_EQ(unzip_.Command("UnZip", "-ru \"" + Path("x.zip") + "\" \"" + work + "*.*\""),
              archivers::kResultUnsupportedCommand);
    EXPECT_EQ(lmzip_.Command("Zip", "-x \"" + archive + "\" \"" + out1 + "\""),
              archivers::kResultUnsupportedCommand);
    EXPECT_FALSE(fs::exists(Path("x.zip")));
}

TEST_F(Bridge, DamagedZipMembersAreNotLeftBehind) {
    const std::string work = SampleFiles();
    const std::string archive = Path("out.zip");
    ASSERT_EQ(lmzip_.Command("Zip", "-ru \"" + archive + "\" \"" + work + "photo.jpg\""), 0);
    std::string bytes = ReadBytes(archive);
    bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x5A);
    WriteBytes(archive, bytes);
    const std::string out = Dir("out");
    EXPECT_NE(unzip_.Command("UnZip", "-x \"" + archive + "\" \"" + out + "\""), 0);
    EXPECT_TRUE(NamesIn(out).empty());
}

TEST_F(Bridge, TarAndCompressedTarRoundTrip) {
    const std::string work = SampleFiles();
    for (const std::string name : {"out.tar", "out.tgz"}) {
        SCOPED_TRACE(name);
        const std::string archive = Path(name);
        const std::string pack = name == "out.tgz" ? "c -g -z6  -f \"" : "c -g  -f \"";
        ASSERT_EQ(tar_.Command("Tar", pack + archive + "\" \"" + work + "*.*\" "), 0);
        const std::string out = Dir(name + ".x");
        ASSERT_EQ(tar_.Command(
                      "Tar", "x --display-dialog=0 -g  -f \"" + archive + "\" -o \"" + out + "\" "),
                  0);
        ExpectSampleFiles(out);
        const std::string magic = ReadBytes(archive).substr(0, 2);
        EXPECT_EQ(magic == "\x1f\x8b", name == "out.tgz");
        if (HaveTool("bsdtar")) {
            const std::string other = Dir(name + ".bsdtar");
            ASSERT_EQ(RunQuietly("bsdtar -xf " + Quote(archive) + " -C " + Quote(other)), 0);
            ExpectSampleFiles(other);
        }
    }
}

TEST_F(Bridge, TarEntriesNeverLeaveTheTargetDirectory) {
    const std::string archive = Path("escape.tar");
    WriteTar(archive, {{"../evil1.txt", "1"},
                       {"/tmp/evil2.txt", "2"},
                       {"dir/sub/ok.txt", "3"},
                       {"link", "->/etc/passwd"},
                       {"..", "4"}});
    const std::string out = Dir("target/inner");
    EXPECT_EQ(tar_.Command("Tar", "x -f \"" + archive + "\" -o \"" + out + "\""),
              archivers::kResultBadEntryName);
    EXPECT_EQ(NamesIn(out), (std::vector<std::string>{"evil1.txt", "evil2.txt", "ok.txt"}));
    EXPECT_EQ(NamesIn(root_ / "target"), (std::vector<std::string>{"inner"}));
    EXPECT_EQ(NamesIn(root_), (std::vector<std::string>{"escape.tar", "target"}));
}

// A cabinet with one folder stored without compression and one file per entry.
std::string StoredCabinet(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string data;
    for (const auto& e : entries) data += e.second;
    std::string files;
    uint32_t offset = 0;
    for (const auto& [name, contents] : entries) {
        Le32(files, static_cast<uint32_t>(contents.size()));
        Le32(files, offset);
        Le16(files, 0);       // folder
        Le16(files, 0x5A8A);  // date
        Le16(files, 0x6000);  // time
        Le16(files, 0x20);    // attributes
        files += name + std::string(1, '\0');
        offset += static_cast<uint32_t>(contents.size());
    }
    const uint32_t headerSize = 36, folderSize = 8;
    const uint32_t dataStart = headerSize + folderSize + static_cast<uint32_t>(files.size());
    std::string cab = "MSCF";
    Le32(cab, 0);
    Le32(cab, dataStart + 8 + static_cast<uint32_t>(data.size()));
    Le32(cab, 0);
    Le32(cab, headerSize + folderSize);
    Le32(cab, 0);
    cab += '\x03';
    cab += '\x01';
    Le16(cab, 1);  // folders
    Le16(cab, static_cast<uint32_t>(entries.size()));
    Le16(cab, 0);  // flags
    Le16(cab, 0);  // set id
    Le16(cab, 0);  // cabinet number
    Le32(cab, dataStart);
    Le16(cab, 1);  // data blocks
    Le16(cab, 0);  // no compression
    cab += files;
    Le32(cab, 0);  // no checksum
    Le16(cab, static_cast<uint32_t>(data.size()));
    Le16(cab, static_cast<uint32_t>(data.size()));
    return cab + data;
}

TEST_F(Bridge, CabinetsAreReadButNotWritten) {
    const std::string archive = Path("stored.cab");
    WriteBytes(archive, StoredCabinet({{"a.txt", "first"}, {"..\\..\\b.txt", "second"}}));
    const std::string out = Dir("out");
    ASSERT_EQ(cab_.Command("Cab", "-x -i  \"" + archive + "\" \"" + out + "\" "), 0);
    EXPECT_EQ(NamesIn(out), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(ReadBytes(out + "b.txt"), "second");

    auto open = cab_.Entry<ArchiverOpenProc>("CabOpenArchive");
    ArchiveHandle handle = open(nullptr, archive.c_str(), kArchiveOpenQueryMode);
    ASSERT_NE(handle, nullptr);
    ArchiveEntryInfo entry;
    ASSERT_EQ(cab_.Entry<ArchiverFindFirstProc>("CabFindFirst")(handle, "a.*", &entry),
              kArchiveFindFound);
    EXPECT_EQ(std::string(entry.fileName), "a.txt");
    EXPECT_EQ(entry.originalSize, 5u);
    EXPECT_EQ(cab_.Entry<ArchiverFindNextProc>("CabFindNext")(handle, &entry), kArchiveFindEnd);
    EXPECT_EQ(cab_.Entry<ArchiverCloseProc>("CabCloseArchive")(handle), 0);

    EXPECT_EQ(cab_.Command("Cab", "-a \"" + Path("new.cab") + "\" \"" + out + "*.*\""),
              archivers::kResultUnsupportedCommand);
    EXPECT_FALSE(fs::exists(Path("new.cab")));
    // Files of another kind are not taken for cabinets.
    WriteBytes(Path("plain.cab"), "no cabinet");
    EXPECT_NE(cab_.Command("Cab", "-x \"" + Path("plain.cab") + "\" \"" + Dir("out2") + "\""), 0);
    EXPECT_EQ(open(nullptr, Path("plain.cab").c_str(), kArchiveOpenQueryMode), nullptr);
}

}  // namespace
