// Capture → picture latency on one live stream, receivers taking turns:
// the headset's encoder settings sending MPEG-TS over UDP on loopback, with
// each picture's number painted in and its capture time noted (StampedSender),
// then in alternating windows
//   - Vistrel's receive path: UdpReceiver → decoded picture (its onFrame), and
//     the FrameMailbox hand-off to the GUI thread the way StreamSession makes
//     it, up to the moment VideoDisplay has made the picture current for the
//     window's video item there, as StreamSession::present does;
//   - the ffmpeg command line tuned for low delay writing raw pictures to a
//     pipe, read here;
//   - ffplay with the same flags (CPU only: no reader sees its pictures).
// The floor comes from the same run: capture → the first datagram of the
// picture at the tap in front of the receivers, plus decoding that picture
// afterwards on an otherwise idle thread.
//
//   latency_bench [seconds per window = 8] [rounds = 2] [WxH ... = 1280x720 1920x1080]
//
// Prints a markdown table per size. Nothing here is a pass or fail: the
// machine is shared, so read the figures against each other.
#include "BenchProcess.h"
#include "DatagramTap.h"
#include "HeadsetStream.h"
#include "LatencyStamp.h"
#include "StampedSender.h"
#include "receive/TransportStreamDemuxer.h"
#include "receive/UdpReceiver.h"
#include "receive/VideoDecoder.h"
#include "session/FrameMailbox.h"
#include "session/VideoDisplay.h"

#include <QGuiApplication>
#include <QTimer>

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

using namespace vistrel;
using bench::StampedSender;
using Clock = std::chrono::steady_clock;

constexpr auto warmUp = std::chrono::milliseconds(3000); // start, probe, keyframe
constexpr auto lateTail = std::chrono::milliseconds(500);

struct Size {
    int width;
    int height;
};

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Latency of each picture captured inside the measuring windows, the first
// time a receiver showed it.
class Latencies {
public:
    explicit Latencies(const StampedSender& sender) : sender_(&sender) {}

    void measure(Clock::time_point from, Clock::time_point to) {
        const std::lock_guard lock(lock_);
        from_ = from;
        to_ = to;
    }

    void seen(std::optional<std::uint32_t> number, Clock::time_point at) {
        if (!number) {
            return;
        }
        const auto captured = sender_->capturedAt(*number);
        const std::lock_guard lock(lock_);
        if (captured && *captured >= from_ && *captured < to_) {
            values_.emplace(*number, ms(at - *captured));
        }
    }

    [[nodiscard]] std::vector<double> values() const {
        const std::lock_guard lock(lock_);
        std::vector<double> all;
        all.reserve(values_.size());
        for (const auto& [number, value] : values_) {
            all.push_back(value);
        }
        return all;
    }

private:
    const StampedSender* sender_;
    mutable std::mutex lock_;
    Clock::time_point from_ = Clock::time_point::max();
    Clock::time_point to_ = Clock::time_point::min();
    std::map<std::uint32_t, double> values_;
};

std::optional<std::uint32_t> stampOf(const PixelBuffer& picture) {
    const AVFrame* frame = picture.frame();
    return bench::readStamp(frame->data[0], frame->linesize[0]);
}

using Span = std::pair<Clock::time_point, Clock::time_point>;

// What one receiver did over all its windows.
struct Result {
    std::vector<double> latencies;  // ms
    std::vector<double> handedOver; // ms, Vistrel only: shown on the GUI thread
    double cpuSeconds = 0;
    double seconds = 0;
    std::vector<Span> windows;
};

void runEventLoopFor(Clock::duration duration) {
    QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(duration), qApp,
                       &QCoreApplication::quit);
    QCoreApplication::exec();
}

double ownCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// CPU of the benchmark's own helpers in this process, so that it can be
// taken off the process total when Vistrel's path runs in it.
struct Helpers {
    const StampedSender& sender;
    const bench::DatagramTap& tap;
    [[nodiscard]] double cpuSeconds() const { return sender.feederCpuSeconds() + tap.cpuSeconds(); }
};

