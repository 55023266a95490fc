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
#include <unicode/ucoleitr.h>
#include <unicode/uloc.h>
#include <unicode/uset.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <vector>

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

    // Writes the sort key (without ICU's final zero byte) to out; returns its
    // length, which may exceed capacity.
    size_t KeyInto(const char16_t* text, size_t length, bool ignoreCase, uint8_t* out,
                   size_t capacity) const {
        return WithFolded(text, length, ignoreCase, [&](const char16_t* t, size_t n) -> size_t {
            if (!collator) {
                for (size_t i = 0; i < n && 2 * i + 1 < capacity; ++i) {
                    out[2 * i] = static_cast<uint8_t>(t[i] >> 8);
                    out[2 * i + 1] = static_cast<uint8_t>(t[i] & 0xFF);
                }
                return 2 * n;
            }
            // ICU ends the key in a zero byte that no other byte of it
            // equals; it is not part of the key handed out.
            uint8_t stackKey[1024];
            const int32_t needed =
                ucol_getSortKey(collator, t, static_cast<int32_t>(n), stackKey, sizeof stackKey);
            if (needed <= 0) return 0;
            const size_t length = static_cast<size_t>(needed) - 1;
            if (static_cast<size_t>(needed) <= sizeof stackKey) {
                std::memcpy(out, stackKey, std::min(length, capacity));
            } else {
                std::vector<uint8_t> whole(static_cast<size_t>(needed));
                ucol_getSortKey(collator, t, static_cast<int32_t>(n), whole.data(), needed);
                std::memcpy(out, whole.data(), std::min(length, capacity));
            }
            return length;
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
    const size_t n = TextLength(text, length);
    uint8_t stackKey[512];
    size_t keyLength = SortKeyInto(text, n, ignoreCase, stackKey, sizeof stackKey);
    if (keyLength <= sizeof stackKey)
        return std::string(reinterpret_cast<const char*>(stackKey), keyLength);
    std::string key(keyLength, '\0');
    keyLength =
        SortKeyInto(text, n, ignoreCase, reinterpret_cast<uint8_t*>(key.data()), key.size());
    key.resize(std::min(keyLength, key.size()));
    return key;
}

size_t Collation::SortKeyInto(const char* text, size_t length, bool ignoreCase, uint8_t* out,
                              size_t capacity) const {
    SmallBuffer<char16_t, kStackUnits> units(length);
    if (!units.data()) {
        // Out of memory for a huge text: its bytes.
        std::memcpy(out, text, std::min(length, capacity));
        return length;
    }
    const size_t u = detail::DecodeCp932(text, length, units.data());
    return impl_->KeyInto(units.data(), u, ignoreCase, out, capacity);
}

// ---- primary weights ----------------------------------------------------------

// What the cache knows of one code unit.
struct PrimaryWeights::Unit {
    enum : uint8_t { kUnknown, kAlone, kStarter, kInContext };
    uint8_t kind = kUnknown;
    uint8_t count = 0;  // weights, unless kInContext
    uint32_t weights[3] = {};
};

namespace {

// How a collation's contractions and contexts touch single code units;
// worked out once per locale and shared.
struct UnitContexts {
    enum : uint8_t { kStartsContraction = 1, kHasContext = 2 };
    std::vector<uint8_t> flags = std::vector<uint8_t>(0x10000, 0);
    // The first two code units of every contraction, as (first << 16) | second.
    std::vector<uint32_t> pairs;
    bool complete = false;
};

// Calls f(units, length) for every string of the set; false when a string
// is too long to look at.
template <typename F>
bool ForEachString(const USet* set, F&& f) {
    UChar text[64];
    for (int32_t i = 0, items = uset_getItemCount(set); i < items; ++i) {
        UChar32 start = 0, end = 0;
        UErrorCode error = U_ZERO_ERROR;
        const int32_t length = uset_getItem(set, i, &start, &end, text, 64, &error);
        if (U_FAILURE(error)) return false;
        if (length > 0) f(text, length);
    }
    return true;
}

std::shared_ptr<const UnitContexts> ContextsFor(const UCollator* collator,
                                                const std::string& locale) {
    static std::mutex lock;
    static std::vector<std::pair<std::string, std::shared_ptr<const UnitContexts>>> known;
    std::lock_guard guard(lock);
    for (const auto& [name, contexts] : known) {
        if (name == locale) return contexts;
    }
    auto contexts = std::make_shared<UnitContexts>();
    USet* plain = uset_openEmpty();
    USet* withPrefixes = uset_openEmpty();
    UErrorCode error = U_ZERO_ERROR;
    if (plain && withPrefixes) {
        ucol_getContractionsAndExpansions(collator, plain, nullptr, false, &error);
        ucol_getContractionsAndExpansions(collator, withPrefixes, nullptr, true, &error);
    }
    bool complete = U_SUCCESS(error) && plain && withPrefixes;
    // A contraction changes a text only where its first two units stand
    // side by side (discontiguous ones need a combining mark, which never
    // stands alone).
    complete = complete && ForEachString(plain, [&](const UChar* text, int32_t length) {
                   if (length < 2) return;
                   contexts->flags[text[0]] |= UnitContexts::kStartsContraction;
                   contexts->pairs.push_back(static_cast<uint32_t>(text[0]) << 16 | text[1]);
               });
    // A unit whose weights depend on what precedes it never stands alone.
    complete = complete && ForEachString(withPrefixes, [&](const UChar* text, int32_t length) {
                   if (!uset_containsString(plain, text, length))
                       contexts->flags[text[length - 1]] |= UnitContexts::kHasContext;
               });
    if (plain) uset_close(plain);
    if (withPrefixes) uset_close(withPrefixes);
    std::sort(contexts->pairs.begin(), contexts->pairs.end());
    contexts->complete = complete;
    known.emplace_back(locale, contexts);
    return contexts;
}

}  // namespace

struct PrimaryWeights::State {
    UCollationElements* elements = nullptr;
    std::shared_ptr<const UnitContexts> contexts;
    // The cache, 256 code units to a page, pages made when first needed.
    std::unique_ptr<Unit[]> pages[256];

    ~State() {
        if (elements) ucol_closeElements(elements);
    }
};

PrimaryWeights::PrimaryWeights(const Collation& collation) : collation_(collation) {
    const UCollator* collator = collation.impl_->collator;
    if (!collator) return;
    UErrorCode error = U_ZERO_ERROR;
    // Script reordering and ignorable punctuation change the order of the
    // weights the elements give; numeric ordering weighs digit runs.
    int32_t codes[8];
    const int32_t reordered = ucol_getReorderCodes(collator, codes, 8, &error);
    if (U_FAILURE(error) && error != U_BUFFER_OVERFLOW_ERROR) return;
    if (reordered != 0) return;
    error = U_ZERO_ERROR;
    if (ucol_getAttribute(collator, UCOL_ALTERNATE_HANDLING, &error) != UCOL_NON_IGNORABLE ||
        ucol_getAttribute(collator, UCOL_NUMERIC_COLLATION, &error) != UCOL_OFF || U_FAILURE(error))
        return;
    try {
        auto state = std::make_unique<State>();
        state->contexts = ContextsFor(collator, collation.impl_->locale);
        if (!state->contexts->complete) return;
        state->elements = ucol_openElements(collator, nullptr, 0, &error);
        if (U_FAILURE(error) || !state->elements) return;
        state_ = std::move(state);
        usable_ = true;
    } catch (const std::bad_alloc&) {
    }
}

PrimaryWeights::~PrimaryWeights() = default;

size_t PrimaryWeights::ThroughCollation(const char16_t* units, size_t count, uint32_t* out,
                                        size_t capacity) {
    UErrorCode error = U_ZERO_ERROR;
    ucol_setText(state_->elements, units, static_cast<int32_t>(count), &error);
    size_t n = 0;
    uint32_t pending = 0;  // a weight whose low half may follow
    bool havePending = false;
    auto emit = [&](uint32_t weight) {
        if (weight == 0) return;
        if (n < capacity) out[n] = weight;
        ++n;
    };
    for (;;) {
        const int32_t element = ucol_next(state_->elements, &error);
        if (U_FAILURE(error) || element == UCOL_NULLORDER) break;
        const auto e = static_cast<uint32_t>(element);
        // A continuation carries the low 16 bits of the weight before it.
        if ((e & 0xC0) == 0xC0) {
            if (havePending) {
                pending |= e >> 16;
                emit(pending);
                havePending = false;
            }
            continue;
        }
        if (havePending) emit(pending);
        pending = e & 0xFFFF0000u;
        havePending = true;
    }
    if (havePending) emit(pending);
    return n;
}

const PrimaryWeights::Unit& PrimaryWeights::Lookup(char16_t unit) {
    std::unique_ptr<Unit[]>& page = state_->pages[unit >> 8];
    if (!page) page = std::make_unique<Unit[]>(256);
    Unit& u = page[unit & 0xFF];
    if (u.kind != Unit::kUnknown) return u;
    u.kind = Unit::kInContext;
    // Surrogates, units that combine with the one before them (a leading
    // combining class) and units whose weights depend on the one before.
    const uint8_t flags = state_->contexts->flags[unit];
    if ((unit >= 0xD800 && unit < 0xE000) || (flags & UnitContexts::kHasContext) != 0 ||
        u_getIntPropertyValue(unit, UCHAR_LEAD_CANONICAL_COMBINING_CLASS) != 0)
        return u;
    uint32_t weights[4];
    const size_t n = ThroughCollation(&unit, 1, weights, 4);
    if (n > 3) return u;
    u.count = static_cast<uint8_t>(n);
    std::copy_n(weights, n, u.weights);
    u.kind = (flags & UnitContexts::kStartsContraction) != 0 ? Unit::kStarter : Unit::kAlone;
    return u;
}

size_t PrimaryWeights::Weights(const char* text, size_t length, bool ignoreCase, uint32_t* out,
                               size_t capacity) {
    SmallBuffer<char16_t, kStackUnits> decoded(length);
    if (!decoded.data()) return 0;
    const size_t count = detail::DecodeCp932(text, length, decoded.data());
    return Collation::Impl::WithFolded(
        decoded.data(), count, ignoreCase,
        [&](const char16_t* units, size_t n) { return FromUnits(units, n, out, capacity); });
}

size_t PrimaryWeights::FromUnits(const char16_t* units, size_t n, uint32_t* out, size_t capacity) {
    const std::vector<uint32_t>& pairs = state_->contexts->pairs;
    size_t written = 0;
    for (size_t i = 0; i < n; ++i) {
        const Unit& u = Lookup(units[i]);
        if (u.kind == Unit::kInContext) return ThroughCollation(units, n, out, capacity);
        if (u.kind == Unit::kStarter && i + 1 < n &&
            std::binary_search(pairs.begin(), pairs.end(),
                               static_cast<uint32_t>(units[i]) << 16 | units[i + 1]))
            return ThroughCollation(units, n, out, capacity);
        for (uint8_t k = 0; k < u.count; ++k, ++written) {
            if (written < capacity) out[written] = u.weights[k];
        }
    }
    return written;
}

}  // namespace platform
