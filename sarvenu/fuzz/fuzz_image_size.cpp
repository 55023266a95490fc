// Fuzz target: arbitrary bytes as a picture file, its size read from the
// header as a ".gif" and as a ".jpg" file. The extension is matched without
// case, other extensions give 0, a GIF's size is the two little-endian words
// after its six-byte signature, and every size fits the 16-bit header fields.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "records/image_size.h"

#include "fuzz_support.h"

namespace {

using namespace fuzz_support;

// A private directory with "p.gif" and "p.jpg", and links to them under
// other spellings of the extension.
struct TPictureDirectory {
    std::string dir, gif, jpg, gifUpper, jpgMixed, jpegLong, other;

    TPictureDirectory() {
        dir = MakeTempDirectory("fuzz_image");
        gif = dir + "p.gif";
        jpg = dir + "p.jpg";
        gifUpper = dir + "q.GIF";
        jpgMixed = dir + "q.Jpg";
        jpegLong = dir + "q.jpeg";
        other = dir + "q.png";
        Require(symlink(gif.c_str(), gifUpper.c_str()) == 0);
        Require(symlink(jpg.c_str(), jpgMixed.c_str()) == 0);
        Require(symlink(jpg.c_str(), jpegLong.c_str()) == 0);
        Require(symlink(jpg.c_str(), other.c_str()) == 0);
    }
    ~TPictureDirectory() {
        for (const std::string* path : {&other, &jpegLong, &jpgMixed, &gifUpper, &jpg, &gif})
            std::remove(path->c_str());
        rmdir(dir.c_str());
    }
};

bool Within16Bits(int value) {
    return value >= 0 && value <= 0xFFFF;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TPictureDirectory pictures;
    WriteFile(pictures.gif, data, size);
    WriteFile(pictures.jpg, data, size);

    const int gifWidth = sarvenu::GetImageWidth(pictures.gif);
    const int gifHeight = sarvenu::GetImageHeight(pictures.gif);
    const bool isGif = size >= 10 && data[0] == 'G' && data[1] == 'I' && data[2] == 'F';
    Require(gifWidth == (isGif ? data[6] | (data[7] << 8) : 0));
    Require(gifHeight == (isGif ? data[8] | (data[9] << 8) : 0));
    Require(sarvenu::GetImageWidth(pictures.gifUpper) == gifWidth);
    Require(sarvenu::GetImageHeight(pictures.gifUpper) == gifHeight);

    const int jpgWidth = sarvenu::GetImageWidth(pictures.jpg);
    const int jpgHeight = sarvenu::GetImageHeight(pictures.jpg);
    Require(Within16Bits(jpgWidth) && Within16Bits(jpgHeight));
    Require(sarvenu::GetImageWidth(pictures.jpgMixed) == jpgWidth);
    Require(sarvenu::GetImageHeight(pictures.jpgMixed) == jpgHeight);
    Require(sarvenu::GetImageWidth(pictures.jpegLong) == jpgWidth);
    Require(sarvenu::GetImageHeight(pictures.jpegLong) == jpgHeight);

    Require(sarvenu::GetImageWidth(pictures.other) == 0);
    Require(sarvenu::GetImageHeight(pictures.other) == 0);
    return 0;
}
