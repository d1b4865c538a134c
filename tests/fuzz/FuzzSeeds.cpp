// Writes the seed inputs of every harness, one folder each, into the folder
// given: cut from real headset-like streams that ffmpeg makes with the remote
// script's encoder settings, and typical typed texts. Run by the fuzz build;
// none of it is kept in the repository.
#include "FuzzSupport.h"
#include "HeadsetStream.h"
#include "receive/AnnexB.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;
using vistrel::test::Bytes;

void write(const fs::path& folder, const std::string& name, std::string_view bytes) {
    fs::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void write(const fs::path& folder, const std::string& name, std::span<const std::uint8_t> bytes) {
    write(folder, name, {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
}

// The stream cut into datagrams of `size` bytes, at most `count` of them.
Bytes datagrams(const Bytes& stream, std::size_t size, std::size_t count) {
    Bytes input;
    for (std::size_t at = 0; at < stream.size() && count-- > 0; at += size) {
        vistrel::fuzz::appendRecord(
            input, std::span(stream).subspan(at, std::min(size, stream.size() - at)));
    }
    return input;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    const fs::path out = argv[1];
    // The decoder harness starts from this stream's keyframe, so its later
    // access units are what a real stream would send next.
    const Bytes stream = vistrel::test::encodeHeadsetStream(160, 120, 0.5);
    const std::vector<Bytes> units = vistrel::test::referenceAccessUnits(stream);
    write(out / "demuxer", "stream", datagrams(stream, 1316, SIZE_MAX));
    write(out / "demuxer", "odd-cuts", datagrams(stream, 3 * 188 + 17, SIZE_MAX));
    write(out / "demuxer", "start", datagrams(stream, 1316, 12));
    for (std::size_t i = 0; i < std::min<std::size_t>(units.size(), 12); ++i) {
        write(out / "annexb", "unit-" + std::to_string(i), units[i]);
        write(out / "decoder", "unit-" + std::to_string(i), units[i]);
    }
    for (const char* format : {"yuv420p", "yuv422p", "yuv444p", "yuv420p10le"}) {
        const Bytes first = vistrel::test::referenceAccessUnits(
                                vistrel::test::encodeHeadsetStream(64, 48, 0.1, format))
                                .at(0);
        for (const auto unit : vistrel::AnnexB::units(first)) {
            if ((unit[0] & 0x1F) == 7) {
                write(out / "sps", format, unit);
            }
        }
    }
    const std::pair<std::string, std::string> typed[] = {
        {"192.168.4.10", "steamos"},    {" 10.0.0.2\n", "Deck_User-01"},
        {"\u00a0127.0.0.1\u3000", "a"}, {"192.168.4.256", "steam os"},
        {"headset.lan", "-steamos"},    {"223.255.255.255", std::string(64, 'x')},
    };
    for (std::size_t i = 0; i < std::size(typed); ++i) {
        const auto& [host, user] = typed[i];
        std::string input{static_cast<char>(host.size()), 0x1F, static_cast<char>(0x9A)};
        input += host;
        input += user;
        write(out / "configuration", "typed-" + std::to_string(i), input);
    }
    for (const char* text : {"", "plain", "it's", "'''", "$(id) `id` ${PATH}", "a\nb\\c\"d"}) {
        write(out / "quote", "text-" + std::to_string(std::hash<std::string_view>{}(text)), text);
    }
    write(out, "made", std::string_view("seeds made\n"));
    return 0;
}
