// Locale collation for the engine's 8-bit (code page 932) and UTF-16 texts.
// One Collation object per dataset locale; index ordering and value
// comparison both go through it, so they always agree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// True when the locale identifier names a locale the platform offers.
bool IsValidLocale(uint32_t lcid);

class Collation {
  public:
    // lcid 0, or one the platform does not know, selects the user's default locale.
    explicit Collation(uint32_t lcid);
    ~Collation();
    Collation(const Collation&) = delete;
    Collation& operator=(const Collation&) = delete;

    uint32_t lcid() const { return lcid_; }
    // The locale whose collation is in use (for diagnostics), e.g. "ja_JP".
    std::string localeName() const;

    // Compares two code page 932 texts of the given byte lengths (stopping at a
    // NUL when the length is -1); returns -1, 0 or 1. ignoreCase ignores letter
    // case and nothing else.
    int Compare(const char* a, ptrdiff_t aLength, const char* b, ptrdiff_t bLength,
                bool ignoreCase) const;
    // The same for UTF-16 texts given by their code-unit counts.
    int CompareUtf16(const char16_t* a, size_t aUnits, const char16_t* b, size_t bUnits,
                     bool ignoreCase) const;
    // A byte string whose bytewise order equals Compare's order (for bulk sorts).
    std::string SortKey(const char* text, ptrdiff_t length, bool ignoreCase) const;
    // The same key written to `out`, without allocating for short texts;
    // returns its length, which may exceed `capacity` (then only the
    // first `capacity` bytes are written).
    size_t SortKeyInto(const char* text, size_t length, bool ignoreCase, uint8_t* out,
                       size_t capacity) const;

  private:
    friend class PrimaryWeights;
    struct Impl;
    uint32_t lcid_;
    std::unique_ptr<Impl> impl_;
};

// The primary weights of texts under one collation, for bulk sorts: the
// weights the collation compares before any other difference (letters apart
// from case, accents and kana type), as 32-bit numbers in comparison order.
// Two texts whose weight sequences differ compare as those sequences do
// (the shorter first when one starts the other); texts with equal sequences
// need Compare or SortKey to be told apart. Characters that stand alone take
// their weights from a cache; texts with any other character (contractions,
// combining marks, context-dependent marks) are run through the collation.
// One object per sort: not for use from several threads at once.
class PrimaryWeights {
  public:
    explicit PrimaryWeights(const Collation& collation);
    ~PrimaryWeights();
    PrimaryWeights(const PrimaryWeights&) = delete;
    PrimaryWeights& operator=(const PrimaryWeights&) = delete;

    // False when the collation's order does not start with these weights as
    // numbers (reordered scripts, ignorable punctuation, numeric digits, no
    // collation data): Weights must not be used then.
    bool usable() const { return usable_; }
    const Collation& collation() const { return collation_; }
    // Writes the weights of a code page 932 text of `length` bytes to `out`
    // and returns their count, which may exceed `capacity` (then only the
    // first `capacity` are written).
    size_t Weights(const char* text, size_t length, bool ignoreCase, uint32_t* out,
                   size_t capacity);

  private:
    struct Unit;
    const Unit& Lookup(char16_t unit);
    size_t FromUnits(const char16_t* units, size_t count, uint32_t* out, size_t capacity);
    size_t ThroughCollation(const char16_t* units, size_t count, uint32_t* out, size_t capacity);

    const Collation& collation_;
    bool usable_ = false;
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace platform
