// LIKE patterns of filter expressions: '%' any run of characters, '_'
// exactly one character, '\' makes the next character literal; anchored at
// both ends. Characters are those of the system code page: a double-byte
// character is one character, so its second byte is never taken for '\',
// '_' or '%', and a literal never matches at a second-byte position.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {
class Collation;
}

namespace pelmora {

class QPattern {
  public:
    void Compile(const char* pattern, size_t length);
    bool Match(const char* text, size_t length, bool ignoreCase,
               const platform::Collation& collation) const;

  private:
    struct Item {
        bool any = false;
        size_t literal = 0;  // offset into literals_
        size_t bytes = 0;    // 1 or 2
    };
    struct Segment {
        size_t begin;  // items
        size_t end;
        size_t length;  // characters it covers
    };

    bool Candidate(const Segment& s, size_t pos) const;
    bool MatchAt(const Segment& s, size_t pos) const;
    size_t CharacterBytes(size_t pos) const { return starts_[pos + 1] - starts_[pos]; }

    std::vector<Item> items_;
    std::string literals_;
    std::vector<Segment> segments_;
    bool leadingPercent_ = false;
    bool trailingPercent_ = false;
    // The text being matched and where each of its characters starts (one
    // more entry than characters, the last at the text's end).
    mutable const char* text_ = nullptr;
    mutable std::vector<size_t> starts_;
    mutable bool ignoreCase_ = false;
    mutable const platform::Collation* collation_ = nullptr;
};

}  // namespace pelmora
