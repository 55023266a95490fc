// Small helpers the program's fuzz targets share: a failed check aborts (so
// the fuzzer reports it), a private temporary directory, and writing the
// fuzzer's bytes as a file.
#pragma once

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz_support {

inline void Require(bool condition) {
    if (!condition) std::abort();
}

// A new directory under TMPDIR (or /tmp) named from the stem, ending in "/".
inline std::string MakeTempDirectory(const std::string& stem) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + stem + "_XXXXXX";
    Require(mkdtemp(pattern.data()) != nullptr);
    return pattern + "/";
}

inline void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    Require(file != nullptr);
    Require(size == 0 || std::fwrite(data, 1, size, file) == size);
    Require(std::fclose(file) == 0);
}

}  // namespace fuzz_support
