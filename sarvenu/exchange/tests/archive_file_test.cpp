// TArchiveFile: kinds by name (self-extracting files by asking the
// libraries), the program's pack and extract round trip through the loaded
// LZH library, the other kinds' round trips, listing through a wrapper, and
// the EArchiver messages for missing libraries and entries and for
// operations a kind does not offer.
#include <gtest/gtest.h>

#include "archive_test_support.h"
#include "exchange/archive_file.h"
#include "exchange/arj32.h"
#include "exchange/lha32.h"
#include "exchange/zip32.h"
#include "platform/codepage.h"

namespace {

using namespace archive_test;
using namespace sarvenu;

class ArchiveFile : public ArchiveTest {
  protected:
    // A work directory holding table files and a picture.
    std::string WorkDirectory() {
        const std::string work = Dir("work");
        WriteBytes(work + "EV_TBL_MAIN.cds", std::string(3000, 'm') + "main");
        WriteBytes(work + "EV_TBL_INV_CON_R.cds", "contractor");
        WriteBytes(work + "CYY-XX0012A.jpg", std::string("\xFF\xD8\xFF\xE0", 4) + "jpeg");
        return work;
    }
    void ExpectSameFiles(const std::string& from, const std::string& to) {
        EXPECT_EQ(NamesIn(to), NamesIn(from));
        for (const std::string& name : NamesIn(from))
            EXPECT_EQ(ReadBytes(to + name), ReadBytes(from + name)) << name;
    }
};

TEST_F(ArchiveFile, KindFollowsTheExtension) {
    EXPECT_EQ(ArchiverTypeOfFileName("/a/b.lzh"), atLha);
    EXPECT_EQ(ArchiverTypeOfFileName("/a/B.LZH"), atLha);
    EXPECT_EQ(ArchiverTypeOfFileName("x.Zip"), atZip);
    EXPECT_EQ(ArchiverTypeOfFileName("x.cab"), atCab);
    EXPECT_EQ(ArchiverTypeOfFileName("x.ARJ"), atArj);
    EXPECT_EQ(ArchiverTypeOfFileName("x.tar"), atTar);
    for (const char* name : {"x.z", "x.gz", "x.tar.gz", "x.TGZ", "x.taz"})
        EXPECT_EQ(ArchiverTypeOfFileName(name), atTgz) << name;
    for (const char* name : {"x.bak", "x", "/dir.lzh/file", "x.lzh.txt"})
        EXPECT_EQ(ArchiverTypeOfFileName(name), atNone) << name;

    TArchiveFile file;
    EXPECT_EQ(file.ArchiverType(), atAutoDetect);
    EXPECT_EQ(file.Archiver(), nullptr);
    file.SetFileName(Path("a.LZH"));
    EXPECT_EQ(file.ArchiverType(), atLha);
    TArchiver* lha = file.Archiver();
    ASSERT_NE(dynamic_cast<TLha32*>(lha), nullptr);
    // An unknown extension keeps the wrapper and the kind, and takes the name.
    file.SetFileName(Path("a.bak"));
    EXPECT_EQ(file.ArchiverType(), atLha);
    EXPECT_EQ(file.Archiver(), lha);
    EXPECT_EQ(file.FileName(), Path("a.bak"));
    file.SetFileName(Path("a.zip"));
    EXPECT_NE(dynamic_cast<TZip32*>(file.Archiver()), nullptr);

    EXPECT_EQ(ArchiverMessage([&] { file.SetArchiverType(atAutoDetect); }),
              platform::Utf8ToCp932("現在のバージョンではこの形式の書庫をサポートしていません。"));
    EXPECT_EQ(file.ArchiverType(), atZip);
}

TEST_F(ArchiveFile, SelfExtractingFilesAreRecognisedByTheLibraries) {
    const std::string work = WorkDirectory();
    TArchiveFile lzh;
    lzh.SetFileName(Path("plain.lzh"));
    lzh.Options().x = 0;
    const TStringList files = {work + "*.*"};
    ASSERT_EQ(lzh.Pack(nullptr, "", &files), 0);
    WriteBytes(Path("lzh.exe"), "MZ" + std::string(4000, '\x90') + ReadBytes(Path("plain.lzh")));
    EXPECT_EQ(ArchiverTypeOfFileName(Path("lzh.exe")), atLha);

    TArchiveFile zip;
    zip.SetFileName(Path("plain.zip"));
    ASSERT_EQ(zip.Pack(nullptr, "", &files), 0);
    fs::copy_file(Path("plain.zip"), Path("zip.exe"));
    EXPECT_EQ(ArchiverTypeOfFileName(Path("zip.exe")), atZip);

    WriteBytes(Path("program.exe"), "MZ" + std::string(4000, '\x90'));
    EXPECT_EQ(ArchiverTypeOfFileName(Path("program.exe")), atNone);
    EXPECT_EQ(ArchiverTypeOfFileName(Path("missing.exe")), atNone);
}

TEST_F(ArchiveFile, SubmissionFileRoundTripThroughTheLzhLibrary) {
    const std::string work = WorkDirectory();
    const std::string archive = Path("新設工事_工法A_様式Ⅳ-8-3.lzh");
    // Packing, as the export does it.
    {
        TArchiveFile file;
        file.SetFileName(archive);
        file.Options().x = 0;
        file.Options().n = 1;
        const TStringList files = {work + "*.*"};
        EXPECT_EQ(file.Pack(nullptr, "", &files), 0);
        EXPECT_EQ(file.CommandLine(), "u -+ -n1 -x0  \"" + archive + "\" \"" + work + "*.*\" ");
    }
    // Extracting, as the import does it.
    const std::string target = Dir("import");
    TArchiveFile file;
    file.SetFileName(archive);
    file.Options().x = 1;
    file.Options().n = 1;
    EXPECT_EQ(file.Extract(nullptr, target.substr(0, target.size() - 1), nullptr), 0);
    EXPECT_EQ(file.CommandLine(), "x -+ -n1 -x1  \"" + archive + "\" \"" + target + "\" ");
    ExpectSameFiles(work, target);

    // The library's failure comes back as its result, not as an error.
    WriteBytes(Path("broken.lzh"), "not an archive");
    file.SetFileName(Path("broken.lzh"));
    EXPECT_NE(file.Extract(nullptr, Dir("broken"), nullptr), 0);
}

TEST_F(ArchiveFile, OtherKindsRoundTrip) {
    const std::string work = WorkDirectory();
    const TStringList files = {work + "*.*"};
    for (const char* name : {"a.zip", "a.tar", "a.tgz"}) {
        SCOPED_TRACE(name);
        TArchiveFile file;
        file.SetFileName(Path(name));
        file.Options().x = 0;
        ASSERT_EQ(file.Pack(nullptr, "", &files), 0);
        const std::string out = Dir(std::string(name) + ".out");
        ASSERT_EQ(file.Extract(nullptr, out, nullptr), 0);
        ExpectSameFiles(work, out);
    }
}

TEST_F(ArchiveFile, WrappersListArchivesThroughTheHandleEntries) {
    const std::string work = WorkDirectory();
    TArchiveFile file;
    file.SetFileName(Path("list.lzh"));
    const TStringList files = {work + "*.cds"};
    ASSERT_EQ(file.Pack(nullptr, "", &files), 0);
    TArchiver& lha = *file.Archiver();
    ArchiveHandle handle = lha.OpenArchive(nullptr, Path("list.lzh"), kArchiveOpenQueryMode);
    ASSERT_NE(handle, nullptr);
    ArchiveEntryInfo entry;
    std::vector<std::string> names;
    for (int r = lha.FindFirst(handle, "*", &entry); r == 0; r = lha.FindNext(handle, &entry)) {
        names.push_back(entry.fileName);
        EXPECT_EQ(entry.originalSize, fs::file_size(work + entry.fileName));
    }
    lha.CloseArchive(handle);
    EXPECT_EQ(names, (std::vector<std::string>{"EV_TBL_INV_CON_R.cds", "EV_TBL_MAIN.cds"}));
}

TEST_F(ArchiveFile, NoKindChosenMeansNoOperation) {
    TArchiveFile file;
    file.SetFileName(Path("a.bak"));
    EXPECT_EQ(file.ArchiverType(), atAutoDetect);
    EXPECT_EQ(ArchiverMessage([&] { file.Extract(nullptr, Dir("x"), nullptr); }),
              platform::Utf8ToCp932("書庫の形式を判別できません。"));
    // Packing first tries the name, which names no kind either.
    EXPECT_EQ(ArchiverMessage([&] { file.Pack(nullptr, "", nullptr); }),
              platform::Utf8ToCp932("書庫の形式を判別できません。"));
}

TEST_F(ArchiveFile, MissingLibrariesAndEntriesRaiseTheirMessages) {
    TArchiveFile file;
    // No ARJ library ships: its message is the behaviour, and the name is not taken.
    EXPECT_EQ(ArchiverMessage([&] { file.SetFileName(Path("a.arj")); }),
              platform::Utf8ToCp932("この機能の使用には UNARJ32J.DLL が 必要です。"));
    EXPECT_EQ(file.FileName(), "");

    Missing("UNLHA32.DLL");
    Missing("tar32.dll");
    Missing("CAB32.DLL");
    EXPECT_EQ(ArchiverMessage([&] { file.SetFileName(Path("a.lzh")); }),
              platform::Utf8ToCp932("この機能の使用には UNLHA32.DLL が 必要です。"));
    EXPECT_EQ(ArchiverMessage([&] { file.SetFileName(Path("a.tgz")); }),
              platform::Utf8ToCp932("この機能の使用には tar32.dll が 必要です。"));
    EXPECT_EQ(ArchiverMessage([&] { file.SetFileName(Path("a.cab")); }),
              platform::Utf8ToCp932("CAB 形式書庫を扱うには CAB32.DLL が 必要です。"));
    EXPECT_EQ(ArchiverMessage([&] { file.SetArchiverType(atTar); }),
              platform::Utf8ToCp932("この機能の使用には tar32.dll が 必要です。"));
    EXPECT_EQ(file.ArchiverType(), atAutoDetect);

    // Either ZIP library suffices to load; packing needs LMZIP32.DLL.
    Missing("LMZIP32.DLL");
    file.SetFileName(Path("a.zip"));
    EXPECT_EQ(ArchiverMessage([&] { file.Pack(nullptr, "", nullptr); }),
              platform::Utf8ToCp932("ZIP 形式書庫の作成には LMZIP32.DLL が必要です。"));
    Missing("UNZIP32.DLL");
    ResetArchiverLibraries();
    EXPECT_EQ(ArchiverMessage([&] { file.SetFileName(Path("b.zip")); }),
              platform::Utf8ToCp932(
                  "ZIP 形式書庫を扱うには UNZIP32.DLL または LMZIP32.DLL が 必要です。"));
    EXPECT_EQ(file.FileName(), Path("a.zip"));

    // A library without the entry the wrapper needs.
    LoadFrom("UNLHA32.DLL", "libtar32.so");
    ResetArchiverLibraries();
    file.SetFileName(Path("c.lzh"));
    EXPECT_EQ(ArchiverMessage([&] { file.Extract(nullptr, Dir("x"), nullptr); }),
              platform::Utf8ToCp932("UNLHA32.DLL に Unlha のエントリが見つかりません。"));
}

TEST_F(ArchiveFile, OperationsAKindDoesNotOffer) {
    TZip32 zip;
    TArchiverOptions options;
    EXPECT_EQ(ArchiverMessage([&] { zip.Delete(nullptr, Path("a.zip"), options, "", nullptr); }),
              platform::Utf8ToCp932("この形式の書庫ではファイルの削除をサポートしておりません。"));
    EXPECT_EQ(ArchiverMessage([&] { zip.MakeSfx(nullptr, Path("a.zip"), options); }),
              platform::Utf8ToCp932(
                  "ＺＩＰ形式書庫から自己解凍書庫を作成する機能はサポートされていません。"));

    // An ARJ library that loads but lacks the ARJ entries.
    LoadFrom("UNARJ32J.DLL", "libunlha32.so");
    TArj32 arj;
    EXPECT_EQ(
        ArchiverMessage([&] { arj.Pack(nullptr, Path("a.arj"), options, "", nullptr); }),
        platform::Utf8ToCp932("お使いの UNARJ32J.DLL は書庫の作成機能をサポートしていません。"));
    EXPECT_EQ(ArchiverMessage([&] { arj.MakeSfx(nullptr, Path("a.arj"), options); }),
              platform::Utf8ToCp932(
                  "お使いの UNARJ32J.DLL は自己解凍書庫の作成機能をサポートしていません。"));
    EXPECT_EQ(ArchiverMessage([&] { arj.Extract(nullptr, Path("a.arj"), options, "/x", nullptr); }),
              platform::Utf8ToCp932("UNARJ32J.DLL に Unarj のエントリが見つかりません。"));
}

TEST_F(ArchiveFile, ALibraryIsLoadedOnceForTheRun) {
    TLha32 first;
    TLha32 second;
    TArchiveFile file;
    file.SetFileName(Path("a.lzh"));
    file.SetFileName(Path("b.lzh"));
    EXPECT_EQ(TArchiverLibrary::Of("UNLHA32.DLL").LoadCount(), 1);
    EXPECT_EQ(TArchiverLibrary::Of("UNLHA32.DLL").Entry("Unlha"),
              TArchiverLibrary::Of("UNLHA32.DLL").Entry("Unlha"));
}

}  // namespace
