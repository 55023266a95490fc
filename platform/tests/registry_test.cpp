// The text-file registry: values, keys, case, escaping, deletion and the
// file's atomic replacement.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/registry.h"
#include "test_support.h"

namespace fs = std::filesystem;
using platform_test::ScopedEnv;
using platform_test::TempDir;

namespace {

const std::string kClsidKey = "CLSID\\{9E8D2FA1-591C-11D0-BF52-0020AF32BD64}";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class Registry : public ::testing::Test {
  protected:
    // The file lives in a directory that does not exist yet.
    TempDir dir_;
    fs::path file_ = dir_.path() / "config" / "sarvenu" / "registry.reg";
    ScopedEnv env_{"SARVENU_REGISTRY", file_.c_str()};
};

TEST_F(Registry, MissingFileIsAnEmptyRegistry) {
    EXPECT_EQ(platform::RegistryPath(), file_.string());
    std::string value = "untouched";
    EXPECT_FALSE(platform::RegGetString(kClsidKey, "", &value));
    EXPECT_EQ(value, "untouched");
    EXPECT_FALSE(platform::RegKeyExists("CLSID"));
    EXPECT_TRUE(platform::RegDeleteKey(kClsidKey));
    EXPECT_FALSE(fs::exists(file_));
}

TEST_F(Registry, SetGetAndCaseInsensitiveKeys) {
    const std::string server = kClsidKey + "\\InProcServer32";
    ASSERT_TRUE(platform::RegSetString(server, "", "/opt/sarvenu/libpelmora.so"));
    ASSERT_TRUE(platform::RegSetString(server, "ThreadingModel", "Apartment"));
    ASSERT_TRUE(fs::exists(file_));  // the directory was made

    std::string value;
    ASSERT_TRUE(platform::RegGetString(server, "", &value));
    EXPECT_EQ(value, "/opt/sarvenu/libpelmora.so");
    ASSERT_TRUE(platform::RegGetString(
        "clsid\\{9e8d2fa1-591c-11d0-bf52-0020af32bd64}\\INPROCSERVER32", "threadingmodel", &value));
    EXPECT_EQ(value, "Apartment");
    // The root may be named, as in the file.
    EXPECT_TRUE(platform::RegGetString("HKEY_CLASSES_ROOT\\" + server, "", &value));

    // Parents were created; a missing value of an existing key is missing.
    EXPECT_TRUE(platform::RegKeyExists("CLSID"));
    EXPECT_TRUE(platform::RegKeyExists(kClsidKey));
    EXPECT_FALSE(platform::RegGetString(kClsidKey, "", &value));
    EXPECT_FALSE(platform::RegGetString(server, "Other", &value));
    EXPECT_FALSE(platform::RegKeyExists(server + "\\Deeper"));

    // Replacing a value under another spelling keeps one value.
    ASSERT_TRUE(platform::RegSetString(server, "THREADINGMODEL", "Both"));
    ASSERT_TRUE(platform::RegGetString(server, "ThreadingModel", &value));
    EXPECT_EQ(value, "Both");
    std::string text = ReadFile(file_);
    EXPECT_EQ(text.find("THREADINGMODEL"), std::string::npos);
    EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\" + server + "]"), std::string::npos);

    EXPECT_FALSE(platform::RegSetString("", "", "x"));  // no key
}

TEST_F(Registry, QuotesAndBackslashesAreEscaped) {
    const std::string value = "C:\\Program Files\\\"Sarvenu\"\\ end\\";
    const std::string name = "Odd \"name\" \\ here";
    ASSERT_TRUE(platform::RegSetString("Pelmora.DSBase\\Paths", name, value));
    std::string read;
    ASSERT_TRUE(platform::RegGetString("Pelmora.DSBase\\Paths", name, &read));
    EXPECT_EQ(read, value);
    std::string text = ReadFile(file_);
    EXPECT_NE(text.find(R"("Odd \"name\" \\ here"="C:\\Program Files\\\"Sarvenu\"\\ end\\")"),
              std::string::npos)
        << text;
}

