// Command lines of the archiver wrappers: the builder's rules, the LZH
// wrapper's switch order and the program's two lines (with their double
// space and trailing space), and the ZIP, CAB and TAR forms.
#include <gtest/gtest.h>

#include "archive_test_support.h"
#include "exchange/archive_cmd_opt.h"
#include "exchange/cab32.h"
#include "exchange/lha32.h"
#include "exchange/tar32.h"
#include "exchange/zip32.h"

namespace {

using namespace archive_test;
using namespace sarvenu;

TEST(CommandLineBuilder, LeavesOutWhatIsNotGiven) {
    TCmdOpt line;
    line.Add("");
    line.Add("-+");
    line.AddInt("x", -1);
    line.AddInt("x", 0);
    line.AddInt("n", 12);
    line.AddQuoted("jo", " ");
    line.AddQuoted("jo", "");
    line.AddQuoted("jz", "text with space");
    line.AddQuoted("", "/a/b.lzh");
    line.AddList("jx", {"*.bak", "*.tmp"});
    line.AddList("", {});
    line.AddDirectory("w", " ");
    line.AddDirectory("w", "");
    line.AddDirectory("w", "/data/job");
    line.AddDirectory("", "/data/done/");
    EXPECT_EQ(line.Text(),
              "  -+ -x0 -n12 \"-jo\" \"-jztext with space\" \"/a/b.lzh\" \"-jx*.bak\" \"-jx*.tmp\""
              " \"-w/data/job/\" \"/data/done/\"");
}

class WrapperLines : public ArchiveTest {};

TEST_F(WrapperLines, LzhLinesOfTheProgramAndEverySwitchInOrder) {
    TLha32 lha;
    TArchiverOptions options;
    EXPECT_EQ(lha.MakeCommandLine("x", "/d/a.lzh", options, "", nullptr), "x -+  \"/d/a.lzh\" ");

    // Extracting a submission file: x = 1, n = 1, into the work directory.
    options.x = 1;
    options.n = 1;
    EXPECT_EQ(lha.MakeCommandLine("x", "/users/u/提出.lzh", options, "/data/app/tmp/", nullptr),
              "x -+ -n1 -x1  \"/users/u/提出.lzh\" \"/data/app/tmp/\" ");
    // A directory given without its final separator gets one.
    EXPECT_EQ(lha.MakeCommandLine("x", "A", options, "/data/app/tmp", nullptr),
              "x -+ -n1 -x1  \"A\" \"/data/app/tmp/\" ");
    // Packing one: x = 0, n = 1, no directory, the work directory's files.
    options.x = 0;
    const TStringList files = {"/data/app/tmp/*.*"};
    EXPECT_EQ(lha.MakeCommandLine("u", "/users/u/out.lzh", options, "", &files),
              "u -+ -n1 -x0  \"/users/u/out.lzh\" \"/data/app/tmp/*.*\" ");

    TArchiverOptions all;
    int value = 0;
    for (int* field :
         {&all.a,  &all.c,  &all.d,   &all.e,  &all.f,   &all.h,   &all.i,   &all.l,   &all.m,
          &all.n,  &all.o,  &all.p,   &all.r,  &all.s,   &all.t,   &all.u,   &all.x,   &all.y,
          &all.z,  &all.jc, &all.jd,  &all.je, &all.jf,  &all.jh,  &all.ji,  &all.jm,  &all.jn,
          &all.jp, &all.jr, &all.jss, &all.jw, &all.jyc, &all.jyd, &all.jyk, &all.jyn, &all.jyo,
          &all.ga, &all.gd, &all.ge,  &all.gf, &all.gj,  &all.gm,  &all.gn,  &all.go,  &all.gp,
          &all.gr, &all.gs, &all.gu,  &all.gw})
        *field = value++;
    all.w = "/w";
    all.jo = "O";
    all.job = "B";
    all.jz = "Z";
    all.jx = {"X1", "X2"};
    all.UserOptions = "-user";
    all.UserFileList = "list.txt";
    const TStringList two = {"f1", "f2"};
    EXPECT_EQ(lha.MakeCommandLine("u", "arc", all, "/dir", &two),
              "u -+ -a0 -c1 -d2 -e3 -f4 -h5 -i6 -l7 -m8 -n9 -o10 -p11 -r12 -s13 -t14 -u15"
              " \"-w/w/\" -x16 -y17 -z18 -jc19 -jd20 -je21 -jf22 -jh23 -ji24 -jm25 -jn26"
              " \"-joO\" \"-jobB\" -jp27 -jr28 -jss29 -jw30 \"-jxX1\" \"-jxX2\""
              " -jyc31 -jyd32 -jyk33 -jyn34 -jyo35 \"-jzZ\" -ga36 -gd37 -ge38 -gf39 -gj40"
              " -gm41 -gn42 -go43 -gp44 -gr45 -gs46 -gu47 -gw48"
              " -user \"arc\" \"/dir/\" \"f1\" \"f2\" list.txt");
}

TEST_F(WrapperLines, ZipCabAndTarForms) {
    TArchiverOptions options;
    options.c = 1;
    options.n = 1;
    options.x = 0;
    TZip32 zip;
    EXPECT_EQ(zip.MakeCommandLine("-x", "/a.zip", options, "/out", nullptr),
              "-x -o --i -j  \"/a.zip\" \"/out/\" ");
    TCab32 cab;
    EXPECT_EQ(cab.MakeCommandLine("-x", "/a.cab", options, "/out/", nullptr),
              "-x -o -i -j  \"/a.cab\" \"/out/\" ");
    options = TArchiverOptions();
    EXPECT_EQ(zip.MakeCommandLine("-ru", "/a.zip", options, "", nullptr), "-ru  \"/a.zip\" ");

    TTar32 tar;
    TTgz32 tgz;
    TArchiverOptions t;
    EXPECT_EQ(tar.MakeCommandLine("x", "/a.tar", t, "/out", nullptr),
              "x -g  -f \"/a.tar\" -o \"/out/\" ");
    EXPECT_EQ(tgz.MakeCommandLine("x", "/a.tgz", t, "", nullptr), "x -g -z6  -f \"/a.tgz\" ");
    t.a = 1;
    t.n = 1;
    t.o = 1;
    t.p = 0;
    t.x = 1;
    t.z = 1;
    const TStringList files = {"/w/*.*"};
    EXPECT_EQ(tgz.MakeCommandLine("c", "/a.tgz", t, " ", &files),
              "c -AH --display-dialog=0 --check-all-path=0 --use-directory=1  -f \"/a.tgz\""
              " \"/w/*.*\" ");
    t.a = 0;
    EXPECT_EQ(tar.MakeCommandLine("c", "/a.tar", t, "", nullptr),
              "c -I --display-dialog=0 --check-all-path=0 --use-directory=1  -f \"/a.tar\" ");
}

TEST_F(WrapperLines, ZipPackingSendsNoQuietSwitchAndKeepsTheOption) {
    const std::string work = Dir("work");
    WriteBytes(work + "a.txt", "a");
    const std::string archive = Path("p.zip");
    WriteBytes(archive, "an older archive file, deleted before packing");
    TZip32 zip;
    TArchiverOptions options;
    options.n = 1;
    options.x = 0;
    const TStringList files = {work + "*.*"};
    EXPECT_EQ(zip.Pack(nullptr, archive, options, "", &files), 0);
    EXPECT_EQ(zip.LastCommandLine(), "-ru -j  \"" + archive + "\" \"" + work + "*.*\" ");
    EXPECT_EQ(options.n, 1);
    EXPECT_EQ(ReadBytes(archive).substr(0, 2), "PK");
}

}  // namespace
