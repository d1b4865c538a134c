// Live video under datagram loss, receivers taking turns on one stream: the
// headset's encoder settings sending MPEG-TS over UDP on loopback, each
// picture's number painted in (StampedSender), through a tap that drops
// datagrams as Wi-Fi does, one by one or in bursts; in turn
//   - Vistrel's UdpReceiver under the `hold` loss policy,
//   - the same under `keepMoving`,
//   - the ffmpeg command line tuned for low delay, its raw pictures read here.
// Each receiver starts on the whole stream and meets loss only in its
// measuring window: what is compared is living with loss, not starting under
// it. A shown picture's damage is its luma against the same picture decoded
// from everything the tap received, dropped datagrams included.
//
//   loss_bench [seconds per receiver = 10] [WxH ...] [random:P,P,...] [burst:P,...]
//
// P in per cent of datagrams. Prints a markdown table per size; nothing here
// is a pass or fail.
#include "BenchProcess.h"
#include "DatagramTap.h"
#include "HeadsetStream.h"
#include "LatencyStamp.h"
#include "StampedSender.h"
#include "receive/TransportStreamDemuxer.h"
#include "receive/UdpReceiver.h"
#include "receive/VideoDecoder.h"

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using namespace vistrel;
using bench::StampedSender;
using Clock = std::chrono::steady_clock;

// Start-up and the first keyframe (every 1.5 s); the tail lets the pictures
// captured last arrive, the ffmpeg command line showing each a frame late.
constexpr auto warmUp = std::chrono::milliseconds(3000);
constexpr auto lateTail = std::chrono::milliseconds(500);
// Wi-Fi loses datagrams in runs; this is the mean run in the burst model.
constexpr double meanBurst = 4;
// Identical pictures have an infinite PSNR; past this nobody sees a difference.
constexpr double psnrCap = 60;

struct Size {
    int width;
    int height;
};

struct Loss {
    bool bursts;
    double percent; // of datagrams, on average
};

// The same drops for the same stream in every run. Bursts follow a Gilbert
// model: a bad state that loses everything, left after meanBurst datagrams on
// average, and entered just often enough for the same average loss.
std::function<bool()> lossRule(Loss loss) {
    if (loss.percent <= 0) {
        return {};
    }
    const double p = loss.percent / 100;
    return [p, bursts = loss.bursts, enter = p / meanBurst / (1 - p), bad = false,
            random = std::mt19937(static_cast<unsigned>(loss.percent * 20) + (loss.bursts ? 1 : 0)),
            uniform = std::uniform_real_distribution<>()]() mutable {
        const double u = uniform(random);
        if (!bursts) {
            return u < p;
        }
        bad = bad ? u >= 1 / meanBurst : u < enter;
        return bad;
    };
}

// What one receiver showed from the window's start on, noted on its thread
// and read once it has stopped: each picture, when it came and its luma.
// Damage can make a picture's number unreadable, or make it read as the one
// before where that part was concealed from it; as pictures come in order,
// one per picture sent, a run of such pictures that fits the gap between two
// numbers read is numbered by its place, and any other stays unidentified.
struct Shown {
    struct Picture {
        Clock::time_point at;
        std::optional<std::uint32_t> number;
        std::vector<std::uint8_t> luma; // width × height; emptied once compared
    };

    const StampedSender& sender;
    Size size;
    Clock::time_point from;
    Clock::time_point to;
    std::vector<Picture> pictures;

    [[nodiscard]] bool sentInWindow(std::uint32_t number) const {
        const auto captured = sender.capturedAt(number);
        return captured && *captured >= from && *captured < to;
    }

    void note(const std::uint8_t* luma, std::ptrdiff_t stride) {
        const Clock::time_point at = Clock::now();
        if (at < from) {
            return;
        }
        Picture& picture = pictures.emplace_back(Picture{at, bench::readStamp(luma, stride), {}});
        const auto width = static_cast<std::size_t>(size.width);
        picture.luma.resize(width * static_cast<std::size_t>(size.height));
        for (int y = 0; y < size.height; ++y) {
            std::memcpy(picture.luma.data() + width * static_cast<std::size_t>(y),
                        luma + stride * y, width);
        }
    }

