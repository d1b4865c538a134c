// Live video from one stamped stream, receivers taking turns on it: Vistrel's
// UdpReceiver with the session's FrameHandOff to VideoDisplay on the GUI thread
// (the render thread's upload and draw left out), and the ffmpeg command line.
//
//   live_bench latency [seconds per window = 8] [rounds = 2] [WxH ...]
//   live_bench loss [seconds per receiver = 10] [WxH ...] [random:P,...] [burst:P,...]
//
// latency: capture → picture, against each picture's floor: capture → its
// first datagram at the tap, plus decoding it afterwards alone. loss: pictures
// shown, freezes and damage under P % datagram loss.
#include "Bench.h"
#include "ChildProcess.h"
#include "HeadsetStream.h"
#include "ScratchFolder.h"
#include "receive/PixelBuffer.h"
#include "receive/TransportStreamDemuxer.h"
#include "receive/UdpReceiver.h"
#include "receive/VideoDecoder.h"
#include "session/FrameHandOff.h"
#include "session/VideoDisplay.h"
#include "support/UniqueFd.h"

#include <QCoreApplication>
#include <QTimer>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}
#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <poll.h>
#include <random>
#include <ranges>
#include <span>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

using namespace vistrel;
using namespace vistrel::bench;

struct Size {
    int width;
    int height;
};

// The headset's stream live on loopback with a clock in its pictures: a
// thread hands ffmpeg a testsrc2 picture every 50 ms with its number painted
// into the top rows, noting that moment as its capture time; ffmpeg encodes
// with the remote script's arguments and sends to a tap, which passes each
// datagram on to port() at once (or drops it, as a lossy network would) and
// keeps every one with when it came.
class StampedStream {
public:
    struct Arrival {
        Clock::time_point at;
        std::vector<std::uint8_t> bytes;
        bool dropped = false;
    };
    // Runs on the tap's thread, once per datagram in arrival order.
    using DropRule = std::function<bool(std::span<const std::uint8_t> datagram)>;

    explicit StampedStream(Size size)
        : size_(size), port_(test::freeUdpPort()), socket_(test::bindUdp("127.0.0.1")),
          pictures_(testPictures()), captured_(longestRun), encoder_(encoderCommand()) {
        for (auto& at : captured_) {
            at.store(-1, std::memory_order_relaxed);
        }
        arrivals_.reserve(200000);
        tap_ = std::thread([this] { tap(); });
        feeder_ = std::thread([this] { feed(); });
        helpers_ = {tap_.native_handle(), feeder_.native_handle()};
    }
    ~StampedStream() { stop(); }
    // Stops sending; what arrived is kept for take().
    void stop() {
        if (!stopping_.exchange(true)) {
            feeder_.join();
            encoder_.closeInput();
            encoder_.waitForExit(std::chrono::seconds(5));
            tap_.join();
        }
    }
    StampedStream(const StampedStream&) = delete;
    StampedStream& operator=(const StampedStream&) = delete;

    [[nodiscard]] std::uint16_t port() const { return port_; } // on 127.0.0.1
    [[nodiscard]] std::optional<Clock::time_point> capturedAt(std::uint32_t number) const {
        const std::int64_t at =
            number < captured_.size() ? captured_[number].load(std::memory_order_acquire) : -1;
        return at < 0 ? std::nullopt : std::optional(epoch_ + Clock::duration(at));
    }
    // The feeder's and the tap's threads, which run in this process.
    [[nodiscard]] double helperCpuSeconds() const {
        return ownCpuSeconds(helpers_[0]) + ownCpuSeconds(helpers_[1]);
    }
    void dropWhen(DropRule rule) { // empty: drop none
        const std::lock_guard lock(lock_);
        drop_ = std::move(rule);
    }
    std::vector<Arrival> take() {
        const std::lock_guard lock(lock_);
        return std::exchange(arrivals_, {});
    }

