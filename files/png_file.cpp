#include "files/png_file.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

void onPngError(png_structp png, png_const_charp message) {
    auto* error = static_cast<std::string*>(png_get_error_ptr(png));
    if (error != nullptr) *error = message;
    std::longjmp(png_jmpbuf(png), 1);
}

void onPngWarning(png_structp, png_const_charp) {}

}  // namespace

namespace {

// The PNG stream of an image into an open file; false, with the reason, when
// libpng fails (it reports through a long jump back here).
bool encodePng(FILE* file, int width, int height, int colourType, int channels, const uint8_t* pixels,
               std::string& error) {
    std::vector<png_const_bytep> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) rows[y] = pixels + static_cast<size_t>(y) * width * channels;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, onPngError, onPngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr) {
        png_destroy_write_struct(&png, &info);
        error = "cannot start the PNG writer";
        return false;
    }
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, colourType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_rows(png, const_cast<png_bytepp>(rows.data()), static_cast<png_uint_32>(height));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool writePng(const std::string& path, int width, int height, int channels, const uint8_t* pixels,
              std::string& error, const WriteOptions& options, int* errorNumber) {
    const int colourType = channels == 1 ? PNG_COLOR_TYPE_GRAY
                           : channels == 3 ? PNG_COLOR_TYPE_RGB
                           : channels == 4 ? PNG_COLOR_TYPE_RGBA
                                           : -1;
    if (colourType < 0) {
        error = "unsupported number of channels";
        return false;
    }
    if (width <= 0 || height <= 0 || pixels == nullptr) {
        error = "empty image";
        return false;
    }
    const WriteResult written = writeFileSafely(
        path,
        [&](FILE* file, std::string& why) { return encodePng(file, width, height, colourType, channels, pixels, why); },
        options);
    if (!written.ok) error = written.error;
    if (errorNumber != nullptr) *errorNumber = written.errorNumber;
    return written.ok;
}

bool readPngRgb(const std::string& path, int& width, int& height, std::vector<uint8_t>& rgb, std::string& error) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &error, onPngError, onPngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        error = "cannot start the PNG reader";
        return false;
    }
    std::vector<png_bytep> rows;  // before setjmp: a longjmp must not skip its destructor
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        if (error.empty()) error = "cannot read " + path;
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    // Whatever the file holds, 8-bit RGB comes out.
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    png_set_palette_to_rgb(png);
    png_set_expand_gray_1_2_4_to_8(png);
    png_set_gray_to_rgb(png);
    png_read_update_info(png, info);
    width = static_cast<int>(png_get_image_width(png, info));
    height = static_cast<int>(png_get_image_height(png, info));
    rgb.assign(static_cast<size_t>(width) * height * 3, 0);
    rows.resize(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) rows[y] = rgb.data() + static_cast<size_t>(y) * width * 3;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return true;
}

bool writePfm(const std::string& path, int width, int height, const float* rgb, std::string& error) {
    if (width <= 0 || height <= 0 || rgb == nullptr) {
        error = "empty image";
        return false;
    }
    const WriteResult written = writeFileSafely(path, [&](FILE* file, std::string& why) {
        // A negative scale marks little-endian floats.
        bool ok = std::fprintf(file, "PF\n%d %d\n-1.0\n", width, height) > 0;
        const size_t row = static_cast<size_t>(width) * 3;
        for (int y = height - 1; ok && y >= 0; --y) ok = std::fwrite(rgb + y * row, sizeof(float), row, file) == row;
        if (!ok) why = "cannot write " + path;
        return ok;
    });
    if (!written.ok) error = written.error;
    return written.ok;
}

bool readPfm(const std::string& path, int& width, int& height, std::vector<float>& rgb, std::string& error) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    double scale = 0;
    char kind[3] = {0, 0, 0};
    const bool header = std::fscanf(file, "%2s %d %d %lf", kind, &width, &height, &scale) == 4 &&
                        std::strcmp(kind, "PF") == 0 && width > 0 && height > 0 && scale < 0 &&
                        std::fgetc(file) == '\n';
    const size_t row = header ? static_cast<size_t>(width) * 3 : 0;
    rgb.assign(row * static_cast<size_t>(height), 0.0f);
    bool ok = header;
    for (int y = height - 1; ok && y >= 0; --y) ok = std::fread(rgb.data() + y * row, sizeof(float), row, file) == row;
    std::fclose(file);
    if (!ok) error = path + " is not a PFM file of little-endian RGB floats";
    return ok;
}
