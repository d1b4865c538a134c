// How many access units still wait for the next PES start (a whole frame
// interval) under each signal that can end a picture sooner, on real streams
// sent by ffmpeg over UDP with the headset's settings and read in the
// datagrams ffmpeg cut: stuffing after the adaptation fields alone, plus a
// one-byte field without flags, plus the end of a short datagram.
//
//   picture_end_count [seconds]   (default 20 per size)
#include "HeadsetStream.h"
#include "receive/TransportStreamDemuxer.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

int main(int argc, char* argv[]) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    std::printf("| Size | Access units | Wait: stuffing only | + empty field | + datagram end |"
                " Cut short |\n|---|---|---|---|---|---|\n");
    try {
        for (const auto& [width, height] :
             {std::pair{320, 240}, {640, 480}, {1280, 720}, {1920, 1080}}) {
            vistrel::TransportStreamDemuxer demuxer;
            std::uint64_t units = 0;
            demuxer.setOnAccessUnit([&](std::span<const std::uint8_t>, bool) { ++units; });
            for (const auto& datagram : vistrel::test::sendHeadsetStream(width, height, seconds)) {
                demuxer.append(datagram);
            }
            demuxer.flush();
            const auto& early = demuxer.earlyCompletions();
            const std::uint64_t stuffingOnly = units - early.stuffing;
            const std::uint64_t withField = stuffingOnly - early.emptyField;
            const std::uint64_t withDatagram = withField - early.datagramEnd;
            auto share = [&](std::uint64_t n) {
                return 100.0 * static_cast<double>(n) / static_cast<double>(units);
            };
            std::printf(
                "| %d × %d | %llu | %llu (%.1f %%) | %llu (%.1f %%) | %llu (%.1f %%) | %llu |\n",
                width, height, static_cast<unsigned long long>(units),
                static_cast<unsigned long long>(stuffingOnly), share(stuffingOnly),
                static_cast<unsigned long long>(withField), share(withField),
                static_cast<unsigned long long>(withDatagram), share(withDatagram),
                static_cast<unsigned long long>(early.incomplete));
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