    // The number painted into a picture; nothing when its two rows disagree.
    static std::optional<std::uint32_t> stampOf(const std::uint8_t* luma, std::ptrdiff_t stride) {
        std::uint32_t rows[2] = {0, 0};
        for (int row = 0; row < 2; ++row) {
            const std::uint8_t* centre = luma + (row * block + block / 2) * stride + block / 2;
            for (int bit = 0; bit < bits; ++bit) {
                rows[row] = (rows[row] << 1) | (centre[bit * block] >= 128 ? 1U : 0U);
            }
        }
        return rows[1] == check(rows[0]) ? std::optional(rows[0]) : std::nullopt;
    }
    static std::optional<std::uint32_t> stampOf(const PixelBuffer& picture) {
        return stampOf(picture.frame()->data[0], picture.frame()->linesize[0]);
    }

private:
    static constexpr std::size_t longestRun = 20 * 3600;
    // Black and white macroblocks survive H.264 at any quality the headset uses.
    static constexpr int block = 16;
    static constexpr int bits = 32;

    // The second row of the stamp. Not the number's complement: a picture
    // decoded on a damaged reference adds its changes to the wrong blocks,
    // which turns a number and its complement into another valid pair.
    static constexpr std::uint32_t check(std::uint32_t number) {
        number *= 0x9E3779B1U;
        return number ^ (number >> 15) ^ 0xA5A5A5A5U;
    }

    [[nodiscard]] std::string sizeText() const {
        return std::to_string(size_.width) + "x" + std::to_string(size_.height);
    }

    // One second of testsrc2, so that the encoder sees moving content, in a loop.
    [[nodiscard]] std::vector<std::string> testPictures() const {
        const test::ProcessResult made = test::runProcess(words(
            "ffmpeg -nostdin -loglevel error -f lavfi -i testsrc2=rate=20:size=" + sizeText() +
            " -frames:v 20 -f rawvideo -pix_fmt yuv420p -"));
        const auto bytes = static_cast<std::size_t>(size_.width * size_.height) * 3 / 2;
        if (made.exitStatus != 0 || made.out.size() < bytes || size_.width < bits * block ||
            size_.height < 2 * block) {
            throw std::runtime_error("no test pictures of " + sizeText() + ": " + made.err);
        }
        std::vector<std::string> pictures;
        for (std::size_t at = 0; at + bytes <= made.out.size(); at += bytes) {
            pictures.push_back(made.out.substr(at, bytes));
        }
        return pictures;
    }

    std::vector<std::string> encoderCommand() {
        const int bufferSize = 4 * 1024 * 1024;
        if (!socket_ || ::setsockopt(socket_.get(), SOL_SOCKET, SO_RCVBUF, &bufferSize,
                                     sizeof bufferSize) != 0) {
            throw std::runtime_error(std::string("tap socket: ") + std::strerror(errno));
        }
        return test::headsetEncoder(
            words("ffmpeg -hide_banner -loglevel error -f rawvideo -pix_fmt yuv420p -video_size " +
                  sizeText() + " -framerate 20 -i -"),
            test::boundPort(socket_));
    }

    void feed() {
        pthread_setname_np(pthread_self(), "stamped-sender");
        const Clock::time_point start = Clock::now();
        for (std::uint32_t number = 0; number < longestRun && !stopping_.load(); ++number) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(50) * number);
            std::string& picture = pictures_[number % pictures_.size()];
            for (int row = 0; row < 2; ++row) {
                for (int y = 0; y < block; ++y) {
                    for (int bit = 0; bit < bits; ++bit) {
                        const std::uint32_t value = row == 0 ? number : check(number);
                        std::memset(&picture[static_cast<std::size_t>(
                                        (row * block + y) * size_.width + bit * block)],
                                    ((value >> (bits - 1 - bit)) & 1U) != 0 ? 235 : 16, block);
                    }
                }
            }
            captured_[number].store((Clock::now() - epoch_).count(), std::memory_order_release);
            if (!encoder_.write(picture)) {
                return;
            }
        }
    }

    void tap() {
        pthread_setname_np(pthread_self(), "datagram-tap");
        const sockaddr_in target{AF_INET, htons(port_), {htonl(INADDR_LOOPBACK)}, {}};
        std::vector<std::uint8_t> buffer(65536);
        while (!stopping_.load(std::memory_order_relaxed)) {
            pollfd ready{socket_.get(), POLLIN, 0};
            const ssize_t n = ::poll(&ready, 1, 100) > 0
                                  ? ::recv(socket_.get(), buffer.data(), buffer.size(), 0)
                                  : 0;
            if (n <= 0) {
                continue;
            }
            const Clock::time_point at = Clock::now();
            const std::lock_guard lock(lock_);
            const bool dropped = drop_ && drop_({buffer.data(), static_cast<std::size_t>(n)});
            if (!dropped) { // between two receivers nobody listens: lost, as on a network
                ::sendto(socket_.get(), buffer.data(), static_cast<std::size_t>(n), 0,
                         reinterpret_cast<const sockaddr*>(&target), sizeof target);
            }
            arrivals_.push_back({at, {buffer.begin(), buffer.begin() + n}, dropped});
        }
    }

    Size size_;
    std::uint16_t port_;
    UniqueFd socket_; // the tap's
    std::vector<std::string> pictures_;
    std::vector<std::atomic<std::int64_t>> captured_; // since epoch_; -1 never
    Clock::time_point epoch_ = Clock::now();
    test::ChildProcess encoder_;
    std::mutex lock_; // drop_ and arrivals_
    DropRule drop_;
    std::vector<Arrival> arrivals_;
    std::atomic<bool> stopping_{false};
    std::thread feeder_;
    std::thread tap_;
    std::array<pthread_t, 2> helpers_{};
};