TEST_F(Registry, DeleteOnlyKeysWithoutSubkeys) {
    ASSERT_TRUE(platform::RegSetString(kClsidKey + "\\ProgID", "", "Pelmora.DSBase"));
    ASSERT_TRUE(platform::RegSetString(kClsidKey + "\\InProcServer32", "", "libpelmora.so"));
    ASSERT_TRUE(platform::RegSetString("CLSIDX", "", "a sibling whose name starts alike"));

    EXPECT_FALSE(platform::RegDeleteKey(kClsidKey));
    EXPECT_TRUE(platform::RegKeyExists(kClsidKey));
    EXPECT_TRUE(platform::RegDeleteKey(kClsidKey + "\\progid"));
    EXPECT_TRUE(platform::RegDeleteKey(kClsidKey + "\\InProcServer32"));
    EXPECT_TRUE(platform::RegDeleteKey(kClsidKey));
    EXPECT_FALSE(platform::RegKeyExists(kClsidKey));
    EXPECT_TRUE(platform::RegDeleteKey("CLSID"));
    EXPECT_TRUE(platform::RegKeyExists("CLSIDX"));
    EXPECT_TRUE(platform::RegDeleteKey(kClsidKey));  // already gone
}

TEST_F(Registry, ReplacementIsAtomicAndLeavesNoTemporaryFiles) {
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(platform::RegSetString("Key" + std::to_string(i % 5), "N", std::to_string(i)));
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(file_.parent_path())) {
        ++files;
        EXPECT_EQ(entry.path(), file_);
    }
    EXPECT_EQ(files, 1u);
    EXPECT_EQ(ReadFile(file_).rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
    std::string value;
    ASSERT_TRUE(platform::RegGetString("key4", "n", &value));
    EXPECT_EQ(value, "19");
}

TEST_F(Registry, UnreadableFileIsNeverOverwritten) {
    // A directory in the file's place cannot be read (even by root).
    fs::create_directories(file_);
    EXPECT_FALSE(platform::RegSetString("Key", "", "value"));
    EXPECT_FALSE(platform::RegDeleteKey("Key"));
    EXPECT_TRUE(fs::is_directory(file_));
    EXPECT_TRUE(fs::is_empty(file_));
}

TEST_F(Registry, ReadsAHandWrittenExport) {
    fs::create_directories(file_.parent_path());
    std::ofstream(file_, std::ios::binary) << "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
                                              "\r\n"
                                              "; a comment\r\n"
                                              "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n"
                                              "@=\"not ours\"\r\n"
                                              "[HKEY_CLASSES_ROOT\\Pelmora.DSBase]\r\n"
                                              "@ = \"Pelmora dataset\"\r\n"
                                              "\"Dword\"=dword:00000001\r\n"
                                              "\"Path\"=\"a\\\\b\"\r\n";
    std::string value;
    ASSERT_TRUE(platform::RegGetString("pelmora.dsbase", "", &value));
    EXPECT_EQ(value, "Pelmora dataset");
    ASSERT_TRUE(platform::RegGetString("Pelmora.DSBase", "Path", &value));
    EXPECT_EQ(value, "a\\b");
    EXPECT_FALSE(platform::RegGetString("Pelmora.DSBase", "Dword", &value));
    EXPECT_FALSE(platform::RegKeyExists("Software\\Other"));
}

TEST(RegistryPath, DefaultsToTheUserConfigurationDirectory) {
    ScopedEnv noFile("SARVENU_REGISTRY", nullptr);
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "/srv/config");
        EXPECT_EQ(platform::RegistryPath(), "/srv/config/sarvenu/registry.reg");
    }
    ScopedEnv noXdg("XDG_CONFIG_HOME", nullptr);
    ScopedEnv home("HOME", "/home/someone");
    EXPECT_EQ(platform::RegistryPath(), "/home/someone/.config/sarvenu/registry.reg");
}

}  // namespace
