// Loading a picture file for the contractor's sheet: JPEG through libjpeg,
// GIF (and anything else Qt reads) through Qt. A file that is missing,
// truncated or corrupt gives a null image, never a crash.
#pragma once

#include <QImage>
#include <string>

namespace sarvenu {

QImage LoadPicture(const std::string& path);
// JPEG only, through libjpeg; null on any error (errors never abort).
QImage DecodeJpegFile(const std::string& path);

}  // namespace sarvenu