// Start-up, probe and first keyframe (every 1.5 s); the tail lets the
// pictures captured last arrive, the ffmpeg command line showing each late.
constexpr auto warmUp = std::chrono::milliseconds(3000);
constexpr auto lateTail = std::chrono::milliseconds(500);
constexpr double meanBurst = 4; // datagrams; Wi-Fi loses them in runs
constexpr double psnrCap = 60;  // dB; identical pictures, where nobody sees a difference

enum class Receiver { Hold, KeepMoving, Ffmpeg };
const char* const names[] = {"Vistrel hold", "Vistrel keepMoving", "ffmpeg command line"};

struct Loss {
    bool bursts;
    double percent; // of datagrams, on average
};

// A picture a receiver handed on after its warm-up.
struct Picture {
    Clock::time_point at;
    std::optional<std::uint32_t> number;
    std::vector<std::uint8_t> luma{}; // width × height, under loss
    std::uint32_t first = 1;          // unidentified: the numbers it can have
    std::uint32_t last = 0;
    double error = -1; // mean squared, against the reference it is closest to
};

// One receiver's turn, noted on its threads and read once it has stopped.
struct Turn {
    const StampedStream& stream;
    Size size;
    bool keepLuma = false;
    Clock::time_point earliest = Clock::now() + warmUp;
    Clock::time_point from{}; // the window
    Clock::time_point to{};
    std::vector<Picture> decoded{}; // as the receiver handed them on
    std::vector<Picture> shown{};   // Vistrel: on the GUI thread
    double cpuSeconds = 0;
    double seconds = 0;

    [[nodiscard]] bool inWindow(std::uint32_t number) const {
        const auto captured = stream.capturedAt(number);
        return captured && *captured >= from && *captured < to;
    }

    void note(const std::uint8_t* luma, std::ptrdiff_t stride) {
        if (Clock::now() < earliest) {
            return;
        }
        Picture& picture =
            decoded.emplace_back(Picture{Clock::now(), StampedStream::stampOf(luma, stride)});
        for (int y = 0; keepLuma && y < size.height; ++y) {
            picture.luma.insert(picture.luma.end(), luma + stride * y,
                                luma + stride * y + size.width);
        }
    }
};

struct VistrelReceiver {
    UdpReceiver receiver;
    VideoDisplay display;
    std::shared_ptr<FrameHandOff> handOff;

    VistrelReceiver(Turn& turn, LossPolicy policy)
        : handOff(std::make_shared<FrameHandOff>(
              [this, &turn](const PixelBuffer& picture) {
                  if (display.show(picture)) {
                      turn.shown.push_back({Clock::now(), StampedStream::stampOf(picture)});
                  }
              },
              [](std::function<void()> deliver) {
                  QMetaObject::invokeMethod(qApp, std::move(deliver), Qt::QueuedConnection);
              })) {
        receiver.setLossPolicy(policy);
        receiver.setOnFrame([this, &turn](const PixelBuffer& picture) {
            turn.note(picture.frame()->data[0], picture.frame()->linesize[0]);
            handOff->post(picture);
        });
        receiver.start(turn.stream.port(), "127.0.0.1");
    }
    ~VistrelReceiver() {
        receiver.stop();
        QCoreApplication::processEvents(); // deliveries still queued
    }
    VistrelReceiver(const VistrelReceiver&) = delete;
    VistrelReceiver& operator=(const VistrelReceiver&) = delete;
};

