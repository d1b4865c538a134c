// Typed settings, as hostile as they get: one byte of host length, two of
// port, the host, the user name. Accepted means a dotted IPv4 address from
// 1 to 223 trimmed of well-formed text only (the user name's rules are the
// unit table's); refused means one of the three sentences.
#include "FuzzSupport.h"
#include "Messages.h"
#include "StreamError.h"
#include "connection/ConnectionConfiguration.h"

#include <arpa/inet.h>
#include <clocale>
#include <cwchar>

using vistrel::fuzz::require;
namespace Messages = vistrel::Messages;

static bool wellFormed(std::string_view text) {
    std::mbstate_t state{};
    wchar_t scalar = 0;
    for (std::size_t at = 0, n = 0; at < text.size(); at += n) {
        n = std::mbrtowc(&scalar, text.data() + at, text.size() - at, &state);
        if (n == 0 || n > 4 || static_cast<std::uint32_t>(scalar) > 0x10FFFF) {
            return false;
        }
    }
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    require(std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr, "no C.UTF-8 locale");
    if (size < 3) {
        return 0;
    }
    const std::string_view text(reinterpret_cast<const char*>(data) + 3, size - 3);
    const std::string_view host = text.substr(0, data[0]);
    const std::string_view user = text.substr(host.size());
    const auto port = static_cast<std::uint16_t>((data[1] << 8) | data[2]);
    try {
        const std::string address = vistrel::ConnectionConfiguration(host, user, port).host();
        in_addr parsed{};
        const std::size_t at = host.find(address);
        require(address.find('\0') == std::string::npos &&
                    ::inet_pton(AF_INET, address.c_str(), &parsed) == 1 &&
                    (ntohl(parsed.s_addr) >> 24) - 1 < 223 && at != std::string_view::npos &&
                    wellFormed(host.substr(0, at)) && wellFormed(host.substr(at + address.size())),
                "accepted a host that is no address from 1 to 223 in well-formed spaces");
    } catch (const vistrel::StreamError& refused) {
        const std::string& sentence = refused.message();
        require(sentence == Messages::invalidAddress || sentence == Messages::invalidUsername ||
                    sentence == Messages::invalidPort,
                "a refusal without one of its sentences");
    }
    return 0;
}
