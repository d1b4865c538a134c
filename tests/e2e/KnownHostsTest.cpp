// The application's known-hosts path lies in a folder whose name has a space;
// ssh must keep the headset's key in exactly that file, whatever the name.
#include "HeadsetSimulator.h"
#include "MediaFiles.h"
#include "RemoteScriptSession.h"
#include "ScratchFolder.h"
#include "UdpProbe.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <ostream>

namespace vistrel::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct KnownHostsCase {
    const char* name;
    const char* folder; // inside a fresh temporary folder
};

// Test names, not bytes, in the output.
void PrintTo(const KnownHostsCase& value, std::ostream* out) {
    *out << value.name;
}

class KnownHostsTest : public ::testing::TestWithParam<KnownHostsCase> {};

// Every file below `root`, as paths relative to it.
std::vector<std::string> filesBelow(const fs::path& root) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            files.push_back(fs::relative(entry.path(), root).string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST_P(KnownHostsTest, FirstConnectionStoresTheAcceptedKeyInThatFileAndTheSecondAsksNothing) {
    if (const auto reason = HeadsetSimulator::skipReason(); !reason.empty()) {
        GTEST_SKIP() << reason;
    }
    HeadsetSimulator headset;
    ScratchFolder place;
    const fs::path folder = place.path() / GetParam().folder;
    fs::create_directories(folder);
    const fs::path knownHosts = folder / "known_hosts";
    UdpProbe probe(headset.localAddress());
    RemoteScriptSession session(headset, probe.port(), RemoteScriptSession::Trust::unknownHost,
                                knownHosts);

    auto& first = session.start();
    ASSERT_EQ(first.readLine(30s).value_or("<no line>"), "VL_STARTED") << first.errorText();
    first.write("STOP\n");
    EXPECT_EQ(first.waitForExit(20s), 0) << first.errorText();
    const auto asked = session.askpassQuestions();
    ASSERT_FALSE(asked.empty());
    EXPECT_NE(asked.front().find("authenticity of host '" + headset.headsetAddress()),
              std::string::npos)
        << asked.front();

    // The key went into that one file and nowhere else (no file named after
    // a piece of the path).
    EXPECT_EQ(filesBelow(place.path()),
              std::vector<std::string>{(fs::path(GetParam().folder) / "known_hosts").string()});
    const auto lines = readLines(knownHosts);
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_EQ(lines.front(), headset.knownHostsLine());

    auto& second = session.start();
    ASSERT_EQ(second.readLine(30s).value_or("<no line>"), "VL_STARTED") << second.errorText();
    second.write("STOP\n");
    EXPECT_EQ(second.waitForExit(20s), 0) << second.errorText();
    EXPECT_EQ(session.askpassQuestions().size(), asked.size()) << "the second connection asked";
    EXPECT_EQ(readLines(knownHosts), lines);
}

INSTANTIATE_TEST_SUITE_P(Paths, KnownHostsTest,
                         ::testing::Values(KnownHostsCase{"Space", "Application Support/Vistrel"},
                                           KnownHostsCase{"DoubleQuote", "say \"cheese\" here"},
                                           KnownHostsCase{"Backslash", "back\\slash and space"},
                                           KnownHostsCase{"SingleQuote", "it's mine"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace vistrel::test
