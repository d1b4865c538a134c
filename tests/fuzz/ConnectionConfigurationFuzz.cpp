// What the user types, as hostile as it gets. Input: one byte giving the
// host's length, two bytes of port, the host, then the user name. Whatever
// is accepted is a dotted IPv4 address that was trimmed of nothing but
// well-formed whitespace, a valid user name and a port; whatever is refused
// says one of the three sentences.
#include "FuzzSupport.h"
#include "connection/ConnectionConfiguration.h"
#include "connection/Messages.h"
#include "connection/StreamError.h"

#include <arpa/inet.h>
#include <clocale>
#include <cwchar>
#include <string_view>

using vistrel::fuzz::require;
namespace Messages = vistrel::Messages;

// Well-formed UTF-8 by the C library's own reading, not ours.
static bool wellFormed(std::string_view text) {
    std::mbstate_t state{};
    for (std::size_t at = 0; at < text.size();) {
        wchar_t scalar = 0;
        const std::size_t length =
            std::mbrtowc(&scalar, text.data() + at, text.size() - at, &state);
        if (length == 0 || length > 4 || static_cast<std::uint32_t>(scalar) > 0x10FFFF) {
            return false;
        }
        at += length;
    }
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool utf8 = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
    require(utf8, "no C.UTF-8 locale");
    if (size < 3) {
        return 0;
    }
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 3, size - 3);
    const std::string_view host = bytes.substr(0, data[0]);
    const std::string_view user = bytes.substr(host.size());
    const auto port = static_cast<std::uint16_t>((data[1] << 8) | data[2]);
    try {
        const vistrel::ConnectionConfiguration accepted(host, user, port);
        const std::string& address = accepted.host();
        in_addr parsed{};
        require(address.find('\0') == std::string::npos &&
                    ::inet_pton(AF_INET, address.c_str(), &parsed) == 1,
                "an accepted host that is no dotted IPv4 address");
        const auto first = ntohl(parsed.s_addr) >> 24;
        require(first >= 1 && first <= 223, "an accepted host outside 1 to 223");
        const std::size_t at = host.find(address);
        require(at != std::string_view::npos && wellFormed(host.substr(0, at)) &&
                    wellFormed(host.substr(at + address.size())),
                "trimmed something that is not well-formed text");
        require(!user.empty() && user.size() <= 64 && user.front() != '-' &&
                    user.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                           "0123456789_-") == std::string_view::npos,
                "an invalid user name accepted");
        require(port != 0, "port 0 accepted");
    } catch (const vistrel::StreamError& refused) {
        require(refused.message() == Messages::invalidAddress ||
                    refused.message() == Messages::invalidUsername ||
                    refused.message() == Messages::invalidPort,
                "a refusal without one of its sentences");
    }
    return 0;
}
