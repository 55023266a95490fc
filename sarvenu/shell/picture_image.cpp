// Picture loading. JPEG goes through libjpeg with an error manager that
// returns to the decoder instead of ending the process; any warning about
// the data (a truncated file, corrupt entropy data) fails the decode as well,
// so that a damaged picture shows as no picture rather than as grey bands.
#include "shell/picture_image.h"

#include <QImageReader>
#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include <jpeglib.h>

namespace sarvenu {

namespace {

// Pictures larger than this are refused before any pixel memory is taken.
constexpr unsigned long long kMaxPixels = 64ull * 1024 * 1024;
constexpr std::streamoff kMaxFileBytes = 256ll * 1024 * 1024;

struct TJpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void JpegFail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<TJpegError*>(info->err)->jump, 1);
}

// Level -1 is a warning about the data; higher levels are trace messages.
void JpegMessage(j_common_ptr info, int level) {
    if (level < 0) std::longjmp(reinterpret_cast<TJpegError*>(info->err)->jump, 1);
}

void JpegQuiet(j_common_ptr) {}

// Everything the decoder builds lives outside the function that calls
// setjmp, so a jump back leaves nothing half-destroyed.
struct TJpegJob {
    const std::vector<unsigned char>* bytes;
    QImage image;
    std::vector<unsigned char> cmykRow;
};

void CmykToRgb(const unsigned char* cmyk, uchar* out, JDIMENSION width, bool inverted) {
    auto* pixels = reinterpret_cast<QRgb*>(out);
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4) {
        int c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        pixels[x] = qRgb(c * k / 255, m * k / 255, y * k / 255);
    }
}

bool Decode(TJpegJob* job) {
    jpeg_decompress_struct info;
    TJpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JpegFail;
    error.manager.emit_message = JpegMessage;
    error.manager.output_message = JpegQuiet;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        job->image = QImage();
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, job->bytes->data(), static_cast<unsigned long>(job->bytes->size()));
    jpeg_read_header(&info, TRUE);
    switch (info.jpeg_color_space) {
        case JCS_GRAYSCALE:
            info.out_color_space = JCS_GRAYSCALE;
            break;
        case JCS_CMYK:
        case JCS_YCCK:
            info.out_color_space = JCS_CMYK;
            break;
        default:
            info.out_color_space = JCS_RGB;
            break;
    }
    if (static_cast<unsigned long long>(info.image_width) * info.image_height > kMaxPixels) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_start_decompress(&info);
    const bool cmyk = info.out_color_space == JCS_CMYK;
    const QImage::Format format = info.out_color_space == JCS_GRAYSCALE ? QImage::Format_Grayscale8
                                  : cmyk                                ? QImage::Format_RGB32
                                                                        : QImage::Format_RGB888;
    const int components = info.out_color_space == JCS_GRAYSCALE ? 1 : cmyk ? 4 : 3;
    if (info.output_components != components) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    job->image =
        QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height), format);
    if (job->image.isNull()) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    if (cmyk) job->cmykRow.resize(static_cast<size_t>(info.output_width) * 4);
    while (info.output_scanline < info.output_height) {
        const int line = static_cast<int>(info.output_scanline);
        JSAMPROW row = cmyk ? job->cmykRow.data() : job->image.scanLine(line);
        if (jpeg_read_scanlines(&info, &row, 1) != 1) {
            jpeg_destroy_decompress(&info);
            job->image = QImage();
            return false;
        }
        if (cmyk)
            CmykToRgb(job->cmykRow.data(), job->image.scanLine(line), info.output_width,
                      info.saw_Adobe_marker);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

bool ReadFile(const std::string& path, std::vector<unsigned char>& bytes) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const std::streamoff size = in.tellg();
    if (size <= 0 || size > kMaxFileBytes) return false;
    bytes.resize(static_cast<size_t>(size));
    in.seekg(0);
    return static_cast<bool>(in.read(reinterpret_cast<char*>(bytes.data()), size));
}

bool StartsLikeJpeg(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char head[2] = {0, 0};
    return in.read(reinterpret_cast<char*>(head), 2) && head[0] == 0xFF && head[1] == 0xD8;
}

}  // namespace

QImage DecodeJpegFile(const std::string& path) {
    std::vector<unsigned char> bytes;
    if (!ReadFile(path, bytes)) return {};
    TJpegJob job{&bytes, {}, {}};
    if (!Decode(&job)) return {};
    return job.image;
}

QImage LoadPicture(const std::string& path) {
    if (StartsLikeJpeg(path)) return DecodeJpegFile(path);
    QImageReader reader(QString::fromStdString(path));
    reader.setDecideFormatFromContent(true);
    return reader.read();
}

}  // namespace sarvenu
