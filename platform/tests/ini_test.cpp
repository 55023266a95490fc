// INI reading with the Windows semantics the settings file relies on.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/codepage.h"
#include "platform/ini.h"
#include "test_support.h"

using platform_test::TempDir;

namespace {

class Ini : public ::testing::Test {
  protected:
    void SetUp() override {
        std::ofstream(path_, std::ios::binary)
            << "; settings\r\n"
               "[System]\r\n"
               "USR_ID = 101\r\n"
               "  DataPath=  "
            << platform::Utf8ToCp932("データ\\表")
            << "  \r\n"
               ";Commented=1\r\n"
               "Quoted=\"  spaced  \"\r\n"
               "Empty=\r\n"
               "Hex=0x1F\r\n"
               "Negative= -5\r\n"
               "Trailing=12abc\r\n"
               "Word=abc\r\n"
               "[ Other ]\r\n"
               "Key=other\r\n"
               "[SYSTEM]\r\n"
               "Late=ignored, only the first section of a name counts\r\n"
               "["
            << platform::Utf8ToCp932("設定") << "]\r\n"
            << platform::Utf8ToCp932("ヂ") << "=2\r\n";
    }
    TempDir dir_;
    std::string path_ = (dir_.path() / "SystemInfo.ini").string();
};

TEST_F(Ini, StringsWithWindowsSemantics) {
    EXPECT_EQ(platform::GetPrivateProfileString("System", "USR_ID", "", path_), "101");
    EXPECT_EQ(platform::GetPrivateProfileString("system", "usr_id", "", path_), "101");
    EXPECT_EQ(platform::GetPrivateProfileString("SYSTEM", "DATAPATH", "", path_),
              platform::Utf8ToCp932("データ\\表"));
    EXPECT_EQ(platform::GetPrivateProfileString("System", "Quoted", "", path_), "  spaced  ");
    EXPECT_EQ(platform::GetPrivateProfileString("System", "Empty", "default", path_), "");
    EXPECT_EQ(platform::GetPrivateProfileString("other", "key", "", path_), "other");
    // Comments, later duplicates of a section and missing names read as the default.
    EXPECT_EQ(platform::GetPrivateProfileString("System", "Commented", "d", path_), "d");
    EXPECT_EQ(platform::GetPrivateProfileString("System", "Late", "d", path_), "d");
    EXPECT_EQ(platform::GetPrivateProfileString("System", "Missing", "", path_), "");
    EXPECT_EQ(platform::GetPrivateProfileString("Nowhere", "USR_ID", "dflt  ", path_), "dflt");
    EXPECT_EQ(platform::GetPrivateProfileString("System", "USR_ID", "d", path_ + ".missing"), "d");
    // Case folding never touches the second byte of a double-byte name:
    // ア (83 41) and ヂ (83 61) differ only there.
    EXPECT_EQ(platform::GetPrivateProfileString(platform::Utf8ToCp932("設定"),
                                                platform::Utf8ToCp932("ヂ"), "", path_),
              "2");
    EXPECT_EQ(platform::GetPrivateProfileString(platform::Utf8ToCp932("設定"),
                                                platform::Utf8ToCp932("ア"), "d", path_),
              "d");
}

TEST_F(Ini, Integers) {
    EXPECT_EQ(platform::GetPrivateProfileInt("System", "USR_ID", 0, path_), 101);
    EXPECT_EQ(platform::GetPrivateProfileInt("System", "Hex", 0, path_), 31);
    EXPECT_EQ(platform::GetPrivateProfileInt("System", "Negative", 0, path_), -5);
    EXPECT_EQ(platform::GetPrivateProfileInt("System", "Trailing", 0, path_), 12);
    EXPECT_EQ(platform::GetPrivateProfileInt("System", "Word", 7, path_), 0);
    EXPECT_EQ(platform::GetPrivateProfileInt("System", "Empty", 7, path_), 7);
    EXPECT_EQ(platform::GetPrivateProfileInt("System", "Missing", 7, path_), 7);
    EXPECT_EQ(platform::GetPrivateProfileInt("System", "USR_ID", 7, path_ + ".missing"), 7);
}

}  // namespace
