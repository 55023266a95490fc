// LIKE matching by characters of the system code page. The pattern is cut at
// every '%' into segments of fixed length; the first segment must match at
// the start, the last at the end, and each middle one is placed at its
// leftmost match, which always leaves the most room for the rest, so the
// match needs no backtracking.
#include "expr/like_pattern.h"

#include <cstring>

#include "platform/codepage.h"
#include "platform/collation.h"

namespace pelmora {
namespace {

// Bytes of the character at i: 2 for a lead byte with a byte after it.
size_t CharacterWidth(const char* text, size_t i, size_t length) {
    return platform::IsDBCSLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < length ? 2 : 1;
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}
char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

}  // namespace

void QPattern::Compile(const char* pattern, size_t length) {
    items_.clear();
    literals_.clear();
    segments_.clear();
    leadingPercent_ = trailingPercent_ = false;
    Segment current{0, 0, 0};
    bool afterPercent = false;
    for (size_t i = 0; i < length;) {
        size_t width = CharacterWidth(pattern, i, length);
        if (width == 1 && pattern[i] == '%') {
            if (items_.empty()) leadingPercent_ = true;
            if (!afterPercent && current.end > current.begin) segments_.push_back(current);
            afterPercent = true;
            current = Segment{items_.size(), items_.size(), 0};
            ++i;
            continue;
        }
        afterPercent = false;
        Item item{};
        if (width == 1 && pattern[i] == '_') {
            item.any = true;
        } else {
            if (width == 1 && pattern[i] == '\\' && i + 1 < length) {
                ++i;
                width = CharacterWidth(pattern, i, length);
            }
            item.literal = literals_.size();
            item.bytes = width;
            literals_.append(pattern + i, width);
        }
        i += width;
        items_.push_back(item);
        current.end = items_.size();
        ++current.length;
    }
    trailingPercent_ = afterPercent;
    if (current.end > current.begin) segments_.push_back(current);
}

bool QPattern::Match(const char* text, size_t length, bool ignoreCase,
                     const platform::Collation& collation) const {
    text_ = text;
    ignoreCase_ = ignoreCase;
    collation_ = &collation;
    starts_.clear();
    for (size_t i = 0; i < length; i += CharacterWidth(text, i, length)) starts_.push_back(i);
    starts_.push_back(length);
    const size_t characters = starts_.size() - 1;

    size_t fixed = 0;
    for (const Segment& s : segments_) fixed += s.length;
    if (characters < fixed) return false;
    if (!leadingPercent_ && !trailingPercent_ && segments_.size() <= 1) {
        // No '%': the one segment is the whole text.
        const size_t n = segments_.empty() ? 0 : segments_[0].length;
        return characters == n && (n == 0 || MatchAt(segments_[0], 0));
    }
    size_t first = 0;
    size_t last = segments_.size();
    size_t pos = 0;
    size_t end = characters;
    if (!leadingPercent_) {
        if (!MatchAt(segments_[0], 0)) return false;
        pos = segments_[0].length;
        fixed -= segments_[0].length;
        first = 1;
    }
    if (!trailingPercent_ && last > first) {
        const Segment& s = segments_[last - 1];
        if (!MatchAt(s, characters - s.length)) return false;
        end = characters - s.length;
        fixed -= s.length;
        --last;
    }
    for (size_t k = first; k < last; ++k) {
        const Segment& s = segments_[k];
        fixed -= s.length;
        bool found = false;
        // Leave room for the segments still to come.
        while (pos + s.length + fixed <= end) {
            if (Candidate(s, pos) && MatchAt(s, pos)) {
                found = true;
                break;
            }
            ++pos;
        }
        if (!found) return false;
        pos += s.length;
    }
    return pos <= end;
}

// Quick test of the segment's first character at a place.
bool QPattern::Candidate(const Segment& s, size_t pos) const {
    const Item& item = items_[s.begin];
    if (item.any) return true;
    const char* want = literals_.data() + item.literal;
    const char* have = text_ + starts_[pos];
    if (CharacterBytes(pos) != item.bytes) return false;
    if (item.bytes == 2) return std::memcmp(have, want, 2) == 0 || ignoreCase_;
    if (!ignoreCase_) return *have == *want;
    return *have == Upper(*want) || *have == Lower(*want);
}

bool QPattern::MatchAt(const Segment& s, size_t pos) const {
    size_t i = s.begin;
    while (i < s.end) {
        if (items_[i].any) {
            ++i;
            ++pos;
            continue;
        }
        // A run of literal characters, contiguous in literals_.
        size_t j = i;
        while (j < s.end && !items_[j].any) ++j;
        const size_t n = j - i;
        const char* want = literals_.data() + items_[i].literal;
        const size_t wantBytes = items_[j - 1].literal + items_[j - 1].bytes - items_[i].literal;
        const char* have = text_ + starts_[pos];
        const size_t haveBytes = starts_[pos + n] - starts_[pos];
        if (ignoreCase_) {
            if (collation_->Compare(have, static_cast<ptrdiff_t>(haveBytes), want,
                                    static_cast<ptrdiff_t>(wantBytes), true) != 0) {
                return false;
            }
        } else if (haveBytes != wantBytes || std::memcmp(have, want, wantBytes) != 0) {
            return false;
        }
        pos += n;
        i = j;
    }
    return true;
}

}  // namespace pelmora
