// Throughput of the receive pipeline on a real 720p stream made by ffmpeg
// with the headset's encoder settings: our demuxer against libavformat's on
// the same bytes, Annex B splitting, and our decode path against bare
// libavcodec on the same access units.
#include "HeadsetStream.h"
#include "receive/AnnexB.h"
#include "receive/TransportStreamDemuxer.h"
#include "receive/VideoDecoder.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <chrono>
#include <cstring>
#include <ctime>

namespace {

using vistrel::test::Bytes;
// CPU time: the machine is shared, and wall time would charge one side with
// the other programs' load. The demuxers run on this thread alone; the
// decoders also on libavcodec's slice threads, so they are charged the
// process's time.
template <clockid_t Id> struct CpuClock {
    using duration = std::chrono::nanoseconds;
    static duration now() {
        timespec t{};
        clock_gettime(Id, &t);
        return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
    }
};
using Clock = CpuClock<CLOCK_THREAD_CPUTIME_ID>;
using ProcessClock = CpuClock<CLOCK_PROCESS_CPUTIME_ID>;

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
    // Datagrams of the sender's size, read from the same memory that
    // libavformat reads.
    const std::span<const std::uint8_t> stream(m.stream);
    for (std::size_t offset = 0; offset < stream.size(); offset += 1316) {
        demuxer.append(stream.subspan(offset, std::min<std::size_t>(1316, stream.size() - offset)));
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

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

void Demux_Ours(benchmark::State& state) {
    const Material& m = material();
    for (auto _ : state) {
        benchmark::DoNotOptimize(demuxOurs(m));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(m.stream.size()));
}
BENCHMARK(Demux_Ours)->Unit(benchmark::kMillisecond);

void Demux_Libavformat(benchmark::State& state) {
    const Material& m = material();
    for (auto _ : state) {
        benchmark::DoNotOptimize(demuxLibavformat(m));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(m.stream.size()));
}
BENCHMARK(Demux_Libavformat)->Unit(benchmark::kMillisecond);

// Both demuxers in turn in each iteration, so that the ratio is taken under
// the same load on a shared machine.
void Demux_RatioToLibavformat(benchmark::State& state) {
    const Material& m = material();
    Clock::duration ours{};
    Clock::duration theirs{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const std::size_t a = demuxOurs(m);
        const auto t1 = Clock::now();
        const std::size_t b = demuxLibavformat(m);
        const auto t2 = Clock::now();
        if (a != b) {
            state.SkipWithError("the demuxers disagree on the number of access units");
            return;
        }
        ours += t1 - t0;
        theirs += t2 - t1;
    }
    const double megabytes =
        static_cast<double>(m.stream.size()) * static_cast<double>(state.iterations()) / 1e6;
    state.counters["ours_MBps"] = megabytes / seconds(ours);
    state.counters["libavformat_MBps"] = megabytes / seconds(theirs);
    state.counters["ratio"] = seconds(theirs) / seconds(ours);
}
BENCHMARK(Demux_RatioToLibavformat)->Unit(benchmark::kMillisecond);

void AnnexB_Units(benchmark::State& state) {
    const Material& m = material();
    std::size_t bytes = 0;
    for (const Bytes& unit : m.accessUnits) {
        bytes += unit.size();
    }
    std::vector<vistrel::AnnexB::Unit> units;
    for (auto _ : state) {
        for (const Bytes& unit : m.accessUnits) {
            vistrel::AnnexB::units(unit, units);
            benchmark::DoNotOptimize(units.data());
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}
BENCHMARK(AnnexB_Units);

// ---- decoding ----

struct BareDecoder {
    AVCodecContext* context = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::size_t pictures = 0;

    explicit BareDecoder(const Bytes& extradata) {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
        context = avcodec_alloc_context3(codec);
        context->extradata =
            static_cast<std::uint8_t*>(av_mallocz(extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        std::memcpy(context->extradata, extradata.data(), extradata.size());
        context->extradata_size = static_cast<int>(extradata.size());
        context->flags |= AV_CODEC_FLAG_LOW_DELAY;
        context->thread_type = FF_THREAD_SLICE;
        context->thread_count = 0;
        avcodec_open2(context, codec, nullptr);
    }
    ~BareDecoder() {
        avcodec_free_context(&context);
        av_packet_free(&packet);
        av_frame_free(&frame);
    }
    BareDecoder(const BareDecoder&) = delete;
    BareDecoder& operator=(const BareDecoder&) = delete;

    void decode(const Bytes& sample) {
        av_packet_unref(packet);
        av_new_packet(packet, static_cast<int>(sample.size()));
        std::memcpy(packet->data, sample.data(), sample.size());
        avcodec_send_packet(context, packet);
        while (avcodec_receive_frame(context, frame) == 0) {
            ++pictures;
            av_frame_unref(frame);
        }
    }
};

// The same access units prepared once for bare libavcodec: avcC from the
// first parameter sets, and slices as length-prefixed samples.
struct Prepared {
    Bytes extradata;
    std::vector<Bytes> samples;
};

const Prepared& prepared() {
    static const Prepared p = [] {
        Prepared made;
        Bytes sps;
        Bytes pps;
        for (const Bytes& unit : material().accessUnits) {
            Bytes sample;
            for (const auto nal : vistrel::AnnexB::units(unit)) {
                const int type = nal[0] & 0x1F;
                if (type == 7 && sps.empty()) {
                    sps.assign(nal.begin(), nal.end());
                } else if (type == 8 && pps.empty()) {
                    pps.assign(nal.begin(), nal.end());
                } else if (type == 1 || type == 5) {
                    const auto n = static_cast<std::uint32_t>(nal.size());
                    sample.insert(sample.end(), {static_cast<std::uint8_t>(n >> 24),
                                                 static_cast<std::uint8_t>(n >> 16),
                                                 static_cast<std::uint8_t>(n >> 8),
                                                 static_cast<std::uint8_t>(n)});
                    sample.insert(sample.end(), nal.begin(), nal.end());
                }
            }
            made.samples.push_back(std::move(sample));
        }
        made.extradata = {1,
                          sps[1],
                          sps[2],
                          sps[3],
                          0xFF,
                          0xE1,
                          static_cast<std::uint8_t>(sps.size() >> 8),
                          static_cast<std::uint8_t>(sps.size())};
        made.extradata.insert(made.extradata.end(), sps.begin(), sps.end());
        made.extradata.insert(made.extradata.end(), {1, static_cast<std::uint8_t>(pps.size() >> 8),
                                                     static_cast<std::uint8_t>(pps.size())});
        made.extradata.insert(made.extradata.end(), pps.begin(), pps.end());
        return made;
    }();
    return p;
}

std::size_t decodeOurs(const Material& m) {
    vistrel::VideoDecoder decoder(vistrel::VideoDecoder::Acceleration::Software);
    std::size_t pictures = 0;
    decoder.setOnFrame([&](const vistrel::PixelBuffer&) { ++pictures; });
    for (const Bytes& unit : m.accessUnits) {
        decoder.decode(unit);
    }
    return pictures;
}

std::size_t decodeBare(const Prepared& p) {
    BareDecoder decoder(p.extradata);
    for (const Bytes& sample : p.samples) {
        decoder.decode(sample);
    }
    return decoder.pictures;
}

// Both decode paths in turn in each iteration, over the whole stream.
void Decode_OverheadToBareLibavcodec(benchmark::State& state) {
    const Material& m = material();
    const Prepared& p = prepared();
    ProcessClock::duration ours{};
    ProcessClock::duration bare{};
    for (auto _ : state) {
        const auto t0 = ProcessClock::now();
        const std::size_t a = decodeOurs(m);
        const auto t1 = ProcessClock::now();
        const std::size_t b = decodeBare(p);
        const auto t2 = ProcessClock::now();
        if (a != b || a != m.accessUnits.size()) {
            state.SkipWithError("the decode paths disagree on the number of pictures");
            return;
        }
        ours += t1 - t0;
        bare += t2 - t1;
    }
    const double units =
        static_cast<double>(m.accessUnits.size()) * static_cast<double>(state.iterations());
    state.counters["ours_us_per_AU"] = seconds(ours) * 1e6 / units;
    state.counters["bare_us_per_AU"] = seconds(bare) * 1e6 / units;
    state.counters["overhead_pct"] = (seconds(ours) / seconds(bare) - 1.0) * 100.0;
}
BENCHMARK(Decode_OverheadToBareLibavcodec)->Unit(benchmark::kMillisecond)->MinTime(5.0);

} // namespace

BENCHMARK_MAIN();
