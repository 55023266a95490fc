// The table tool run as the people who look after installations run it, on
// table files written by the engine.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string output;
};

ToolRun Tool(const std::string& arguments) {
    const std::string command = std::string(TABLE_TOOL_PATH) + " " + arguments + " 2>&1";
    ToolRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
    const int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const fs::path kSeeds = fs::path(SEED_DIR);

class TableTool : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("table-tool-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(TableTool, VerifyReportsTheEngineCodeOfABadFile) {
    EXPECT_EQ(0, Tool("verify " + (kSeeds / "nested.bin").string()).status);
    const ToolRun bad = Tool("verify " + (kSeeds / "regression-not-fetched-varbytes.pkt").string());
    EXPECT_NE(0, bad.status);
    EXPECT_NE(std::string::npos, bad.output.find("16389 Mismatch in datapacket."));
    const ToolRun missing = Tool("verify " + (dir_ / "none.cds").string());
    EXPECT_NE(0, missing.status);
}

TEST_F(TableTool, ConvertsToXmlAndBackWithoutLosingABit) {
    for (const char* name : {"nested.bin", "flat_logged.bin", "flat_inserted.bin"}) {
        const fs::path xml = dir_ / "table.xml";
        const fs::path back = dir_ / "table.cds";
        ASSERT_EQ(0, Tool("convert " + (kSeeds / name).string() + " " + xml.string()).status)
            << name;
        EXPECT_EQ(0, std::system(("xmllint --noout " + xml.string()).c_str())) << name;
        ASSERT_EQ(0, Tool("convert " + xml.string() + " " + back.string()).status) << name;
        EXPECT_EQ(Bytes(kSeeds / name), Bytes(back)) << name;
    }
}

TEST_F(TableTool, ShowsRowsNestedRowsAndTheChangeLog) {
    const ToolRun text = Tool("show " + (kSeeds / "nested.bin").string());
    ASSERT_EQ(0, text.status);
    EXPECT_NE(std::string::npos, text.output.find("ITEMS = 3 detail row(s)"));
    EXPECT_NE(std::string::npos, text.output.find("change log: 8 entries"));

    const ToolRun json = Tool("show " + (kSeeds / "flat_logged.bin").string() + " --json");
    ASSERT_EQ(0, json.status);
    EXPECT_NE(std::string::npos,
              json.output.find(R"("changeLog":[{"record":5,"previous":2,"action":"modify"})"));
    EXPECT_NE(std::string::npos, json.output.find(R"("NAME":"ALPHA")"));
    EXPECT_EQ(2, Tool("show").status) << "usage";
}

}  // namespace