void runEventLoopFor(Clock::duration duration) {
    QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(duration), qApp,
                       &QCoreApplication::quit);
    QCoreApplication::exec();
}

// Whether the datagram holds the start of a keyframe: the muxer flags its
// first packet as a random access point.
bool startsKeyframe(std::span<const std::uint8_t> datagram) {
    for (std::size_t at = 0; at + 188 <= datagram.size(); at += 188) {
        const std::uint8_t* packet = datagram.data() + at;
        if ((packet[1] & 0x40) != 0 && (packet[3] & 0x20) != 0 && packet[4] > 0 &&
            (packet[5] & 0x40) != 0) {
            return true;
        }
    }
    return false;
}

// Each receiver meets the same drops at the same places (the random sequence
// restarts, seeded by its place, at every keyframe), so that the receivers
// differ by what they do rather than by which pictures the loss hit. Bursts: a
// Gilbert model whose bad state loses everything for meanBurst datagrams.
StampedStream::DropRule lossRule(Loss loss, std::atomic<Clock::time_point>& firstKeyframe) {
    const double p = loss.percent / 100;
    return [p, bursts = loss.bursts, enter = p / meanBurst / (1 - p), bad = false, keyframes = 0U,
            random = std::mt19937(), uniform = std::uniform_real_distribution<>(),
            &firstKeyframe](auto datagram) mutable {
        if (startsKeyframe(datagram)) {
            if (keyframes == 0) {
                firstKeyframe.store(Clock::now());
            }
            random.seed(++keyframes);
            bad = false;
        }
        const double u = uniform(random);
        bad = keyframes > 0 && (bursts ? (bad ? u >= 1 / meanBurst : u < enter) : u < p);
        return bad;
    };
}

// Warm-up, the window (opening with the next keyframe under loss) and a tail.
void run(StampedStream& stream, Turn& turn, Receiver receiver, double seconds,
         std::optional<Loss> loss) {
    std::unique_ptr<VistrelReceiver> vistrel;
    std::optional<test::ChildProcess> ffmpeg;
    std::thread reader; // of its raw pictures
    if (receiver == Receiver::Hold || receiver == Receiver::KeepMoving) {
        vistrel = std::make_unique<VistrelReceiver>(
            turn, receiver == Receiver::Hold ? LossPolicy::Hold : LossPolicy::KeepMoving);
    } else {
        // Its input flags take out its buffering. Without passthrough FFmpeg 5.1
        // keeps a constant output rate and, the probe being too short to learn
        // the stream's, repeats each picture. It writes to a pipe of its own.
        std::array<int, 2> pipe{};
        ::pipe2(pipe.data(), O_CLOEXEC);
        ::fcntl(pipe[1], F_SETFD, 0); // for ffmpeg, started now and alone
        ffmpeg.emplace(
            words("ffmpeg -hide_banner -loglevel fatal -fflags nobuffer+noparse -flags low_delay "
                  "-probesize 32 -analyzeduration 0 -i udp://127.0.0.1:" +
                  std::to_string(stream.port()) +
                  " -threads 1 -fps_mode passthrough -f rawvideo pipe:" + std::to_string(pipe[1])));
        ::close(pipe[1]);
        reader = std::thread([&turn, output = ::fdopen(pipe[0], "r")] {
            std::vector<std::uint8_t> picture(
                static_cast<std::size_t>(turn.size.width * turn.size.height) * 3 / 2);
            while (std::fread(picture.data(), picture.size(), 1, output) == 1) {
                turn.note(picture.data(), turn.size.width);
            }
            std::fclose(output);
        });
    }
    // Vistrel runs in this process: the process less the stream's helpers.
    const auto cpu = [&] {
        return vistrel ? ownCpuSeconds() - stream.helperCpuSeconds() : cpuSeconds(ffmpeg->pid());
    };
    runEventLoopFor(warmUp);
    std::atomic keyframe = Clock::now();
    if (loss) {
        keyframe = Clock::time_point::max();
        stream.dropWhen(lossRule(*loss, keyframe));
        while (keyframe.load() == Clock::time_point::max() &&
               Clock::now() < turn.earliest + warmUp) {
            runEventLoopFor(std::chrono::milliseconds(10));
        }
    }
    turn.from = std::min(keyframe.load(), Clock::now());
    turn.to = turn.from +
              std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    const double cpu0 = cpu();
    runEventLoopFor(turn.to - Clock::now());
    turn.cpuSeconds = cpu() - cpu0;
    turn.seconds = std::chrono::duration<double>(Clock::now() - turn.from).count();
    stream.dropWhen({});
    runEventLoopFor(lateTail);
    ffmpeg.reset(); // killed: the reader sees the output end
    if (reader.joinable()) {
        reader.join();
    }
}

