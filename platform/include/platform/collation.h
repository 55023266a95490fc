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

  private:
    struct Impl;
    uint32_t lcid_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
