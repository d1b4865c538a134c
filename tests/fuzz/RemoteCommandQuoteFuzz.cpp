// RemoteCommand::quote on any text: single-quoted pieces joined by \' and
// nothing else, reading back as the text.
#include "FuzzSupport.h"
#include "connection/RemoteCommand.h"

#include <string>

using vistrel::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string quoted = vistrel::RemoteCommand::quote(text);
    require(quoted.size() >= 2 && quoted.front() == '\'' && quoted.back() == '\'',
            "not quoted at both ends");
    std::string read;
    bool inside = false;
    for (std::size_t i = 0; i < quoted.size(); ++i) {
        if (quoted[i] == '\'') {
            inside = !inside;
        } else if (inside) {
            read += quoted[i];
        } else {
            require(quoted.compare(i++, 2, "\\'") == 0, "something unquoted besides \\'");
            read += '\'';
        }
    }
    require(!inside && read == text, "does not read back as the text");
    return 0;
}
