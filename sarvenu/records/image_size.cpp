#include "records/image_size.h"

#include <strings.h>

#include <cstdio>
#include <memory>

namespace sarvenu {

namespace {

struct TSize {
    int width = 0;
    int height = 0;
};

using TFile = std::unique_ptr<FILE, int (*)(FILE*)>;

// Reads one byte; false at the end of the file or on a read error.
bool ReadByte(FILE* file, int& byte) {
    byte = std::fgetc(file);
    return byte != EOF;
}

bool ReadBig16(FILE* file, int& value) {
    int high, low;
    if (!ReadByte(file, high) || !ReadByte(file, low)) return false;
    value = (high << 8) | low;
    return true;
}

bool ReadLittle16(FILE* file, int& value) {
    int low, high;
    if (!ReadByte(file, low) || !ReadByte(file, high)) return false;
    value = (high << 8) | low;
    return true;
}

// The logical screen size after "GIF" and the three version bytes.
TSize GifSize(FILE* file) {
    TSize size;
    char signature[3];
    if (std::fread(signature, 1, 3, file) != 3) return size;
    if (signature[0] != 'G' || signature[1] != 'I' || signature[2] != 'F') return size;
    if (std::fseek(file, 3, SEEK_CUR) != 0) return size;
    int width, height;
    if (!ReadLittle16(file, width) || !ReadLittle16(file, height)) return size;
    size.width = width;
    size.height = height;
    return size;
}

bool IsStartOfFrame(int marker) {
    return (marker >= 0xC0 && marker <= 0xC3) || (marker >= 0xC9 && marker <= 0xCB) ||
           (marker >= 0xCD && marker <= 0xCF);
}

// Walks the markers after the start of image up to the first frame header.
TSize JpegSize(FILE* file) {
    TSize size;
    int byte;
    // The start-of-image marker: 0xFF, any further 0xFF, then 0xD8.
    for (;;) {
        if (!ReadByte(file, byte)) return size;
        if (byte != 0xFF) continue;
        do {
            if (!ReadByte(file, byte)) return size;
        } while (byte == 0xFF);
        if (byte == 0xD8) break;
    }
    for (;;) {
        if (!ReadByte(file, byte)) return size;
        if (byte != 0xFF) continue;
        int marker;
        if (!ReadByte(file, marker)) return size;
        if (marker == 0xD8) continue;
        if (marker != 0x01 && (marker < 0xC0 || marker > 0xFE)) return size;
        int length;
        if (!ReadBig16(file, length)) return size;
        if (IsStartOfFrame(marker)) {
            int precision, height, width;
            if (!ReadByte(file, precision) || !ReadBig16(file, height) || !ReadBig16(file, width))
                return size;
            size.width = width;
            size.height = height;
            return size;
        }
        // A length below 2 cannot be skipped backwards: the file is damaged.
        if (length < 2 || std::fseek(file, length - 2, SEEK_CUR) != 0) return size;
    }
}

bool HasExtension(const std::string& path, const char* extension) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    return strcasecmp(path.c_str() + dot, extension) == 0;
}

TSize ImageSize(const std::string& path) {
    const bool gif = HasExtension(path, ".gif");
    // ".jpeg" is the same format as ".jpg" and is measured the same way, so
    // that renaming a photo cannot get it past the size limit.
    const bool jpeg = HasExtension(path, ".jpg") || HasExtension(path, ".jpeg");
    if (!gif && !jpeg) return {};
    TFile file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return {};
    return gif ? GifSize(file.get()) : JpegSize(file.get());
}

}  // namespace

int GetImageWidth(const std::string& path) {
    return ImageSize(path).width;
}

int GetImageHeight(const std::string& path) {
    return ImageSize(path).height;
}

}  // namespace sarvenu
