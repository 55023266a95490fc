// Shared helpers of the archiver tests: a temporary directory per test, file
// reading and writing, running outside witness tools, binding the built
// libraries' entry points, and a small assembler for hand-made LZH members
// (headers of level 0, 1 and 2 around stored or given data).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "archivers/archiver_api.h"
#include "lzh/crc16.h"
#include "platform/library.h"

namespace archiver_test {

namespace fs = std::filesystem;

inline std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::vector<std::string> NamesIn(const fs::path& directory) {
    std::vector<std::string> names;
    if (!fs::exists(directory)) return names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Text-like bytes: words from a small vocabulary with numbers, seeded.
inline std::string SampleText(size_t size, unsigned seed) {
    static const char* words[] = {"survey", "work",  "office", "point", "sheet", "record",
                                  "value",  "table", "plan",   "chief", "cost",  "quality"};
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < size) {
        text += words[random() % 12];
        text += (random() % 7 == 0) ? std::to_string(random() % 1000) + "\n" : " ";
    }
    text.resize(size);
    return text;
}

inline std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

class TempDir : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "archivers-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    // A directory below the test's root, ending in "/".
    std::string Dir(const std::string& name) {
        fs::create_directories(root_ / name);
        return (root_ / name).string() + "/";
    }
    std::string Path(const std::string& name) const { return (root_ / name).string(); }

    fs::path root_;
};

// Runs a shell command quietly; its exit status.
inline int RunQuietly(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str());
}

inline bool HaveTool(const std::string& name) {
    return RunQuietly("command -v " + name) == 0;
}

// The entry points of one built library, found beside the test executable.
struct Library {
    explicit Library(const std::string& windowsName) {
        module = platform::LoadLibraryA(windowsName);
    }
    template <typename Proc>
    Proc Entry(const char* name) const {
        return reinterpret_cast<Proc>(platform::GetProcAddress(module, name));
    }
    int Command(const char* entry, const std::string& line, std::string* message = nullptr) const {
        char buffer[512] = {};
        int result =
            Entry<ArchiverCommandProc>(entry)(nullptr, line.c_str(), buffer, sizeof buffer);
        if (message) *message = buffer;
        return result;
    }
    platform::HMODULE module = nullptr;
};

// Hand-made LZH members.
inline void Le16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
inline void Le32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline uint16_t Crc(const std::string& data) {
    return lzh::Crc16(data.data(), data.size());
}

// Level 0: size byte, checksum, method, sizes, DOS time, attribute, level,
// name length, name, CRC.
inline std::string Level0Member(const std::string& name, const std::string& data,
                                const std::string& packed, const std::string& method = "-lh0-") {
    std::string body = method;
    Le32(body, static_cast<uint32_t>(packed.size()));
    Le32(body, static_cast<uint32_t>(data.size()));
    Le32(body, 0x5A8A6000);  // 2025-04-10 12:00:00
    body += '\x20';
    body += '\x00';
    body += static_cast<char>(name.size());
    body += name;
    Le16(body, Crc(data));
    uint8_t sum = 0;
    for (char c : body) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
    return std::string(1, static_cast<char>(body.size())) + static_cast<char>(sum) + body + packed;
}

// Level 1: level 0 form with OS id and extended headers (here one folder
// header) counted in the packed size.
inline std::string Level1Member(const std::string& name, const std::string& folder,
                                const std::string& data, const std::string& packed,
                                const std::string& method = "-lh0-") {
    std::string extension;
    if (!folder.empty()) {
        extension += '\x02';
        extension += folder;
        Le16(extension, 0);
    }
    std::string body = method;
    Le32(body, static_cast<uint32_t>(packed.size() + extension.size()));
    Le32(body, static_cast<uint32_t>(data.size()));
    Le32(body, 0x5A8A6000);
    body += '\x20';
    body += '\x01';
    body += static_cast<char>(name.size());
    body += name;
    Le16(body, Crc(data));
    body += 'M';
    Le16(body, static_cast<uint32_t>(extension.size()));
    uint8_t sum = 0;
    for (char c : body) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
    return std::string(1, static_cast<char>(body.size())) + static_cast<char>(sum) + body +
           extension + packed;
}

// Level 2 with a file-name header, an optional folder header and an optional
// header CRC (wrongCrc stores it off by one).
inline std::string Level2Member(const std::string& name, const std::string& folder,
                                const std::string& data, const std::string& packed,
                                const std::string& method = "-lh0-", bool withCrc = true,
                                bool wrongCrc = false) {
    std::vector<std::string> extensions;
    if (withCrc) extensions.push_back(std::string("\x00\x00\x00", 3));
    extensions.push_back("\x01" + name);
    if (!folder.empty()) extensions.push_back("\x02" + folder);
    size_t total = 26;
    for (const auto& e : extensions) total += e.size() + 2;
    std::string h;
    Le16(h, static_cast<uint32_t>(total));
    h += method;
    Le32(h, static_cast<uint32_t>(packed.size()));
    Le32(h, static_cast<uint32_t>(data.size()));
    Le32(h, 1700000000);
    h += '\x20';
    h += '\x02';
    Le16(h, Crc(data));
    h += 'U';
    for (const auto& e : extensions) {
        Le16(h, static_cast<uint32_t>(e.size() + 2));
        h += e;
    }
    Le16(h, 0);
    if (withCrc) {
        const uint16_t crc = static_cast<uint16_t>(Crc(h) + (wrongCrc ? 1 : 0));
        h[27] = static_cast<char>(crc & 0xFF);
        h[28] = static_cast<char>(crc >> 8);
    }
    return h + packed;
}

}  // namespace archiver_test