// Decodes all datagrams; `onPicture` gets each picture with its access unit's
// number and decoding time. Returns the datagram where each unit began.
std::vector<std::size_t> decodeAll(const std::vector<StampedStream::Arrival>& arrivals,
                                   const std::function<void(const PixelBuffer&, std::size_t unit,
                                                            Clock::duration took)>& onPicture) {
    TransportStreamDemuxer demuxer;
    VideoDecoder decoder(VideoDecoder::Acceleration::Software);
    std::size_t units = 0;
    Clock::time_point began;
    demuxer.setOnAccessUnit([&](std::span<const std::uint8_t> unit, bool) {
        ++units;
        began = Clock::now();
        decoder.decode(unit);
    });
    decoder.setOnFrame(
        [&](const PixelBuffer& picture) { onPicture(picture, units - 1, Clock::now() - began); });
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < arrivals.size(); ++i) {
        const std::vector<std::uint8_t>& bytes = arrivals[i].bytes;
        demuxer.append(bytes);
        for (std::size_t p = 0; p + 188 <= bytes.size(); p += 188) {
            if (bytes[p] == 0x47 && (bytes[p + 1] & 0x40) != 0 &&
                demuxer.videoPID() == (((bytes[p + 1] & 0x1F) << 8) | bytes[p + 2])) {
                starts.push_back(i);
            }
        }
    }
    demuxer.flush();
    return starts;
}

// Decoding is nearly all of a receiver's CPU: Vistrel's demuxer against
// libavformat's (without its H.264 parser, as ours has none), its decode path
// against bare libavcodec opened as ours is, on the same access units; each
// pair in turn three times, the stream stopped.
void printReceiveCost(const std::vector<StampedStream::Arrival>& arrivals) {
    test::Bytes stream;
    for (const StampedStream::Arrival& arrival : arrivals) {
        stream.insert(stream.end(), arrival.bytes.begin(), arrival.bytes.end());
    }
    const std::vector<test::Bytes> units = test::accessUnits(stream);
    const test::ScratchFolder folder; // libavformat reads the run from a file, as it would
    test::writeFile(folder / "run.ts", {stream.begin(), stream.end()});
    std::array<double, 4> cpu{}; // demuxing ours, theirs; decoding ours, theirs
    const auto timed = [&cpu](std::size_t which, auto work) {
        const double t0 = ownCpuSeconds();
        work();
        cpu.at(which) += ownCpuSeconds() - t0;
    };
    for (int round = 0; round < 3; ++round) {
        timed(0, [&] {
            TransportStreamDemuxer demuxer;
            for (const StampedStream::Arrival& arrival : arrivals) {
                demuxer.append(arrival.bytes);
            }
            demuxer.flush();
        });
        timed(1, [&] { test::readMovie(folder / "run.ts", false, [](const AVPacket&) {}); });
        timed(2, [&] {
            VideoDecoder decoder(VideoDecoder::Acceleration::Software);
            for (const test::Bytes& unit : units) {
                decoder.decode(unit);
            }
        });
        timed(3, [&] {
            AVCodecContext* context =
                avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_H264));
            context->flags |= AV_CODEC_FLAG_LOW_DELAY;
            context->thread_type = FF_THREAD_SLICE;
            context->thread_count = 0;
            avcodec_open2(context, context->codec, nullptr);
            AVPacket* packet = av_packet_alloc();
            AVFrame* frame = av_frame_alloc();
            for (const test::Bytes& unit : units) {
                av_new_packet(packet, static_cast<int>(unit.size()));
                std::memcpy(packet->data, unit.data(), unit.size());
                avcodec_send_packet(context, packet);
                av_packet_unref(packet);
                while (avcodec_receive_frame(context, frame) == 0) {
                    av_frame_unref(frame);
                }
            }
            av_frame_free(&frame);
            av_packet_free(&packet);
            avcodec_free_context(&context);
        });
    }
    std::printf("Demuxing %.1f times as fast as libavformat; decoding %+.1f %% against bare "
                "libavcodec (%zu access units). ",
                cpu[1] / cpu[0], 100 * (cpu[2] / cpu[3] - 1), units.size());
}

