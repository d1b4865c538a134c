// Live video under datagram loss: one stamped stream (StampedSender) through a
// tap that drops datagrams one by one or in bursts, received in turn by
// Vistrel's UdpReceiver under `hold`, under `keepMoving`, and by the ffmpeg
// command line tuned for low delay. Each receiver starts on the whole stream
// and meets loss only in its window, so that what is compared is living with
// loss. A picture's damage is its luma against the same picture decoded from
// everything the tap received.
//
//   loss_bench [seconds per receiver = 10] [WxH ...] [random:P,P,...] [burst:P,...]
//
// P in per cent of datagrams. Prints a markdown table per size.
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
#include <atomic>
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

// Each receiver meets the same drops at the same places: dropping begins
// with a keyframe, and the random sequence starts afresh with each, seeded by
// its place in the window, so that the receivers' figures differ by what they
// do rather than by which pictures the loss hit. Bursts follow a Gilbert
// model: a bad state that loses everything, left after meanBurst datagrams on
// average, and entered just often enough for the same average loss.
bench::DatagramTap::DropRule lossRule(Loss loss, std::atomic<Clock::time_point>& firstKeyframe) {
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
        if (keyframes == 0) {
            return false;
        }
        const double u = uniform(random);
        if (!bursts) {
            return u < p;
        }
        bad = bad ? u >= 1 / meanBurst : u < enter;
        return bad;
    };
}

// What one receiver showed after its warm-up, noted on its thread and read
// once it has stopped: each picture, when it came and its luma.
// Damage can make a picture's number unreadable, or make it read as one
// shown before where that part was concealed from it. As pictures come in
// order, a run of such pictures that fits the gap between two numbers read is
// numbered by its place; any other stays unidentified, with the numbers it
// can only have.
struct Shown {
    struct Picture {
        Clock::time_point at;
        std::optional<std::uint32_t> number;
        std::vector<std::uint8_t> luma; // width × height
        std::uint32_t first = 1;        // unidentified: the numbers it can have
        std::uint32_t last = 0;
        double error = -1; // mean squared, against the reference it is closest to
    };

    const StampedSender& sender;
    Size size;
    Clock::time_point earliest; // the end of the warm-up
    Clock::time_point from;     // the window, set once it opens
    Clock::time_point to;
    std::vector<Picture> pictures;

    [[nodiscard]] bool sentInWindow(std::uint32_t number) const {
        const auto captured = sender.capturedAt(number);
        return captured && *captured >= from && *captured < to;
    }

