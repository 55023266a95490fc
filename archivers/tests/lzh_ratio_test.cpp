// Compression of the table files of the generated installation: the -lh5-
// data of each file (stored instead when that is smaller, as the writer does)
// against "gzip -6" of the same file. The totals must stay within 15 %; the
// figures are printed for the record.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "archiver_test_support.h"
#include "lzh/lzh_encoder.h"

namespace {

using namespace archiver_test;

// Bytes of "gzip -6 -n" output for the file (name and time left out of its header).
size_t GzipSize(const fs::path& file) {
    const std::string command = "gzip -6 -n -c '" + file.string() + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return 0;
    size_t total = 0;
    char buffer[65536];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) total += n;
    return ::pclose(pipe) == 0 ? total : 0;
}

TEST(CompressionRatio, TableFilesCompressWithinFifteenPercentOfGzip) {
    ASSERT_TRUE(HaveTool("gzip"));
    const fs::path tables = fs::path(ARCHIVERS_INSTALLATION_DIR) / "cds";
    ASSERT_TRUE(fs::is_directory(tables)) << "build the installation first: " << tables;
    size_t original = 0, ours = 0, gzip = 0, files = 0;
    for (const auto& entry : fs::directory_iterator(tables)) {
        if (entry.path().extension() != ".cds") continue;
        const std::string data = ReadBytes(entry.path());
        const size_t packed =
            lzh::Encode(lzh::kLh5, reinterpret_cast<const uint8_t*>(data.data()), data.size())
                .size();
        const size_t member = std::min(packed, data.size());
        const size_t gz = GzipSize(entry.path());
        ASSERT_GT(gz, 0u) << entry.path();
        std::printf("  %-28s %7zu bytes  -lh5- %6zu  gzip -6 %6zu\n",
                    entry.path().filename().c_str(), data.size(), member, gz);
        original += data.size();
        ours += member;
        gzip += gz;
        ++files;
    }
    ASSERT_GT(files, 0u);
    const double ratio = static_cast<double>(ours) / static_cast<double>(gzip);
    std::printf("  %zu table files, %zu bytes: -lh5- %zu, gzip -6 %zu, ratio %.3f\n", files,
                original, ours, gzip, ratio);
    RecordProperty("lh5_to_gzip_ratio", std::to_string(ratio));
    EXPECT_LE(ratio, 1.15);
}

}  // namespace