// Capture → first seen, in ms, of each picture captured in the window.
void addLatencies(const Turn& turn, const std::vector<Picture>& pictures, std::vector<double>& to) {
    std::map<std::uint32_t, double> first;
    for (const Picture& picture : pictures) {
        if (picture.number && turn.inWindow(*picture.number)) {
            first.emplace(*picture.number,
                          ms(picture.at - *turn.stream.capturedAt(*picture.number)));
        }
    }
    for (const auto& [number, value] : first) {
        to.push_back(value);
    }
}

void printRow(const char* name, const std::vector<double>& values, double cpu) {
    std::printf("| %s | ", name);
    values.empty()
        ? std::printf("– | – | – | – | ")
        : std::printf("%zu | %.1f | %.1f | %.1f | ", values.size(), percentile(values, 50),
                      percentile(values, 90), percentile(values, 99));
    cpu >= 0 ? std::printf("%.1f %% |\n", cpu) : std::printf("– |\n");
}

void latency(StampedStream& stream, Size size, const std::vector<std::string>& words) {
    const double seconds = words.size() > 1 ? std::stod(words[1]) : 8.0;
    const int rounds = words.size() > 2 ? std::stoi(words[2]) : 2;
    const std::string load0 = loadAverage();
    struct Series {
        std::vector<Turn> turns;
        std::vector<double> decoded, shown, floor;
        double cpu = 0, seconds = 0;
        double cpuPercent() const { return 100 * cpu / seconds; }
    };
    std::map<Receiver, Series> series;
    for (int round = 1; round <= rounds; ++round) {
        for (const Receiver receiver : {Receiver::Hold, Receiver::Ffmpeg}) {
            std::fprintf(stderr, "  round %d: %s\n", round, names[static_cast<int>(receiver)]);
            Turn& turn = series[receiver].turns.emplace_back(Turn{stream, size});
            run(stream, turn, receiver, seconds, std::nullopt);
        }
    }
    // The floor of every picture the tap saw, by number.
    stream.stop(); // the decoding below has the process to itself
    const std::vector<StampedStream::Arrival> arrivals = stream.take();
    std::vector<std::tuple<std::size_t, std::uint32_t, Clock::duration>> units;
    const std::vector<std::size_t> starts = decodeAll(
        arrivals, [&](const PixelBuffer& picture, std::size_t unit, Clock::duration took) {
            if (const auto number = StampedStream::stampOf(picture)) {
                units.emplace_back(unit, *number, took);
            }
        });
    for (auto& [receiver, s] : series) {
        for (const Turn& turn : s.turns) {
            addLatencies(turn, turn.decoded, s.decoded);
            addLatencies(turn, turn.shown, s.shown);
            for (const auto& [unit, number, took] : units) {
                if (turn.inWindow(number) && unit < starts.size()) {
                    s.floor.push_back(
                        ms(arrivals[starts[unit]].at - *stream.capturedAt(number) + took));
                }
            }
            s.cpu += turn.cpuSeconds;
            s.seconds += turn.seconds;
        }
    }
    Series& vistrel = series[Receiver::Hold];
    Series& ffmpeg = series[Receiver::Ffmpeg];
    std::printf("\n### %d × %d, %d × %.0f s per receiver\n\n| Capture → | Pictures | p50 ms | "
                "p90 ms | p99 ms | CPU (of one core) |\n|---|---|---|---|---|---|\n",
                size.width, size.height, rounds, seconds);
    // Each receiver against the floor of its own windows: the load changes.
    printRow("floor in Vistrel's windows: first datagram + decode", vistrel.floor, -1);
    printRow("Vistrel: decoded (UdpReceiver onFrame)", vistrel.decoded, vistrel.cpuPercent());
    printRow("Vistrel: shown (VideoDisplay on the GUI thread)", vistrel.shown, -1);
    printRow("floor in ffmpeg's windows", ffmpeg.floor, -1);
    printRow("ffmpeg command line → raw reader", ffmpeg.decoded, ffmpeg.cpuPercent());
    std::printf("\n");
    printReceiveCost(arrivals);
    printLoad(load0);
}