// Runs one receiver (made by `start`, stopped when its handle goes) through
// warm-up, one measuring window and a tail for late pictures.
template <typename Start, typename Cpu>
void window(std::initializer_list<Latencies*> latencies, Clock::duration length, Result& result,
            Start start, Cpu cpu) {
    auto running = start();
    runEventLoopFor(warmUp);
    const Clock::time_point from = Clock::now();
    const Span span{from, from + length};
    const double cpu0 = cpu(*running);
    for (Latencies* each : latencies) {
        each->measure(span.first, span.second);
    }
    runEventLoopFor(length);
    result.cpuSeconds += cpu(*running) - cpu0;
    result.seconds += ms(Clock::now() - span.first) / 1000;
    result.windows.push_back(span);
    runEventLoopFor(lateTail);
}

// Vistrel: the receiver as the session runs it, the hand-off to this (the
// GUI) thread as StreamSession::deliver makes it, and the display's picture
// as StreamSession::present sets it. The upload of the planes and the scene's
// draw, on Qt's render thread, are left out.
struct VistrelReceiver {
    UdpReceiver receiver;
    std::shared_ptr<FrameMailbox> mailbox = std::make_shared<FrameMailbox>();
    VideoDisplay display;

    VistrelReceiver(std::uint16_t port, Latencies& decoded, Latencies& shown) {
        receiver.setOnFrame([this, &decoded, &shown](const PixelBuffer& picture) {
            decoded.seen(stampOf(picture), Clock::now());
            if (mailbox->post(picture)) {
                QMetaObject::invokeMethod(
                    qApp,
                    [this, mailbox = mailbox, &shown] {
                        const PixelBuffer taken = mailbox->take();
                        if (!taken.empty() && display.show(taken)) {
                            shown.seen(stampOf(taken), Clock::now());
                        }
                    },
                    Qt::QueuedConnection);
            }
        });
        receiver.start(port, "127.0.0.1");
    }
    ~VistrelReceiver() {
        receiver.stop();
        QCoreApplication::processEvents(); // hand-offs still queued
    }
    VistrelReceiver(const VistrelReceiver&) = delete;
    VistrelReceiver& operator=(const VistrelReceiver&) = delete;
};

std::vector<std::string> ffplayCommand(std::uint16_t port) {
    std::vector<std::string> argv = bench::lowDelayInput("ffplay", port);
    argv.insert(argv.end(), {"-framedrop", "-autoexit"});
    return argv;
}

// The floor of every picture the tap saw, by capture time: from capture to
// its first datagram at the tap, plus the time Vistrel's decoder takes for it
// here afterwards, with nothing else running in this process.
std::map<Clock::time_point, double>
floorOf(const std::vector<bench::DatagramTap::Arrival>& arrivals, const StampedSender& sender) {
    TransportStreamDemuxer demuxer;
    VideoDecoder decoder(VideoDecoder::Acceleration::Software);
    struct Decoded {
        std::optional<std::uint32_t> number;
        Clock::duration took{};
    };
    std::vector<Decoded> units;
    Clock::time_point began;
    demuxer.setOnAccessUnit([&](std::span<const std::uint8_t> unit, bool) {
        units.emplace_back();
        began = Clock::now();
        decoder.decode(unit);
    });
    decoder.setOnFrame([&](const PixelBuffer& picture) {
        units.back().number = stampOf(picture);
        units.back().took = Clock::now() - began;
    });
    std::vector<std::size_t> starts; // datagram holding each video PES start
    for (std::size_t i = 0; i < arrivals.size(); ++i) {
        const std::vector<std::uint8_t>& bytes = arrivals[i].bytes;
        demuxer.append(bytes);
        for (std::size_t p = 0; p + 188 <= bytes.size(); p += 188) {
            const int pid = ((bytes[p + 1] & 0x1F) << 8) | bytes[p + 2];
            if (bytes[p] == 0x47 && (bytes[p + 1] & 0x40) != 0 && demuxer.videoPID() == pid) {
                starts.push_back(i);
            }
        }
    }
    demuxer.flush();
    std::map<Clock::time_point, double> floor;
    for (std::size_t k = 0; k < units.size() && k < starts.size(); ++k) {
        const auto captured = units[k].number ? sender.capturedAt(*units[k].number) : std::nullopt;
        if (captured) {
            floor.emplace(*captured, ms(arrivals[starts[k]].at - *captured + units[k].took));
        }
    }
    return floor;
}

