// Throughput of the receive path on a real 720p stream made by ffmpeg with
// the headset's encoder settings: our demuxer against libavformat's on the
// same bytes, and our decode path against bare libavcodec on the same access
// units. Both sides of each pair run in turn in every iteration, so that the
// ratio is taken under the same load, and are charged CPU time, not wall time:
// the machine is shared.
#include "ChildProcess.h"
#include "HeadsetStream.h"
#include "receive/TransportStreamDemuxer.h"
#include "receive/VideoDecoder.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include <cstring>

namespace {

using vistrel::test::Bytes;

struct Material {
    Bytes stream;
    std::vector<Bytes> accessUnits;
};

const Material& material() {
    static const Material m = [] {
        av_log_set_level(AV_LOG_QUIET);
        Material made;
        for (const Bytes& datagram : vistrel::test::sendHeadsetStream(1280, 720, 6.0)) {
            made.stream.insert(made.stream.end(), datagram.begin(), datagram.end());
        }
        made.accessUnits = vistrel::test::accessUnits(made.stream);
        return made;
    }();
    return m;
}

std::size_t demuxOurs(const Material& m) {
    vistrel::TransportStreamDemuxer demuxer;
    std::size_t units = 0;
    demuxer.setOnAccessUnit(
        [&](std::span<const std::uint8_t> unit, bool) { units += unit.empty() ? 0U : 1U; });
    // Datagrams of the sender's size, from the same memory libavformat reads.
    for (std::size_t offset = 0; offset < m.stream.size(); offset += 1316) {
        demuxer.append(std::span(m.stream).subspan(
            offset, std::min<std::size_t>(1316, m.stream.size() - offset)));
    }
    demuxer.flush();
    return units;
}

// libavformat's mpegts demuxer over an in-memory AVIOContext, without the
// H.264 parser (our demuxer has none either).
std::size_t demuxLibavformat(const Material& m) {
    std::size_t units = 0;
    vistrel::test::readMovie(m.stream, false,
                             [&](const AVPacket& packet) { units += packet.size > 0 ? 1 : 0; });
    return units;
}

// The demuxers run on this thread alone.
void Demux_RatioToLibavformat(benchmark::State& state) {
    const Material& m = material();
    double ours = 0;
    double theirs = 0;
    for (auto _ : state) {
        const double t0 = vistrel::test::threadCpuSeconds(pthread_self());
        const std::size_t a = demuxOurs(m);
        const double t1 = vistrel::test::threadCpuSeconds(pthread_self());
        const std::size_t b = demuxLibavformat(m);
        ours += t1 - t0;
        theirs += vistrel::test::threadCpuSeconds(pthread_self()) - t1;
        if (a != b) {
            state.SkipWithError("the demuxers disagree on the number of access units");
            return;
        }
    }
    const double megabytes =
        static_cast<double>(m.stream.size()) * static_cast<double>(state.iterations()) / 1e6;
    state.counters["ours_MBps"] = megabytes / ours;
    state.counters["libavformat_MBps"] = megabytes / theirs;
    state.counters["ratio"] = theirs / ours;
}
BENCHMARK(Demux_RatioToLibavformat)->Unit(benchmark::kMillisecond);

std::size_t decodeOurs(const Material& m) {
    vistrel::VideoDecoder decoder(vistrel::VideoDecoder::Acceleration::Software);
    std::size_t pictures = 0;
    decoder.setOnFrame([&](const vistrel::PixelBuffer&) { ++pictures; });
    for (const Bytes& unit : m.accessUnits) {
        decoder.decode(unit);
    }
    return pictures;
}

// libavcodec's H.264 decoder as ours opens it (slice threads, low delay), fed
// the access units as they are; it finds the parameter sets in them itself.
std::size_t decodeBare(const Material& m) {
    AVCodecContext* context = avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_H264));
    context->flags |= AV_CODEC_FLAG_LOW_DELAY;
    context->thread_type = FF_THREAD_SLICE;
    context->thread_count = 0;
    avcodec_open2(context, context->codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::size_t pictures = 0;
    for (const Bytes& unit : m.accessUnits) {
        av_new_packet(packet, static_cast<int>(unit.size()));
        std::memcpy(packet->data, unit.data(), unit.size());
        avcodec_send_packet(context, packet);
        av_packet_unref(packet);
        for (; avcodec_receive_frame(context, frame) == 0; av_frame_unref(frame)) {
            ++pictures;
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    return pictures;
}

// The decoders also run on libavcodec's slice threads: charged the process's time.
void Decode_OverheadToBareLibavcodec(benchmark::State& state) {
    const Material& m = material();
    double ours = 0;
    double bare = 0;
    for (auto _ : state) {
        const double t0 = vistrel::test::ownCpuSeconds();
        const std::size_t a = decodeOurs(m);
        const double t1 = vistrel::test::ownCpuSeconds();
        const std::size_t b = decodeBare(m);
        ours += t1 - t0;
        bare += vistrel::test::ownCpuSeconds() - t1;
        if (a != b || a != m.accessUnits.size()) {
            state.SkipWithError("the decode paths disagree on the number of pictures");
            return;
        }
    }
    const double units =
        static_cast<double>(m.accessUnits.size()) * static_cast<double>(state.iterations());
    state.counters["ours_us_per_AU"] = ours * 1e6 / units;
    state.counters["bare_us_per_AU"] = bare * 1e6 / units;
    state.counters["overhead_pct"] = (ours / bare - 1.0) * 100.0;
}
BENCHMARK(Decode_OverheadToBareLibavcodec)->Unit(benchmark::kMillisecond)->MinTime(5.0);

} // namespace

BENCHMARK_MAIN();
