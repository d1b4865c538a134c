#include "capture/ScreenshotCapture.h"

#include "Messages.h"
#include "StreamError.h"
#include "receive/RgbConverter.h"
#include "support/UniqueFd.h"
#include "support/WriteAll.h"

#include <array>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <new>
#include <png.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vistrel::ScreenshotCapture {

namespace {

[[noreturn]] void conversionFailed() {
    throw StreamError(std::string(Messages::screenshotFailed));
}

[[noreturn]] void fileFailed(int error) {
    throw StreamError(systemErrorText(error) + ".");
}

// Converts the picture to tightly packed 8-bit RGBA.
std::vector<unsigned char> toRgba(const AVFrame& frame) {
    if (frame.width <= 0 || frame.height <= 0 || frame.width > 16384 || frame.height > 16384) {
        conversionFailed();
    }
    const auto stride = static_cast<std::size_t>(frame.width) * 4;
    std::vector<unsigned char> pixels(stride * static_cast<std::size_t>(frame.height));
    RgbConverter converter(RgbConverter::Precision::Exact);
    if (!converter.convert(frame, frame.width, frame.height, pixels.data(),
                           static_cast<int>(stride))) {
        conversionFailed();
    }
    return pixels;
}

struct PngSink {
    std::vector<unsigned char> bytes;
};

void appendToSink(png_structp png, png_bytep data, png_size_t length) {
    auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
    // png_error jumps away; from inside the catch block that would skip the
    // exception's own clean-up, so the jump waits until the block is left.
    bool outOfMemory = false;
    try {
        sink->bytes.insert(sink->bytes.end(), data, data + length);
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    }
    if (outOfMemory) {
        png_error(png, "out of memory");
    }
}

// libpng reports errors by longjmp back here; only plain values are alive
// between the setjmp and the calls that may jump.
bool encodeRows(const unsigned char* pixels, int width, int height, PngSink* sink) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, sink, appendToSink, nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_sRGB_gAMA_and_cHRM(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    // Camera pictures gain little from harder compression, and a screenshot
    // should not take a second.
    png_set_compression_level(png, 3);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_write_info(png, info);
    const auto stride = static_cast<std::size_t>(width) * 4;
    for (int y = 0; y < height; ++y) {
        png_write_row(png, pixels + stride * static_cast<std::size_t>(y));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// The complete PNG file: 8-bit RGBA, tagged as sRGB.
std::vector<unsigned char> encodePng(const std::vector<unsigned char>& pixels, int width,
                                     int height) {
    PngSink sink;
    sink.bytes.reserve(pixels.size() / 2);
    if (!encodeRows(pixels.data(), width, height, &sink)) {
        conversionFailed();
    }
    return std::move(sink.bytes);
}

// Writes `data` to a new file beside `path`, flushes it to disk and renames it
// over `path`, so `path` is either the old file or the complete new one.
void replaceAtomically(const std::filesystem::path& path, const std::vector<unsigned char>& data) {
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    // Created with the usual permissions (umask applies), never over an
    // existing file: a name already taken is simply drawn again. The name is
    // short whatever the chosen one, which may already be as long as a name
    // can be.
    std::random_device random;
    std::string temporary;
    UniqueFd fd;
    for (int attempt = 0; !fd; ++attempt) {
        std::array<char, 32> name{};
        std::snprintf(name.data(), name.size(), ".Vistrel-%08X%08X.tmp", random(), random());
        temporary = (folder / name.data()).string();
        fd = UniqueFd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!fd && (errno != EEXIST || attempt == 100)) {
            fileFailed(errno);
        }
    }
    auto fail = [&](int error) {
        fd.reset();
        ::unlink(temporary.c_str());
        fileFailed(error);
    };
    if (const int error = writeAll(fd.get(), data); error != 0) {
        fail(error);
    }
    if (::fsync(fd.get()) != 0) {
        fail(errno);
    }
    if (::close(fd.release()) != 0) {
        fail(errno);
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        fail(errno);
    }
}

} // namespace

void save(const PixelBuffer& picture, const std::filesystem::path& path) {
    if (picture.empty()) {
        conversionFailed();
    }
    const AVFrame& frame = *picture.frame();
    const std::vector<unsigned char> png = encodePng(toRgba(frame), frame.width, frame.height);
    replaceAtomically(path, png);
}

} // namespace vistrel::ScreenshotCapture
