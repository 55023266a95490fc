// Module ImageSize: the pixel size of GIF and JPEG picture files, read from
// their headers without decoding. The extension decides the format (".gif",
// ".jpg", compared without case); any other extension, a file that cannot be
// read or a header that does not parse gives 0.
#pragma once

#include <string>

namespace sarvenu {

int GetImageWidth(const std::string& path);
int GetImageHeight(const std::string& path);

}  // namespace sarvenu
