// Settings are read afresh from ini/SystemInfo.ini beside the executable and
// directories resolve against the executable's directory.
#include "records/settings.h"
#include "platform/codepage.h"
#include "store_fixture.h"

namespace store_test {
namespace {

TEST(SettingsTest, DirectoriesResolveAgainstTheExecutableDirectory) {
    EXPECT_EQ(ResolveDirectory("/opt/tool/", "data"), "/opt/tool/data/");
    EXPECT_EQ(ResolveDirectory("/opt/tool/", "data\\cds"), "/opt/tool/data/cds/");
    EXPECT_EQ(ResolveDirectory("/opt/tool/", ""), "/opt/tool/");
    // A directory name in code page 932 whose second byte is 0x5C stays whole.
    EXPECT_EQ(ResolveDirectory("/opt/tool/", platform::Utf8ToCp932("表")), "/opt/tool/表/");
}

TEST(SettingsTest, ValuesAreReadAfreshWithCaseInsensitiveSections) {
    Installation install;
    WriteBytes(install.Root() / "ini" / "SystemInfo.ini",
               "[MAIN]\r\nAPP_TITLE=One\r\nHELP_DIR=help\r\nCDS_DIR=data\r\n");
    EXPECT_EQ(ReadSetting(install.ExeDir(), "Main", "HELP_DIR"), "help");
    EXPECT_EQ(ReadSetting(install.ExeDir(), "MAIN", "APP_TITLE"), "One");
    EXPECT_EQ(ResolveDirectories(install.ExeDir()).table, install.ExeDir() + "data/");
    // Read again at every call: a removed key reads as empty at once.
    WriteBytes(install.Root() / "ini" / "SystemInfo.ini", "[MAIN]\r\nCDS_DIR=data\r\n");
    EXPECT_EQ(ReadSetting(install.ExeDir(), "MAIN", "APP_TITLE"), "");
}

}  // namespace
}  // namespace store_test
