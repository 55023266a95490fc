// Encodes an image as a GIF89a picture with a fixed palette: each pixel takes
// the index of its colour in the palette, or of the nearest palette colour when
// it is not there (no quantiser, no dithering).
#pragma once

#include <QImage>
#include <QRgb>
#include <span>
#include <string>

namespace sarvenu {

// The palette must hold a power of two between 2 and 256 colours. On failure
// *error holds giflib's reason (ASCII) and *bytes is unchanged.
bool EncodeGif(const QImage& image, std::span<const QRgb> palette, std::string* bytes,
               std::string* error);

// The palette index for a colour: exact match first, else the nearest colour
// (squared distance in RGB).
int PaletteIndex(QRgb colour, std::span<const QRgb> palette);

}  // namespace sarvenu