std::vector<double> within(const std::map<Clock::time_point, double>& floor,
                           const std::vector<Span>& windows) {
    std::vector<double> values;
    for (const auto& [from, to] : windows) {
        for (auto it = floor.lower_bound(from); it != floor.end() && it->first < to; ++it) {
            values.push_back(it->second);
        }
    }
    return values;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return NAN;
    }
    std::sort(values.begin(), values.end());
    const auto index =
        static_cast<std::size_t>(std::ceil(p / 100 * static_cast<double>(values.size())));
    return values[std::min(values.size() - 1, index == 0 ? 0 : index - 1)];
}

void printRow(const char* name, const std::vector<double>& values, std::optional<double> cpu) {
    char cells[96] = "– | – | – | –";
    if (!values.empty()) {
        std::snprintf(cells, sizeof cells, "%zu | %.1f | %.1f | %.1f", values.size(),
                      percentile(values, 50), percentile(values, 90), percentile(values, 99));
    }
    char load[32] = "–";
    if (cpu) {
        std::snprintf(load, sizeof load, "%.1f %%", *cpu);
    }
    std::printf("| %s | %s | %s |\n", name, cells, load);
}

void measureSize(Size size, Clock::duration length, int rounds) {
    std::fprintf(stderr, "%d × %d: starting the sender\n", size.width, size.height);
    const std::uint16_t port = test::freeUdpPort();
    bench::DatagramTap tap(port);
    const StampedSender sender(size.width, size.height, tap.port());
    const Helpers helpers{sender, tap};
    const std::string load0 = bench::loadAverage();
    const double encoder0 = bench::processCpuSeconds(sender.encoderPid());
    const double helpers0 = helpers.cpuSeconds();
    const Clock::time_point began = Clock::now();

    Result vistrel;
    Result ffmpeg;
    Result ffplay;
    Latencies decoded(sender);
    Latencies handedOver(sender);
    Latencies ffmpegSeen(sender);
    const bool display = std::getenv("DISPLAY") != nullptr;
    const std::size_t pictureBytes =
        static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height) * 3 / 2;

    for (int round = 0; round < rounds; ++round) {
        std::fprintf(stderr, "  round %d: Vistrel\n", round + 1);
        window(
            {&decoded, &handedOver}, length, vistrel,
            [&] { return std::make_unique<VistrelReceiver>(port, decoded, handedOver); },
            [&](VistrelReceiver&) { return ownCpuSeconds() - helpers.cpuSeconds(); });
        std::fprintf(stderr, "  round %d: ffmpeg\n", round + 1);
        window(
            {&ffmpegSeen}, length, ffmpeg,
            [&] {
                return std::make_unique<bench::ProgramReceiver>(
                    bench::ffmpegRawReceiver(port), pictureBytes,
                    [&ffmpegSeen, size](const std::uint8_t* picture) {
                        ffmpegSeen.seen(bench::readStamp(picture, size.width), Clock::now());
                    });
            },
            [](bench::ProgramReceiver& r) { return bench::processCpuSeconds(r.process.pid()); });
        if (display) {
            std::fprintf(stderr, "  round %d: ffplay\n", round + 1);
            window(
                {}, length, ffplay,
                [&] {
                    return std::make_unique<bench::ProgramReceiver>(ffplayCommand(port), 0,
                                                                    nullptr);
                },
                [](bench::ProgramReceiver& r) {
                    return bench::processCpuSeconds(r.process.pid());
                });
        }
    }
    const double runSeconds = ms(Clock::now() - began) / 1000;
    const double encoderCpu = bench::processCpuSeconds(sender.encoderPid()) - encoder0;
    const double helpersCpu = helpers.cpuSeconds() - helpers0;
    const std::string load1 = bench::loadAverage();
    const std::map<Clock::time_point, double> floor = floorOf(tap.stop(), sender);
    const std::vector<double> vistrelFloor = within(floor, vistrel.windows);
    const std::vector<double> ffmpegFloor = within(floor, ffmpeg.windows);

    vistrel.latencies = decoded.values();
    vistrel.handedOver = handedOver.values();
    ffmpeg.latencies = ffmpegSeen.values();
    auto cpu = [](const Result& r) {
        return 100 * r.cpuSeconds / r.seconds;
    };

    std::printf("\n### %d × %d, %d × %.0f s per receiver\n\n", size.width, size.height, rounds,
                std::chrono::duration<double>(length).count());
    std::printf("| Capture → | Pictures | p50 ms | p90 ms | p99 ms | CPU (of one core) |\n");
    std::printf("|---|---|---|---|---|---|\n");
    // Each receiver against the floor of its own windows: the load changes.
    printRow("floor in Vistrel's windows: first datagram + decode", vistrelFloor, std::nullopt);
    printRow("Vistrel: decoded (UdpReceiver onFrame)", vistrel.latencies, cpu(vistrel));
    printRow("Vistrel: shown (VideoDisplay on the GUI thread)", vistrel.handedOver, std::nullopt);
    printRow("floor in ffmpeg's windows", ffmpegFloor, std::nullopt);
    printRow("ffmpeg command line → raw reader", ffmpeg.latencies, cpu(ffmpeg));
    if (display) {
        printRow("ffplay (CPU only)", {}, cpu(ffplay));
    } else {
        std::printf("| ffplay: not run, no display | | | | | |\n");
    }
    auto above = [](const std::vector<double>& values, const std::vector<double>& base, double p) {
        return percentile(values, p) - percentile(base, p);
    };
    std::printf("\nAbove the floor, p50 / p99: Vistrel shown %+.1f / %+.1f ms, "
                "ffmpeg %+.1f / %+.1f ms. CPU Vistrel : ffmpeg = 1 : %.2f.\n",
                above(vistrel.handedOver, vistrelFloor, 50),
                above(vistrel.handedOver, vistrelFloor, 99),
                above(ffmpeg.latencies, ffmpegFloor, 50), above(ffmpeg.latencies, ffmpegFloor, 99),
                cpu(ffmpeg) / cpu(vistrel));
    std::printf("Load: sender's ffmpeg %.1f %%, picture feeder and tap %.1f %% of a core; "
                "load average (1 / 5 min) %s at the start, %s at the end, on %ld cores.\n",
                100 * encoderCpu / runSeconds, 100 * helpersCpu / runSeconds, load0.c_str(),
                load1.c_str(), ::sysconf(_SC_NPROCESSORS_ONLN));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    av_log_set_level(AV_LOG_QUIET);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 8.0;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 2;
    std::vector<Size> sizes;
    for (int i = 3; i < argc; ++i) {
        Size size{};
        if (std::sscanf(argv[i], "%dx%d", &size.width, &size.height) != 2) {
            std::fprintf(stderr, "not a size: %s\n", argv[i]);
            return 2;
        }
        sizes.push_back(size);
    }
    if (sizes.empty()) {
        sizes = {{1280, 720}, {1920, 1080}};
    }
    try {
        for (const Size size : sizes) {
            measureSize(
                size,
                std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)),
                rounds);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
