// The picture that was on screen when a screenshot was asked for, on its way
// to the background work that saves it.
#pragma once

#include "receive/PixelBuffer.h"

namespace vistrel {

struct CapturedFrame {
    PixelBuffer buffer;
};

} // namespace vistrel
