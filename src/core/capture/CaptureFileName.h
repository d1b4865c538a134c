// The file a capture is written to: the path the user chose, with the
// capture's extension added when the name ends in another one. A recording
// typed as "clip.mov" is MP4 inside, so it is saved as "clip.mov.mp4", never
// as a file whose name lies about its content.
#pragma once

#include <string>
#include <string_view>

namespace vistrel::CaptureFileName {

// `path` unchanged when its name ends in "." + `extension` (in any case),
// else with it added.
std::string withExtension(std::string_view path, std::string_view extension);

} // namespace vistrel::CaptureFileName