double percent(std::size_t part, std::size_t whole) {
    return whole > 0 ? 100 * static_cast<double>(part) / static_cast<double>(whole) : 0.0;
}

// Damage can make a number unreadable, or read as an earlier one. A run of
// such pictures that fits the gap between two numbers read is numbered by its
// place; the rest stay unidentified, with the numbers they can only have.
void number(std::vector<Picture>& pictures) {
    std::optional<std::uint32_t> previous;
    std::vector<Picture*> run;
    for (Picture& picture : pictures) {
        if (!picture.number || (previous && *picture.number <= *previous)) {
            picture.number.reset();
            run.push_back(&picture);
            continue;
        }
        const bool fits = previous && run.size() == *picture.number - *previous - 1;
        for (Picture* unread : run) {
            if (fits) {
                unread->number = ++*previous;
            } else if (previous) {
                unread->first = *previous + 1;
                unread->last = *picture.number - 1;
            }
        }
        run.clear();
        previous = picture.number;
    }
}

// Each picture against the same picture decoded from everything the tap
// received, an unidentified one against each it can be.
void compare(const std::vector<StampedStream::Arrival>& arrivals,
             const std::vector<Picture*>& pictures, Size size) {
    std::multimap<std::uint32_t, Picture*> candidates;
    for (Picture* picture : pictures) {
        if (picture->number) {
            candidates.emplace(*picture->number, picture);
        }
        for (std::uint32_t number = picture->first; number <= picture->last; ++number) {
            candidates.emplace(number, picture);
        }
    }
    decodeAll(arrivals, [&](const PixelBuffer& reference, std::size_t, Clock::duration) {
        const AVFrame* frame = reference.frame();
        const auto number = StampedStream::stampOf(reference);
        for (auto [it, end] = candidates.equal_range(number.value_or(~0U)); it != end; ++it) {
            Picture& picture = *it->second;
            double squares = 0;
            for (int y = 0; y < size.height; ++y) {
                const std::uint8_t* a = picture.luma.data() + std::ptrdiff_t{size.width} * y;
                const std::uint8_t* b = frame->data[0] + std::ptrdiff_t{frame->linesize[0]} * y;
                for (int x = 0; x < size.width; ++x) {
                    squares += (a[x] - b[x]) * (a[x] - b[x]);
                }
            }
            const double error = squares / static_cast<double>(picture.luma.size());
            picture.error = picture.error < 0 ? error : std::min(picture.error, error);
        }
    });
}

void report(const std::vector<StampedStream::Arrival>& arrivals, Turn& turn) {
    const auto seconds = [](Clock::duration d) {
        return ms(d) / 1000;
    };
    const auto inWindow = [&turn](const auto& arrival) {
        return arrival.at >= turn.from && arrival.at < turn.to;
    };
    const auto datagrams = static_cast<std::size_t>(std::ranges::count_if(arrivals, inWindow));
    const auto dropped = static_cast<std::size_t>(std::ranges::count_if(
        arrivals, [&](const auto& arrival) { return arrival.dropped && inWindow(arrival); }));
    std::size_t sent = 0;
    for (std::uint32_t number = 0; turn.stream.capturedAt(number); ++number) {
        sent += turn.inWindow(number) ? 1U : 0U;
    }
    // Every picture handed on is a new one, read or not: neither receiver
    // repeats a picture.
    number(turn.decoded);
    std::vector<Picture*> counted;
    std::size_t unidentified = 0;
    for (Picture& picture : turn.decoded) {
        if (picture.number ? turn.inWindow(*picture.number) : picture.at < turn.to) {
            counted.push_back(&picture);
            unidentified += picture.number ? 0U : 1U;
        }
    }
    double longestFreeze = 0;
    Clock::time_point last = turn.from;
    for (const Picture* picture : counted) {
        longestFreeze = std::max(longestFreeze, seconds(picture->at - last));
        last = std::max(last, picture->at);
    }
    longestFreeze = std::max(longestFreeze, seconds(turn.to - last));
    const auto wholeSeconds = static_cast<std::size_t>(seconds(turn.to - turn.from));
    std::size_t still = 0;
    for (std::size_t k = 0; k < wholeSeconds; ++k) {
        const Clock::time_point begin = turn.from + std::chrono::seconds(k);
        const auto next = std::ranges::lower_bound(
            counted, begin, {}, [](const Picture* picture) { return picture->at; });
        still += next == counted.end() || (*next)->at >= begin + std::chrono::seconds(1) ? 1U : 0U;
    }
    compare(arrivals, counted, turn.size);
    double psnr = 0;
    std::size_t compared = 0;
    std::size_t differing = 0;
    for (const Picture* picture : counted) {
        if (picture->error >= 0) { // an error of 0 gives the cap
            psnr += std::min(psnrCap, 10 * std::log10(255 * 255 / picture->error));
            ++compared;
            differing += picture->error > 0 ? 1 : 0;
        }
    }
    std::printf("%.2f %% | %.1f %% | %.1f %% | %.2f s | %zu of %zu | ", percent(dropped, datagrams),
                percent(counted.size(), sent), percent(unidentified, counted.size()), longestFreeze,
                still, wholeSeconds);
    compared > 0 ? std::printf("%.1f dB | %.1f %% |\n", psnr / static_cast<double>(compared),
                               percent(differing, compared))
                 : std::printf("– | – |\n");
    std::fflush(stdout);
}

