#include "index/comparators.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/collation.h"

namespace pelmora {

namespace {

int Sign(int v) {
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

uint16_t LoadCount(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// The byte count of a varying value, kept within the field.
uint32_t VaryingCount(const uint8_t* p, uint32_t width) {
    if (width < 2) return 0;
    return std::min<uint32_t>(LoadCount(p), width - 2);
}

int CompareBytesThenLength(const uint8_t* a, uint32_t an, const uint8_t* b, uint32_t bn) {
    const uint32_t n = std::min(an, bn);
    if (n != 0) {
        if (int c = std::memcmp(a, b, n); c != 0) return Sign(c);
    }
    return an < bn ? -1 : (an > bn ? 1 : 0);
}

void CopyVaryingValue(void* destination, const void* source, uint32_t width) {
    const auto* src = static_cast<const uint8_t*>(source);
    const uint32_t n = width < 2 ? width : VaryingCount(src, width) + 2;
    if (n != 0) std::memcpy(destination, source, n);
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

int FLDObj::Compare(const void* a, const void* b) const {
    int result;
    if (a == nullptr || b == nullptr) {
        result = (a == nullptr && b == nullptr) ? 0 : (a == nullptr ? -1 : 1);
    } else {
        result = Order(static_cast<const uint8_t*>(a), static_cast<const uint8_t*>(b));
    }
    return descending_ ? -result : result;
}

void FLDObj::CopyValue(void* destination, const void* source) const {
    if (width_ != 0) std::memcpy(destination, source, width_);
}

int FLDObj::Order(const uint8_t* a, const uint8_t* b) const {
    return width_ == 0 ? 0 : Sign(std::memcmp(a, b, width_));
}

template <typename T>
void FLDInteger<T>::CopyValue(void* destination, const void* source) const {
    std::memcpy(destination, source, sizeof(T));
}

template <typename T>
int FLDInteger<T>::Order(const uint8_t* a, const uint8_t* b) const {
    T x;
    T y;
    std::memcpy(&x, a, sizeof x);
    std::memcpy(&y, b, sizeof y);
    return x < y ? -1 : (y < x ? 1 : 0);
}

template class FLDInteger<int8_t>;
template class FLDInteger<uint8_t>;
template class FLDInteger<int16_t>;
template class FLDInteger<uint16_t>;
template class FLDInteger<int32_t>;
template class FLDInteger<uint32_t>;
template class FLDInteger<int64_t>;
template class FLDInteger<uint64_t>;

void FLDFloat::CopyValue(void* destination, const void* source) const {
    std::memcpy(destination, source, sizeof(double));
}

int FLDFloat::Order(const uint8_t* a, const uint8_t* b) const {
    double x;
    double y;
    std::memcpy(&x, a, sizeof x);
    std::memcpy(&y, b, sizeof y);
    // Unordered values (not a number) compare as equal.
    return x < y ? -1 : (y < x ? 1 : 0);
}

int FLDBcd::Order(const uint8_t* a, const uint8_t* b) const {
    if (width() < 2) return 0;
    const uint16_t wa = LoadCount(a);
    const uint16_t wb = LoadCount(b);
    // The header word is dominated by the sign bit: negative values carry the
    // larger word and sort first.
    if (wa != wb) return wa > wb ? -1 : 1;
    if (width() == 2) return 0;
    const int c = Sign(std::memcmp(a + 2, b + 2, width() - 2));
    return (a[1] & 0x80) != 0 ? -c : c;
}

void FLDString::CopyValue(void* destination, const void* source) const {
    if (width() == 0) return;
    const size_t n = strnlen(static_cast<const char*>(source), width() - 1);
    std::memcpy(destination, source, n);
    static_cast<char*>(destination)[n] = '\0';
}

int FLDString::Order(const uint8_t* a, const uint8_t* b) const {
    const auto* sa = reinterpret_cast<const char*>(a);
    const auto* sb = reinterpret_cast<const char*>(b);
    const size_t an = strnlen(sa, width());
    const size_t bn = strnlen(sb, width());
    if (collation_ != nullptr) {
        return collation_->Compare(sa, static_cast<ptrdiff_t>(an), sb, static_cast<ptrdiff_t>(bn),
                                   caseInsensitive_);
    }
    const size_t n = std::min(an, bn);
    for (size_t i = 0; i < n; ++i) {
        const char ca = caseInsensitive_ ? AsciiLower(sa[i]) : sa[i];
        const char cb = caseInsensitive_ ? AsciiLower(sb[i]) : sb[i];
        if (ca != cb) return static_cast<uint8_t>(ca) < static_cast<uint8_t>(cb) ? -1 : 1;
    }
    return an < bn ? -1 : (an > bn ? 1 : 0);
}

void FLDUniCode::CopyValue(void* destination, const void* source) const {
    CopyVaryingValue(destination, source, width());
}

int FLDUniCode::Order(const uint8_t* a, const uint8_t* b) const {
    const uint32_t an = VaryingCount(a, width());
    const uint32_t bn = VaryingCount(b, width());
    if (collation_ == nullptr) return CompareBytesThenLength(a + 2, an, b + 2, bn);
    // Slot values are not aligned for char16_t: copy them out first, on the
    // stack when short. Without memory, fall back to the bytewise order.
    constexpr size_t kInline = 256;
    char16_t inlineA[kInline];
    char16_t inlineB[kInline];
    std::unique_ptr<char16_t[]> heapA;
    std::unique_ptr<char16_t[]> heapB;
    char16_t* ua = inlineA;
    char16_t* ub = inlineB;
    if (an / 2 > kInline) {
        heapA.reset(new (std::nothrow) char16_t[an / 2]);
        ua = heapA.get();
    }
    if (bn / 2 > kInline) {
        heapB.reset(new (std::nothrow) char16_t[bn / 2]);
        ub = heapB.get();
    }
    if (ua == nullptr || ub == nullptr) return CompareBytesThenLength(a + 2, an, b + 2, bn);
    std::memcpy(ua, a + 2, an / 2 * 2);
    std::memcpy(ub, b + 2, bn / 2 * 2);
    return collation_->CompareUtf16(ua, an / 2, ub, bn / 2, caseInsensitive_);
}

void FLDVarBytes::CopyValue(void* destination, const void* source) const {
    CopyVaryingValue(destination, source, width());
}

int FLDVarBytes::Order(const uint8_t* a, const uint8_t* b) const {
    const uint32_t an = VaryingCount(a, width());
    const uint32_t bn = VaryingCount(b, width());
    return CompareBytesThenLength(a + 2, an, b + 2, bn);
}

void FLDBlob::CopyValue(void* destination, const void* source) const {
    std::memcpy(destination, source, 4);
}

EngineResult MakeComparator(const FieldDesc& field, bool descending, bool caseInsensitive,
                            const platform::Collation* collation, std::unique_ptr<FLDObj>& out) {
    const uint32_t t = field.type;
    const uint32_t w = field.length;
    FLDObj* made = nullptr;
    switch (t) {
        case FLD_BLOB:
        case FLD_ADT:
        case FLD_ARRAY:
        case FLD_REF:
        case FLD_TABLE:
            return DSERR_INVALIDFLDTYPE;
        case FLD_INT8:
            made = new (std::nothrow) FLDInt8(t, w, descending);
            break;
        case FLD_UINT8:
        case FLD_BOOL8:
            made = new (std::nothrow) FLDUInt8(t, w, descending);
            break;
        case FLD_INT16:
            made = new (std::nothrow) FLDInt16(t, w, descending);
            break;
        case FLD_UINT16:
        case FLD_BOOL16:
            made = new (std::nothrow) FLDUInt16(t, w, descending);
            break;
        case FLD_INT32:
            made = new (std::nothrow) FLDInt32(t, w, descending);
            break;
        case FLD_UINT32:
        case FLD_DATE:
        case FLD_TIME:
        case FLD_BOOL32:
            made = new (std::nothrow) FLDUInt32(t, w, descending);
            break;
        case FLD_INT64:
            made = new (std::nothrow) FLDInt64(t, w, descending);
            break;
        case FLD_UINT64:
            made = new (std::nothrow) FLDUInt64(t, w, descending);
            break;
        case FLD_FLOAT:
        case FLD_TIMESTAMP:
            made = new (std::nothrow) FLDFloat(t, w, descending);
            break;
        case FLD_BCD:
            made = new (std::nothrow) FLDBcd(t, w, descending);
            break;
        case FLD_STRING:
            made = new (std::nothrow) FLDString(w, descending, caseInsensitive, collation);
            break;
        case FLD_UNICODE:
            made = new (std::nothrow) FLDUniCode(w, descending, caseInsensitive, collation);
            break;
        case FLD_VARBYTES:
            made = new (std::nothrow) FLDVarBytes(t, w, descending);
            break;
        default:
            made = new (std::nothrow) FLDObj(t, w, descending);
            break;
    }
    if (made == nullptr) return DSERR_NOMEMORY;
    out.reset(made);
    return DS_OK;
}

}  // namespace pelmora
