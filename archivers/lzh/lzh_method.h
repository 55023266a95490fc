// The LZH compression methods handled here. -lh0- stores the data as it is;
// -lh5-, -lh6- and -lh7- share one format (a sliding dictionary with matches
// coded by static Huffman tables per block) and differ in dictionary size and
// in the number of distance classes.
#pragma once

#include <string_view>

namespace lzh {

struct MethodParams {
    const char* id;      // "-lh5-"
    int dictionaryBits;  // the dictionary holds 1 << dictionaryBits bytes
    int distanceCodes;   // symbols of the distance table
    int distanceBits;    // bits of the distance table's symbol count
};

constexpr int kMaxMatch = 256;
constexpr int kMinMatch = 3;
constexpr int kCharCodes = 256 + kMaxMatch - kMinMatch + 1;  // 510: literals, then lengths
constexpr int kLengthCodes = 19;                             // the table coding code lengths
constexpr int kLengthCodeBits = 5;
constexpr int kCharCodeBits = 9;

inline constexpr MethodParams kLh5{"-lh5-", 13, 14, 4};
inline constexpr MethodParams kLh6{"-lh6-", 15, 16, 5};
inline constexpr MethodParams kLh7{"-lh7-", 16, 17, 5};

// The parameters of a compressed method id, or null for any other id.
inline const MethodParams* FindMethod(std::string_view id) {
    if (id == kLh5.id) return &kLh5;
    if (id == kLh6.id) return &kLh6;
    if (id == kLh7.id) return &kLh7;
    return nullptr;
}

constexpr std::string_view kStored = "-lh0-";
constexpr std::string_view kDirectory = "-lhd-";

}  // namespace lzh