    void number() {
        std::optional<std::uint32_t> previous;
        std::vector<Picture*> run;
        for (Picture& picture : pictures) {
            if (!picture.number || (previous && *picture.number <= *previous)) {
                picture.number.reset();
                run.push_back(&picture);
                continue;
            }
            if (previous && run.size() == *picture.number - *previous - 1) {
                for (Picture* unread : run) {
                    unread->number = ++*previous;
                }
            }
            run.clear();
            previous = picture.number;
        }
    }
};

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double percent(std::size_t part, std::size_t whole) {
    return whole > 0 ? 100 * static_cast<double>(part) / static_cast<double>(whole) : 0.0;
}

// Luma PSNR of each picture shown against the same picture decoded from
// everything the tap received; their sum, how many, how many differed.
std::array<double, 3> compare(const std::vector<bench::DatagramTap::Arrival>& arrivals,
                              std::map<std::uint32_t, Shown::Picture*>& shown, Size size) {
    std::array<double, 3> sums{};
    TransportStreamDemuxer demuxer;
    VideoDecoder decoder(VideoDecoder::Acceleration::software);
    demuxer.setOnAccessUnit(
        [&decoder](std::span<const std::uint8_t> unit, bool) { decoder.decode(unit); });
    decoder.setOnFrame([&](const PixelBuffer& reference) {
        const AVFrame* frame = reference.frame();
        const auto number = bench::readStamp(frame->data[0], frame->linesize[0]);
        const auto found = number ? shown.find(*number) : shown.end();
        if (found == shown.end() || found->second->luma.empty()) {
            return;
        }
        std::vector<std::uint8_t>& luma = found->second->luma;
        double squares = 0;
        for (int y = 0; y < size.height; ++y) {
            const std::uint8_t* a = luma.data() + static_cast<std::ptrdiff_t>(size.width) * y;
            const std::uint8_t* b = frame->data[0] + std::ptrdiff_t{frame->linesize[0]} * y;
            for (int x = 0; x < size.width; ++x) {
                squares += (a[x] - b[x]) * (a[x] - b[x]);
            }
        }
        const double mse = squares / static_cast<double>(luma.size());
        sums[0] += mse == 0 ? psnrCap : std::min(psnrCap, 10 * std::log10(255 * 255 / mse));
        sums[1] += 1;
        sums[2] += mse == 0 ? 0 : 1;
        luma = {};
    });
    for (const auto& arrival : arrivals) {
        demuxer.append(arrival.bytes);
    }
    demuxer.flush();
    return sums;
}

// One row of the table: what the receiver made of the window.
void report(const std::vector<bench::DatagramTap::Arrival>& arrivals, Shown& shown) {
    std::size_t inWindow = 0;
    std::size_t dropped = 0;
    for (const auto& arrival : arrivals) {
        if (arrival.at >= shown.from && arrival.at < shown.to) {
            ++inWindow;
            dropped += arrival.dropped ? 1 : 0;
        }
    }
    std::size_t sent = 0;
    for (std::uint32_t number = 0; shown.sender.capturedAt(number); ++number) {
        sent += shown.sentInWindow(number) ? 1 : 0;
    }
    // Every picture handed on is a new one, read or not: neither receiver
    // repeats a picture.
    shown.number();
    std::map<std::uint32_t, Shown::Picture*> byNumber;
    std::vector<Clock::time_point> times;
    std::size_t unidentified = 0;
    for (Shown::Picture& picture : shown.pictures) {
        if (picture.number ? shown.sentInWindow(*picture.number) : picture.at < shown.to) {
            times.push_back(picture.at);
            if (picture.number) {
                byNumber.emplace(*picture.number, &picture);
            } else {
                ++unidentified;
            }
        }
    }
    double longestFreeze = 0;
    Clock::time_point last = shown.from;
    for (const Clock::time_point at : times) {
        longestFreeze = std::max(longestFreeze, seconds(at - last));
        last = std::max(last, at);
    }
    longestFreeze = std::max(longestFreeze, seconds(shown.to - last));
    const auto wholeSeconds = static_cast<std::size_t>(seconds(shown.to - shown.from));
    std::size_t still = 0;
    for (std::size_t k = 0; k < wholeSeconds; ++k) {
        const Clock::time_point begin = shown.from + std::chrono::seconds(k);
        const auto next = std::lower_bound(times.begin(), times.end(), begin);
        still += next == times.end() || *next >= begin + std::chrono::seconds(1) ? 1 : 0;
    }
    const auto [psnr, compared, differing] = compare(arrivals, byNumber, shown.size);
    std::printf("%.2f %% | %.1f %% | %.1f %% | %.2f s | %zu of %zu | %.1f dB | %.1f %% |\n",
                percent(dropped, inWindow), percent(byNumber.size(), sent),
                percent(unidentified, sent), longestFreeze, still, wholeSeconds,
                compared > 0 ? psnr / compared : NAN,
                compared > 0 ? 100 * differing / compared : NAN);
    std::fflush(stdout);
}

