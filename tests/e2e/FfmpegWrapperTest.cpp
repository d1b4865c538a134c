// The simulated headset's ffmpeg: only the camera input is swapped, every
// other argument reaches the real program unchanged, and it execs, so that
// the remote script's signals reach the encoder itself.
#include "ChildProcess.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <ostream>
#include <signal.h>
#include <sstream>
#include <thread>

namespace vistrel::test {
namespace {

using namespace std::chrono_literals;
using Arguments = std::vector<std::string>;

std::string wrapper() {
    return VISTREL_SOURCE_DIR "/tools/headset-sim/ffmpeg-wrapper";
}
std::string source() {
    return "testsrc2=size=320x240:rate=20";
}
Arguments synthetic() {
    return {"-re", "-f", "lavfi", "-i", source()};
}

// The encoder arguments the remote script passes, before the output URL.
Arguments scriptArguments() {
    return {"-nostdin",
            "-f",
            "v4l2",
            "-framerate",
            "20",
            "-thread_queue_size",
            "1024",
            "-i",
            "/dev/video99",
            "-map",
            "0:v",
            "-an",
            "-c:v",
            "libx264",
            "-preset",
            "ultrafast",
            "-tune",
            "zerolatency",
            "-pix_fmt",
            "yuv420p",
            "-r",
            "30",
            "-g",
            "30",
            "-keyint_min",
            "30",
            "-sc_threshold",
            "0",
            "-x264-params",
            "repeat-headers=1:aud=1",
            "-loglevel",
            "error",
            "-hide_banner",
            "-flush_packets",
            "1",
            "-muxdelay",
            "0",
            "-f",
            "mpegts",
            "udp://10.77.0.1:8090?pkt_size=1316"};
}

Arguments join(std::initializer_list<Arguments> parts) {
    Arguments all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

Arguments rewritten(const Arguments& arguments) {
    Arguments argv{wrapper()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const auto result =
        runProcess(argv, {}, {{"HEADSET_SIM_PRINT_ONLY", "1"}, {"HEADSET_SIM_SOURCE", source()}});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    Arguments lines;
    std::istringstream text(result.out);
    std::string line;
    while (std::getline(text, line)) {
        lines.push_back(line);
    }
    return lines;
}

struct RewriteCase {
    const char* name;
    Arguments given;
    Arguments expected;
};

// Test names, not bytes, in the output.
void PrintTo(const RewriteCase& value, std::ostream* out) {
    *out << value.name;
}

class FfmpegWrapperRewriteTest : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(FfmpegWrapperRewriteTest, SwapsOnlyTheCameraInput) {
    EXPECT_EQ(rewritten(GetParam().given), GetParam().expected);
}

Arguments scriptOutput() {
    const auto all = scriptArguments();
    return {all.begin() + 9, all.end()};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FfmpegWrapperRewriteTest,
    ::testing::Values(
        RewriteCase{"TheRemoteScriptsCommand", scriptArguments(),
                    join({{"-nostdin"}, synthetic(), scriptOutput()})},
        RewriteCase{"NoCameraInputIsLeftAlone", {"-version"}, {"-version"}},
        RewriteCase{"OtherInputsAndTheirOptionsStay",
                    {"-f", "lavfi", "-i", "sine", "-f", "v4l2", "-framerate", "20", "-i",
                     "/dev/video99", "-map", "1:v", "out.ts"},
                    join({{"-f", "lavfi", "-i", "sine"}, synthetic(), {"-map", "1:v", "out.ts"}})},
        RewriteCase{"WithoutV4l2FormatOnlyTheInputIsSwapped",
                    {"-y", "-i", "/dev/video99", "out.ts"},
                    join({{"-y"}, synthetic(), {"out.ts"}})},
        RewriteCase{"AnotherDeviceIsNotTheCamera",
                    {"-f", "v4l2", "-i", "/dev/video0", "out.ts"},
                    {"-f", "v4l2", "-i", "/dev/video0", "out.ts"}},
        RewriteCase{
            "ArgumentsWithBlanksAndQuotesSurvive",
            {"-f", "v4l2", "-i", "/dev/video99", "-metadata", "title=it's a \"test\"", "a b.ts"},
            join({synthetic(), {"-metadata", "title=it's a \"test\"", "a b.ts"}})},
        RewriteCase{"DeviceAsAnOutputNameIsNotAnInput",
                    {"-f", "lavfi", "-i", "sine", "/dev/video99"},
                    {"-f", "lavfi", "-i", "sine", "/dev/video99"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FfmpegWrapper, RunsTheRealEncoderWithTheScriptsSettings) {
    const std::filesystem::path output =
        std::filesystem::temp_directory_path() /
        ("vistrel-wrapper()-" + std::to_string(::getpid()) + ".ts");
    Arguments argv{wrapper()};
    const auto script = scriptArguments();
    argv.insert(argv.end(), script.begin(), script.end() - 1);
    argv.insert(argv.end() - 2, {"-frames:v", "10"}); // before "-f mpegts"
    argv.push_back(output.string());
    const auto result = runProcess(argv, {}, {{"HEADSET_SIM_SOURCE", source()}}, 60s);
    EXPECT_EQ(result.exitStatus, 0) << result.err;

    const auto probe = runProcess(
        {"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
         "stream=codec_name,width,height,nb_read_frames", "-of", "csv=p=0", output.string()});
    std::filesystem::remove(output);
    // The transport stream lists the stream under its program too: one line each.
    EXPECT_EQ(probe.out.substr(0, probe.out.find('\n')), "h264,320,240,10") << probe.err;
}

// A wrapper() run that encodes until told otherwise.
Arguments endless() {
    return {"-nostdin", "-loglevel",    "error", "-f",   "v4l2",
            "-i",       "/dev/video99", "-f",    "null", "-"};
}

std::string processName(pid_t pid) {
    std::string name;
    std::ifstream("/proc/" + std::to_string(pid) + "/comm") >> name;
    return name;
}

// Running, not merely waiting to be collected by its new parent.
bool exists(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    const auto state = text.rfind(") ");
    return state != std::string::npos && state + 2 < text.size() && text[state + 2] != 'Z';
}

TEST(FfmpegWrapper, ExecsSoTheInterruptReachesTheEncoderItself) {
    Arguments argv{wrapper()};
    const auto encoding = endless();
    argv.insert(argv.end(), encoding.begin(), encoding.end());
    ChildProcess child(argv, {{"HEADSET_SIM_SOURCE", source()}});
    for (int i = 0; i < 250 && processName(child.pid()) != "ffmpeg"; ++i) {
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_EQ(processName(child.pid()), "ffmpeg");
    std::this_thread::sleep_for(500ms);
    ::kill(child.pid(), SIGINT);
    // ffmpeg finishes its output on an interrupt and exits.
    const auto status = child.waitForExit(10s);
    ASSERT_TRUE(status.has_value()) << "the interrupt did not reach the encoder";
    EXPECT_NE(*status, 128 + SIGKILL);
}

TEST(FfmpegWrapper, StubbornEncoderSurvivesInterruptAndTerminateButNotKill) {
    Arguments argv{wrapper()};
    const auto encoding = endless();
    argv.insert(argv.end(), encoding.begin(), encoding.end());
    ChildProcess child(argv, {{"HEADSET_SIM_SOURCE", source()}, {"HEADSET_SIM_STUBBORN", "1"}});
    pid_t encoder = 0;
    for (int i = 0; i < 250 && encoder == 0; ++i) {
        std::this_thread::sleep_for(20ms);
        const auto task = "/proc/" + std::to_string(child.pid()) + "/task/" +
                          std::to_string(child.pid()) + "/children";
        std::ifstream(task) >> encoder;
    }
    ASSERT_NE(encoder, 0);
    for (int i = 0; i < 250 && processName(encoder) != "ffmpeg"; ++i) {
        std::this_thread::sleep_for(20ms);
    }
    ::kill(child.pid(), SIGINT);
    ::kill(child.pid(), SIGTERM);
    EXPECT_FALSE(child.waitForExit(1500ms).has_value()) << "it gave in to interrupt or terminate";
    EXPECT_TRUE(exists(encoder));
    ::kill(child.pid(), SIGKILL);
    EXPECT_EQ(child.waitForExit(5s), 128 + SIGKILL);
    // Its real ffmpeg goes with it instead of sending on as an orphan.
    for (int i = 0; i < 250 && exists(encoder); ++i) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_FALSE(exists(encoder));
}

} // namespace
} // namespace vistrel::test
