// Space collapsing while an entry is typed in, and trailing line breaks.
#include "records/format_data.h"

#include "platform/codepage.h"

namespace sarvenu {

namespace {

// Bytes of the character that starts at pos: two for a lead byte that has a
// byte after it, else one.
size_t CharLength(const std::string& text, size_t pos) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    return platform::IsDBCSLeadByte(byte) && pos + 1 < text.size() ? 2 : 1;
}

}  // namespace

std::optional<TCollapsed> CollapseSpaces(const std::string& text, size_t maxBytes) {
    // The copy, with every full-width space made an ASCII space, and the
    // offset of each character kept so that a pair is only ever found between
    // two whole one-byte characters.
    std::string copy;
    std::optional<size_t> pairAt;
    bool lastWasSpace = false;
    for (size_t pos = 0; pos < text.size();) {
        const size_t length = CharLength(text, pos);
        const bool wideSpace = length == 2 && text.compare(pos, 2, "\x81\x40") == 0;
        const size_t outLength = wideSpace ? 1 : length;
        // Never split a character at the limit.
        if (copy.size() + outLength > maxBytes) break;
        const bool space = wideSpace || (length == 1 && text[pos] == ' ');
        if (space && lastWasSpace && !pairAt) pairAt = copy.size() - 1;
        copy += wideSpace ? std::string(" ") : text.substr(pos, length);
        lastWasSpace = space;
        pos += length;
    }
    if (!pairAt) return std::nullopt;
    copy.erase(*pairAt, 1);
    return TCollapsed{copy, *pairAt + 1};
}

std::optional<TCollapsed> CollapseSpacesFully(const std::string& text, size_t maxBytes) {
    std::optional<TCollapsed> result = CollapseSpaces(text, maxBytes);
    if (!result) return std::nullopt;
    // Each step removes one byte, so this ends after at most text.size() steps.
    while (auto next = CollapseSpaces(result->text, maxBytes)) result = next;
    return result;
}

std::string TrimLineBreaks(const std::string& text) {
    std::string trimmed = text;
    while (trimmed.size() >= 2 && trimmed.compare(trimmed.size() - 2, 2, "\r\n") == 0)
        trimmed.resize(trimmed.size() - 2);
    return trimmed;
}

}  // namespace sarvenu
