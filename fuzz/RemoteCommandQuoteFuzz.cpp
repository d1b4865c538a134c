// RemoteCommand::quote on any text: single-quoted pieces joined by \' and
// nothing else, reading back as the text; a real bash agrees on a sample.
#include "ChildProcess.h"
#include "FuzzSupport.h"
#include "connection/RemoteCommand.h"

#include <functional>
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
    // An argument cannot hold a NUL; one input in 64 goes through bash.
    if (text.find('\0') == std::string_view::npos &&
        std::hash<std::string_view>{}(text) % 64 == 0) {
        const auto shell = vistrel::test::runProcess({"bash", "-c", "printf %s " + quoted});
        require(shell.exitStatus == 0 && shell.out == text, "bash reads it otherwise");
    }
    return 0;
}