void measureSize(Size size, Clock::duration length, const std::vector<Loss>& losses) {
    std::fprintf(stderr, "%d × %d: starting the sender\n", size.width, size.height);
    const std::uint16_t port = test::freeUdpPort();
    bench::DatagramTap tap(port);
    const StampedSender sender(size.width, size.height, tap.port());
    const std::string load0 = bench::loadAverage();
    std::printf("\n### %d × %d, %.0f s per receiver and loss\n\n"
                "| Loss | Receiver | Dropped | Shown | Unidentified | Longest freeze | "
                "Seconds without a new picture | Luma PSNR | Differing |\n"
                "|---|---|---|---|---|---|---|---|---|\n",
                size.width, size.height, seconds(length));
    const std::pair<const char*, std::optional<LossPolicy>> receivers[] = {
        {"Vistrel hold", LossPolicy::hold},
        {"Vistrel keepMoving", LossPolicy::keepMoving},
        {"ffmpeg command line", std::nullopt}};
    for (const Loss loss : losses) {
        for (const auto& [name, policy] : receivers) {
            char cell[64];
            std::snprintf(cell, sizeof cell, "%s %.1f %%", loss.bursts ? "bursts" : "random",
                          loss.percent);
            std::fprintf(stderr, "  %s: %s\n", cell, name);
            tap.take(); // the reference starts with this receiver
            const Clock::time_point from = Clock::now() + warmUp;
            Shown shown{sender, size, from, from + length, {}};
            {
                UdpReceiver vistrel;
                std::optional<bench::ProgramReceiver> ffmpeg;
                if (policy) {
                    vistrel.setLossPolicy(*policy);
                    vistrel.setOnFrame([&shown](const PixelBuffer& picture) {
                        shown.note(picture.frame()->data[0], picture.frame()->linesize[0]);
                    });
                    vistrel.start(port, "127.0.0.1");
                } else {
                    ffmpeg.emplace(bench::ffmpegRawReceiver(port),
                                   static_cast<std::size_t>(size.width * size.height) * 3 / 2,
                                   [&shown](const std::uint8_t* picture) {
                                       shown.note(picture, shown.size.width);
                                   });
                }
                std::this_thread::sleep_until(shown.from);
                tap.dropWhen(lossRule(loss));
                std::this_thread::sleep_until(shown.to);
                tap.dropWhen({});
                std::this_thread::sleep_until(shown.to + lateTail);
            }
            std::printf("| %s | %s | ", cell, name);
            report(tap.take(), shown);
        }
    }
    std::printf("\nLoad average (1 / 5 min) %s at the start, %s at the end, on %ld cores.\n",
                load0.c_str(), bench::loadAverage().c_str(), ::sysconf(_SC_NPROCESSORS_ONLN));
}

} // namespace

int main(int argc, char* argv[]) {
    av_log_set_level(AV_LOG_QUIET);
    double windowSeconds = 10;
    std::vector<Size> sizes;
    std::vector<Loss> losses;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string argument = argv[i];
            Size size{};
            if (std::sscanf(argv[i], "%dx%d", &size.width, &size.height) == 2) {
                sizes.push_back(size);
            } else if (const std::size_t colon = argument.find(':'); colon != std::string::npos) {
                std::istringstream list(argument.substr(colon + 1));
                for (std::string rate; std::getline(list, rate, ',');) {
                    losses.push_back({argument.starts_with("burst"), std::stod(rate)});
                }
            } else {
                windowSeconds = std::stod(argument);
            }
        }
        if (sizes.empty()) {
            sizes = {{1280, 720}, {1920, 1080}};
        }
        if (losses.empty()) {
            losses = {{false, 0},  {false, 0.1}, {false, 0.5}, {false, 1}, {false, 2},
                      {true, 0.1}, {true, 0.5},  {true, 1},    {true, 2}};
        }
        for (const Size size : sizes) {
            measureSize(size,
                        std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double>(windowSeconds)),
                        losses);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
