// GIF encoding through giflib into memory.
#include "report/gif_writer.h"

#include <gif_lib.h>

#include <vector>

namespace sarvenu {
namespace {

int WriteToString(GifFileType* gif, const GifByteType* data, int length) {
    static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), length);
    return length;
}

bool IsPowerOfTwo(size_t n) {
    return n != 0 && (n & (n - 1)) == 0;
}

int ColourBits(size_t colours) {
    int bits = 1;
    while ((size_t{1} << bits) < colours) ++bits;
    return bits;
}

}  // namespace

int PaletteIndex(QRgb colour, std::span<const QRgb> palette) {
    int best = 0;
    long bestDistance = -1;
    for (size_t i = 0; i < palette.size(); ++i) {
        const long dr = qRed(colour) - qRed(palette[i]);
        const long dg = qGreen(colour) - qGreen(palette[i]);
        const long db = qBlue(colour) - qBlue(palette[i]);
        const long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            best = static_cast<int>(i);
            bestDistance = distance;
        }
        if (distance == 0) break;
    }
    return best;
}

bool EncodeGif(const QImage& image, std::span<const QRgb> palette, std::string* bytes,
               std::string* error) {
    if (palette.size() < 2 || palette.size() > 256 || !IsPowerOfTwo(palette.size())) {
        if (error) *error = "palette size is not a power of two between 2 and 256";
        return false;
    }
    if (image.isNull()) {
        if (error) *error = "empty image";
        return false;
    }
    std::vector<GifColorType> colours;
    for (QRgb rgb : palette) {
        colours.push_back({static_cast<GifByteType>(qRed(rgb)),
                           static_cast<GifByteType>(qGreen(rgb)),
                           static_cast<GifByteType>(qBlue(rgb))});
    }
    ColorMapObject* map = GifMakeMapObject(static_cast<int>(colours.size()), colours.data());
    if (map == nullptr) {
        if (error) *error = "out of memory";
        return false;
    }

    std::string out;
    int code = 0;
    GifFileType* gif = EGifOpen(&out, WriteToString, &code);
    if (gif == nullptr) {
        GifFreeMapObject(map);
        if (error) *error = GifErrorString(code);
        return false;
    }
    EGifSetGifVersion(gif, true);  // GIF89a
    const int width = image.width();
    const int height = image.height();
    bool ok = EGifPutScreenDesc(gif, width, height, ColourBits(colours.size()), 0, map) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
    const QImage argb = image.convertToFormat(QImage::Format_RGB32);
    std::vector<GifPixelType> line(width);
    for (int y = 0; ok && y < height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            line[x] = static_cast<GifPixelType>(PaletteIndex(row[x], palette));
        }
        ok = EGifPutLine(gif, line.data(), width) == GIF_OK;
    }
    if (!ok && error) *error = GifErrorString(gif->Error);
    // Closing writes the trailer and frees the handle whatever happened.
    if (EGifCloseFile(gif, &code) != GIF_OK && ok) {
        ok = false;
        if (error) *error = GifErrorString(code);
    }
    GifFreeMapObject(map);
    if (ok) *bytes = std::move(out);
    return ok;
}

}  // namespace sarvenu
