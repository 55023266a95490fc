// Library loading: name mapping, the executable's directory first, symbols,
// errors and the path of the module holding an address.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/library.h"

namespace fs = std::filesystem;

namespace {

TEST(Library, MapsWindowsNames) {
    EXPECT_EQ(platform::MapLibraryName("PELMORA.DLL"), "libpelmora.so");
    EXPECT_EQ(platform::MapLibraryName("UNLHA32.DLL"), "libunlha32.so");
    EXPECT_EQ(platform::MapLibraryName("tar32.dll"), "libtar32.so");
    EXPECT_EQ(platform::MapLibraryName("UNARJ32J"), "libunarj32j.so");
    // Names that are already the loader's own pass through.
    EXPECT_EQ(platform::MapLibraryName("libpelmora.so"), "libpelmora.so");
    EXPECT_EQ(platform::MapLibraryName("libm.so.6"), "libm.so.6");
    EXPECT_EQ(platform::MapLibraryName("/opt/sarvenu/PELMORA.DLL"), "/opt/sarvenu/PELMORA.DLL");
}

TEST(Library, ExecutableDirectoryAndModulePaths) {
    std::string directory = platform::ExecutableDirectory();
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.back(), '/');
    EXPECT_EQ(fs::canonical(directory), fs::canonical(PLATFORM_TEST_LIBRARY_DIR));

    // A function of this program lies in the executable; one of the C library in it.
    std::string self =
        platform::ModulePathOfAddress(reinterpret_cast<const void*>(&platform::MapLibraryName));
    EXPECT_EQ(self, fs::canonical("/proc/self/exe").string());
    platform::HMODULE c = platform::LoadLibraryA("libc.so.6");
    ASSERT_NE(c, nullptr) << platform::LastLibraryError();
    std::string libc = platform::ModulePathOfAddress(platform::GetProcAddress(c, "getpid"));
    EXPECT_NE(libc.find("/libc"), std::string::npos) << libc;
    EXPECT_TRUE(fs::path(libc).is_absolute());
    platform::FreeLibrary(c);
    EXPECT_EQ(platform::ModulePathOfAddress(nullptr), "");
}

TEST(Library, LoadsFromTheLoaderPathAndBesideTheExecutable) {
    platform::HMODULE system = platform::LoadLibraryA("libm.so.6");
    ASSERT_NE(system, nullptr) << platform::LastLibraryError();
    auto* systemCos = reinterpret_cast<double (*)(double)>(platform::GetProcAddress(system, "cos"));
    ASSERT_NE(systemCos, nullptr);
    std::string systemPath =
        platform::ModulePathOfAddress(reinterpret_cast<const void*>(systemCos));
    ASSERT_FALSE(systemPath.empty());

    // Files put beside the executable are removed however the test ends.
    fs::path beside = fs::path(platform::ExecutableDirectory()) / "libplatformprobe.so";
    fs::path broken = fs::path(platform::ExecutableDirectory()) / "libplatformbroken.so";
    struct Remover {
        std::vector<fs::path> paths;
        ~Remover() {
            std::error_code ignored;
            for (const auto& p : paths) fs::remove(p, ignored);
        }
    } remover{{beside, broken}};

    // A copy beside the executable under a mapped name is found by its Windows name.
    fs::copy_file(systemPath, beside, fs::copy_options::overwrite_existing);
    platform::HMODULE probe = platform::LoadLibraryA("PLATFORMPROBE.DLL");
    ASSERT_NE(probe, nullptr) << platform::LastLibraryError();
    auto* probeCos = reinterpret_cast<double (*)(double)>(platform::GetProcAddress(probe, "cos"));
    ASSERT_NE(probeCos, nullptr);
    EXPECT_EQ(probeCos(0.0), 1.0);
    EXPECT_EQ(platform::ModulePathOfAddress(reinterpret_cast<const void*>(probeCos)),
              fs::canonical(beside).string());
    EXPECT_EQ(platform::GetProcAddress(probe, "NoSuchSymbol"), nullptr);
    EXPECT_NE(platform::LastLibraryError().find("NoSuchSymbol"), std::string::npos);
    platform::FreeLibrary(probe);
    platform::FreeLibrary(system);

    // A broken file beside the executable is the one tried, and its failure reported.
    std::ofstream(broken) << "not a library";
    EXPECT_EQ(platform::LoadLibraryA("PLATFORMBROKEN.DLL"), nullptr);
    EXPECT_NE(platform::LastLibraryError().find(broken.string()), std::string::npos)
        << platform::LastLibraryError();

    EXPECT_EQ(platform::LoadLibraryA("NOSUCHLIBRARY.DLL"), nullptr);
    EXPECT_NE(platform::LastLibraryError().find("libnosuchlibrary.so"), std::string::npos);
}

}  // namespace