    void note(const std::uint8_t* luma, std::ptrdiff_t stride) {
        const Clock::time_point at = Clock::now();
        if (at < earliest) {
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
};

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double percent(std::size_t part, std::size_t whole) {
    return whole > 0 ? 100 * static_cast<double>(part) / static_cast<double>(whole) : 0.0;
}

// Compares each picture with the same picture decoded from everything the
// tap received, and an unidentified one with each it can be.
void compare(const std::vector<bench::DatagramTap::Arrival>& arrivals,
             const std::vector<Shown::Picture*>& pictures, Size size) {
    std::multimap<std::uint32_t, Shown::Picture*> candidates;
    for (Shown::Picture* picture : pictures) {
        if (picture->number) {
            candidates.emplace(*picture->number, picture);
        }
        for (std::uint32_t number = picture->first; number <= picture->last; ++number) {
            candidates.emplace(number, picture);
        }
    }
    TransportStreamDemuxer demuxer;
    VideoDecoder decoder(VideoDecoder::Acceleration::Software);
    demuxer.setOnAccessUnit(
        [&decoder](std::span<const std::uint8_t> unit, bool) { decoder.decode(unit); });
    decoder.setOnFrame([&](const PixelBuffer& reference) {
        const AVFrame* frame = reference.frame();
        const auto number = bench::readStamp(frame->data[0], frame->linesize[0]);
        for (auto [it, end] = candidates.equal_range(number.value_or(~0U)); it != end; ++it) {
            Shown::Picture& picture = *it->second;
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
    for (const auto& arrival : arrivals) {
        demuxer.append(arrival.bytes);
    }
    demuxer.flush();
}

// One row of the table: what the receiver made of the window.
void report(const std::vector<bench::DatagramTap::Arrival>& arrivals, Shown& shown) {
    const auto inWindow = [&shown](const auto& arrival) {
        return arrival.at >= shown.from && arrival.at < shown.to;
    };
    const auto datagrams = static_cast<std::size_t>(std::ranges::count_if(arrivals, inWindow));
    const auto dropped = static_cast<std::size_t>(std::ranges::count_if(
        arrivals, [&](const auto& arrival) { return arrival.dropped && inWindow(arrival); }));
    std::size_t sent = 0;
    for (std::uint32_t number = 0; shown.sender.capturedAt(number); ++number) {
        sent += shown.sentInWindow(number) ? 1U : 0U;
    }
    // Every picture handed on is a new one, read or not: neither receiver
    // repeats a picture.
    shown.number();
    std::vector<Shown::Picture*> counted;
    std::size_t unidentified = 0;
    for (Shown::Picture& picture : shown.pictures) {
        if (picture.number ? shown.sentInWindow(*picture.number) : picture.at < shown.to) {
            counted.push_back(&picture);
            unidentified += picture.number ? 0U : 1U;
        }
    }
    double longestFreeze = 0;
    Clock::time_point last = shown.from;
    for (const Shown::Picture* picture : counted) {
        longestFreeze = std::max(longestFreeze, seconds(picture->at - last));
        last = std::max(last, picture->at);
    }
    longestFreeze = std::max(longestFreeze, seconds(shown.to - last));
    const auto wholeSeconds = static_cast<std::size_t>(seconds(shown.to - shown.from));
    std::size_t still = 0;
    for (std::size_t k = 0; k < wholeSeconds; ++k) {
        const Clock::time_point begin = shown.from + std::chrono::seconds(k);
        const auto next = std::ranges::lower_bound(
            counted, begin, {}, [](const Shown::Picture* picture) { return picture->at; });
        still += next == counted.end() || (*next)->at >= begin + std::chrono::seconds(1) ? 1U : 0U;
    }
    compare(arrivals, counted, shown.size);
    double psnr = 0;
    std::size_t compared = 0;
    std::size_t differing = 0;
    for (const Shown::Picture* picture : counted) {
        if (picture->error >= 0) { // an error of 0 gives the cap
            psnr += std::min(psnrCap, 10 * std::log10(255 * 255 / picture->error));
            ++compared;
            differing += picture->error > 0 ? 1 : 0;
        }
    }
    char damage[48] = "– | –";
    if (compared > 0) {
        std::snprintf(damage, sizeof damage, "%.1f dB | %.1f %%",
                      psnr / static_cast<double>(compared), percent(differing, compared));
    }
    std::printf("%.2f %% | %.1f %% | %.1f %% | %.2f s | %zu of %zu | %s |\n",
                percent(dropped, datagrams), percent(counted.size(), sent),
                percent(unidentified, counted.size()), longestFreeze, still, wholeSeconds, damage);
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
        {"Vistrel hold", LossPolicy::Hold},
        {"Vistrel keepMoving", LossPolicy::KeepMoving},
        {"ffmpeg command line", std::nullopt}};
    for (const Loss loss : losses) {
        for (const auto& [name, policy] : receivers) {
            char cell[64];
            std::snprintf(cell, sizeof cell, "%s %.1f %%", loss.bursts ? "bursts" : "random",
                          loss.percent);
            std::fprintf(stderr, "  %s: %s\n", cell, name);
            tap.take(); // the reference starts with this receiver
            Shown shown{sender, size, Clock::now() + warmUp, {}, {}, {}};
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
                std::this_thread::sleep_until(shown.earliest);
                std::atomic keyframe = Clock::time_point::max();
                tap.dropWhen(lossRule(loss, keyframe));
                // The window opens with the next keyframe, at most 1.5 s away.
                while (keyframe.load() == Clock::time_point::max() &&
                       Clock::now() < shown.earliest + warmUp) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
                shown.from = std::min(keyframe.load(), Clock::now());
                shown.to = shown.from + length;
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
