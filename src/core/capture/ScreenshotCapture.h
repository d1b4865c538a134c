// Saves one decoded picture as an sRGB PNG file, replacing the destination
// only with a complete file. Safe to call from any number of threads at once.
#pragma once

#include "receive/PixelBuffer.h"

#include <filesystem>

namespace vistrel::ScreenshotCapture {

// Throws StreamError: "Could not create the screenshot." when the picture
// cannot be converted or encoded; the system's own error text for file errors.
void save(const PixelBuffer& picture, const std::filesystem::path& path);

} // namespace vistrel::ScreenshotCapture
