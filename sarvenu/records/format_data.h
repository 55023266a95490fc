// Module FormatData: the normalisation of spaces while an entry is typed in,
// and of trailing line breaks when a multi-line entry is left. Texts are
// code page 932.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace sarvenu {

struct TCollapsed {
    std::string text;
    size_t caret;  // byte offset right after the remaining space
};

// One step of collapsing: every full-width space becomes an ASCII space in a
// copy (limited to maxBytes); if the copy holds two ASCII spaces in a row, the
// first of the first pair is deleted and the copy is returned with the caret
// after the remaining space. Without such a pair nothing is returned and the
// entry stays untouched (a lone full-width space stays full-width).
std::optional<TCollapsed> CollapseSpaces(const std::string& text, size_t maxBytes);
// Repeats CollapseSpaces until no pair is left (what the entry's change
// handler does, as each replacement is itself a change); nullopt when the
// first step changes nothing.
std::optional<TCollapsed> CollapseSpacesFully(const std::string& text, size_t maxBytes);

// Removes trailing CR LF pairs while the text is at least two bytes long.
std::string TrimLineBreaks(const std::string& text);

}  // namespace sarvenu
