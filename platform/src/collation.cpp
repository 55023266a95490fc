// Locale collation through ICU.
//
// The collator is the one of the locale ICU gives for the LCID
// (uloc_getLocaleForLCID); LCID 0 or one that names no locale ICU offers selects
// the user's default locale. ICU's "en_US_POSIX" (what a C or POSIX process
// locale turns into) is replaced by "en_US": Windows has no such collation, and
// its ASCII code-point order would make the order depend on whether LANG is set.
//
// Strength is identical: Windows distinguishes kana type and character width
// unless told otherwise, and ICU's Japanese tailoring puts those differences at
// the quaternary level (kana type) or below it (width). Identical strength also
// makes the order total on distinct texts (only canonically equivalent texts
// compare equal). Ignoring case means both texts are case-folded first; every
// other difference still counts.
//
// Compare and SortKey run the same collator over the same (folded) text, so
// the byte order of sort keys is Compare's order.
#include "platform/collation.h"

#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <cstring>
#include <new>
#include <set>

#include "codepage_internal.h"

namespace platform {
namespace {

// A buffer that lives on the stack for short texts; data() is null when a
// long text's buffer cannot be had.
template <typename T, size_t N>
class SmallBuffer {
  public:
    explicit SmallBuffer(size_t size) {
        if (size > N) {
            heap_.reset(new (std::nothrow) T[size]);
            data_ = heap_.get();
        }
    }
    T* data() { return data_; }

  private:
    T stack_[N];
    std::unique_ptr<T[]> heap_;
    T* data_ = stack_;
};

constexpr size_t kStackUnits = 256;
// u_strFoldCase produces at most three code units per code unit.
constexpr size_t kFoldExpansion = 3;

std::string LocaleNameForLcid(uint32_t lcid) {
    char name[ULOC_FULLNAME_CAPACITY + 1] = {};
    UErrorCode error = U_ZERO_ERROR;
    int32_t length = uloc_getLocaleForLCID(lcid, name, ULOC_FULLNAME_CAPACITY, &error);
    if (U_FAILURE(error) || length <= 0) return {};
    return std::string(name, static_cast<size_t>(length));
}

std::string LanguageOf(const std::string& locale) {
    char language[ULOC_LANG_CAPACITY + 1] = {};
    UErrorCode error = U_ZERO_ERROR;
    uloc_getLanguage(locale.c_str(), language, ULOC_LANG_CAPACITY, &error);
    return U_SUCCESS(error) ? std::string(language) : std::string();
}

const std::set<std::string>& AvailableLanguages() {
    static const std::set<std::string> languages = [] {
        std::set<std::string> result;
        int32_t count = uloc_countAvailable();
        for (int32_t i = 0; i < count; ++i) result.insert(LanguageOf(uloc_getAvailable(i)));
        result.erase(std::string());
        return result;
    }();
    return languages;
}

std::string ResolveLocale(uint32_t lcid) {
    std::string name =
        IsValidLocale(lcid) ? LocaleNameForLcid(lcid) : std::string(uloc_getDefault());
    if (name.rfind("en_US_POSIX", 0) == 0) name = "en_US";
    return name;
}

size_t TextLength(const char* text, ptrdiff_t length) {
    if (!text) return 0;
    return length < 0 ? std::strlen(text) : static_cast<size_t>(length);
}

int Sign(int value) {
    return value < 0 ? -1 : value > 0 ? 1 : 0;
}

}  // namespace

bool IsValidLocale(uint32_t lcid) {
    if (lcid == 0) return false;
    std::string name = LocaleNameForLcid(lcid);
    if (name.empty() || name == "root") return false;
    return AvailableLanguages().count(LanguageOf(name)) != 0;
}

struct Collation::Impl {
    UCollator* collator = nullptr;
    std::string locale;

    ~Impl() {
        if (collator) ucol_close(collator);
    }

    // False when case folding cannot change the text: ASCII without capitals
    // and the caseless blocks most Japanese text is made of (CJK symbols, kana
    // and ideographs, private use, half-width katakana and full-width signs).
    // Anything else is simply folded.
    static bool NeedsFolding(const char16_t* text, size_t length) {
        for (size_t i = 0; i < length; ++i) {
            char16_t unit = text[i];
            if (unit < 0x80) {
                if (unit >= 'A' && unit <= 'Z') return true;
            } else if (!((unit >= 0x3000 && unit < 0xA000) || (unit >= 0xE000 && unit < 0xF900) ||
                         (unit >= 0xFF61 && unit <= 0xFFEF))) {
                return true;
            }
        }
        return false;
    }

    // Calls f(text, length) with the text case-folded when asked.
    template <typename F>
    static auto WithFolded(const char16_t* text, size_t length, bool fold, F&& f) {
        if (!fold || !NeedsFolding(text, length)) return f(text, length);
        size_t capacity = length * kFoldExpansion;
        SmallBuffer<char16_t, kStackUnits * kFoldExpansion> folded(capacity);
        if (!folded.data()) return f(text, length);
        UErrorCode error = U_ZERO_ERROR;
        int32_t n = u_strFoldCase(folded.data(), static_cast<int32_t>(capacity), text,
                                  static_cast<int32_t>(length), U_FOLD_CASE_DEFAULT, &error);
        if (U_FAILURE(error) && error != U_STRING_NOT_TERMINATED_WARNING) return f(text, length);
        return f(folded.data(), static_cast<size_t>(n));
    }

