// Module JstrmK: character-width normalisation of an entry's code page 932
// text when it is left: full-width ASCII-like characters become half-width,
// half-width katakana (with their voiced and semi-voiced marks) full-width.
#pragma once

#include <string>

namespace sarvenu {

std::string NormalizeWidth(const std::string& cp932);

}  // namespace sarvenu