void loss(StampedStream& stream, Size size, const std::vector<std::string>& words) {
    double seconds = 10;
    std::vector<Loss> losses;
    for (const std::string& word : words | std::views::drop(1)) {
        const std::size_t colon = word.find(':');
        std::istringstream list(word.substr(colon + 1));
        for (std::string rate; colon != std::string::npos && std::getline(list, rate, ',');) {
            losses.push_back({word.starts_with("burst"), std::stod(rate)});
        }
        seconds = colon == std::string::npos ? std::stod(word) : seconds;
    }
    if (losses.empty()) {
        losses = {{false, 0},  {false, 0.1}, {false, 0.5}, {false, 1}, {false, 2},
                  {true, 0.1}, {true, 0.5},  {true, 1},    {true, 2}};
    }
    const std::string load0 = loadAverage();
    std::printf("\n### %d × %d, %.0f s per receiver and loss\n\n| Loss | Receiver | Dropped | "
                "Shown | Unidentified | Longest freeze | Seconds without a new picture | Luma PSNR "
                "| Differing |\n|---|---|---|---|---|---|---|---|---|\n",
                size.width, size.height, seconds);
    for (const Loss each : losses) {
        for (const Receiver receiver : {Receiver::Hold, Receiver::KeepMoving, Receiver::Ffmpeg}) {
            char cell[64];
            std::snprintf(cell, sizeof cell, "%s %.1f %%", each.bursts ? "bursts" : "random",
                          each.percent);
            std::fprintf(stderr, "  %s: %s\n", cell, names[static_cast<int>(receiver)]);
            stream.take(); // the reference starts with this receiver
            Turn turn{stream, size, true};
            run(stream, turn, receiver, seconds, each);
            std::printf("| %s | %s | ", cell, names[static_cast<int>(receiver)]);
            report(stream.take(), turn);
        }
    }
    std::printf("\n");
    printLoad(load0);
}

} // namespace

int main(int argc, char* argv[]) {
    const QCoreApplication app(argc, argv); // for the session's hand-off
    av_log_set_level(AV_LOG_QUIET);
    std::vector<Size> sizes;
    std::vector<std::string> words; // the mode first
    for (int i = 1; i < argc; ++i) {
        Size size{};
        if (std::sscanf(argv[i], "%dx%d", &size.width, &size.height) == 2) {
            sizes.push_back(size);
        } else {
            words.emplace_back(argv[i]);
        }
    }
    if (words.empty() || (words[0] != "latency" && words[0] != "loss")) {
        std::fprintf(stderr, "live_bench latency|loss ...\n");
        return 2;
    }
    try {
        for (const Size size :
             sizes.empty() ? std::vector<Size>{{1280, 720}, {1920, 1080}} : sizes) {
            std::fprintf(stderr, "%d × %d: starting the sender\n", size.width, size.height);
            StampedStream stream(size);
            words[0] == "latency" ? latency(stream, size, words) : loss(stream, size, words);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