    int CompareUnits(const char16_t* a, size_t aLength, const char16_t* b, size_t bLength,
                     bool ignoreCase) const {
        return WithFolded(a, aLength, ignoreCase, [&](const char16_t* fa, size_t fal) {
            return WithFolded(b, bLength, ignoreCase, [&](const char16_t* fb, size_t fbl) {
                if (!collator) {
                    // No collation data: code-unit order, the shorter first.
                    size_t common = fal < fbl ? fal : fbl;
                    for (size_t i = 0; i < common; ++i)
                        if (fa[i] != fb[i]) return fa[i] < fb[i] ? -1 : 1;
                    return fal < fbl ? -1 : fal > fbl ? 1 : 0;
                }
                return Sign(ucol_strcoll(collator, fa, static_cast<int32_t>(fal), fb,
                                         static_cast<int32_t>(fbl)));
            });
        });
    }

    std::string Key(const char16_t* text, size_t length, bool ignoreCase) const {
        return WithFolded(text, length, ignoreCase, [&](const char16_t* t, size_t n) {
            std::string key;
            if (!collator) {
                for (size_t i = 0; i < n; ++i) {
                    key += static_cast<char>(t[i] >> 8);
                    key += static_cast<char>(t[i] & 0xFF);
                }
                return key;
            }
            uint8_t stackKey[512];
            int32_t needed =
                ucol_getSortKey(collator, t, static_cast<int32_t>(n), stackKey, sizeof stackKey);
            if (needed <= 0) return key;
            if (static_cast<size_t>(needed) <= sizeof stackKey) {
                key.assign(reinterpret_cast<const char*>(stackKey), static_cast<size_t>(needed));
            } else {
                key.resize(static_cast<size_t>(needed));
                ucol_getSortKey(collator, t, static_cast<int32_t>(n),
                                reinterpret_cast<uint8_t*>(key.data()), needed);
            }
            // The key ends in a zero byte that no other byte of it equals; drop it.
            if (!key.empty() && key.back() == '\0') key.pop_back();
            return key;
        });
    }
};

Collation::Collation(uint32_t lcid) : lcid_(lcid), impl_(std::make_unique<Impl>()) {
    impl_->locale = ResolveLocale(lcid);
    UErrorCode error = U_ZERO_ERROR;
    impl_->collator = ucol_open(impl_->locale.c_str(), &error);
    if (U_FAILURE(error)) {
        impl_->collator = nullptr;
        error = U_ZERO_ERROR;
        impl_->collator = ucol_open("", &error);
        if (U_FAILURE(error)) impl_->collator = nullptr;
    }
    if (impl_->collator) {
        error = U_ZERO_ERROR;
        ucol_setStrength(impl_->collator, UCOL_IDENTICAL);
        ucol_setAttribute(impl_->collator, UCOL_NORMALIZATION_MODE, UCOL_ON, &error);
    }
}

Collation::~Collation() = default;

std::string Collation::localeName() const {
    return impl_->locale;
}

int Collation::Compare(const char* a, ptrdiff_t aLength, const char* b, ptrdiff_t bLength,
                       bool ignoreCase) const {
    size_t an = TextLength(a, aLength), bn = TextLength(b, bLength);
    // The same bytes are the same text under any collation.
    if (an == bn && (an == 0 || std::memcmp(a, b, an) == 0)) return 0;
    SmallBuffer<char16_t, kStackUnits> ua(an), ub(bn);
    if (!ua.data() || !ub.data()) {
        // Out of memory for a huge text: byte order, the shorter first.
        int r = std::memcmp(a, b, an < bn ? an : bn);
        return r != 0 ? Sign(r) : an < bn ? -1 : an > bn ? 1 : 0;
    }
    size_t au = detail::DecodeCp932(a, an, ua.data());
    size_t bu = detail::DecodeCp932(b, bn, ub.data());
    return impl_->CompareUnits(ua.data(), au, ub.data(), bu, ignoreCase);
}

int Collation::CompareUtf16(const char16_t* a, size_t aUnits, const char16_t* b, size_t bUnits,
                            bool ignoreCase) const {
    if (aUnits == bUnits && (aUnits == 0 || std::memcmp(a, b, aUnits * sizeof(char16_t)) == 0))
        return 0;
    return impl_->CompareUnits(a, aUnits, b, bUnits, ignoreCase);
}

std::string Collation::SortKey(const char* text, ptrdiff_t length, bool ignoreCase) const {
    size_t n = TextLength(text, length);
    SmallBuffer<char16_t, kStackUnits> units(n);
    if (!units.data()) return std::string(text, n);  // out of memory for a huge text
    size_t u = detail::DecodeCp932(text, n, units.data());
    return impl_->Key(units.data(), u, ignoreCase);
}

}  // namespace platform
