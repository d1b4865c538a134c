// The diagnostics report: its six lines in each situation, and that it
// replaces whatever the clipboard held.
#include "Messages.h"
#include "SessionRig.h"

#include <gtest/gtest.h>

using vistrel::StreamSession;
using vistrel::test::SessionRig;
using vistrel::test::waitFor;
using Phase = vistrel::StreamSession::Phase;

TEST(SessionDiagnostics, AFreshSessionReportsSixLinesWithEmptyFields) {
    SessionRig rig;
    StreamSession& session = rig.make(std::nullopt);
    session.copyDiagnostics();
    EXPECT_EQ(rig.clipboard->writes, 1);
    EXPECT_EQ(rig.clipboard->text,
              QStringLiteral("Vistrel\nState: Ready to connect\nHeadset: \nReceiver: \n\n"));
    EXPECT_EQ(rig.clipboard->text.split(QLatin1Char('\n')).size(), 6);
}

TEST(SessionDiagnostics, ALiveSessionReportsItsReceiverAndTheSshOutputWithPlainLineFeeds) {
    // ssh ends its lines with CR LF.
    SessionRig rig("printf 'debug1: one\\r\\ndebug1: two\\r\\n' >&2; listen");
    StreamSession& session = rig.make(QStringLiteral(" 127.0.0.1"));
    rig.startStreaming();
    ASSERT_TRUE(waitFor([&] { return session.diagnostics().count(QLatin1Char('\n')) == 2; }));
    session.copyDiagnostics();
    EXPECT_EQ(rig.clipboard->text,
              QStringLiteral("Vistrel\nState: Live\nHeadset: 127.0.0.1\nReceiver: 127.0.0.1:%1\n\n"
                             "debug1: one\ndebug1: two\n")
                  .arg(rig.port));
}

TEST(SessionDiagnostics, EachPhaseHasItsLabel) {
    SessionRig rig("exec 0<&-; while :; do sleep 0.05; done");
    StreamSession& session = rig.session();
    const auto stateLine = [&] {
        return session.diagnosticsReport().split(QLatin1Char('\n'))[1];
    };
    EXPECT_EQ(stateLine(), QStringLiteral("State: Ready to connect"));
    rig.startConnecting();
    EXPECT_EQ(stateLine(), QStringLiteral("State: Connecting"));
    vistrel::SessionProbe::consumeOutput(session, "VL_STARTED\n");
    EXPECT_EQ(stateLine(), QStringLiteral("State: Waiting for video"));
    rig.feed(vistrel::test::makePicture(64, 48));
    EXPECT_EQ(stateLine(), QStringLiteral("State: Live"));
    session.end();
    EXPECT_EQ(stateLine(), QStringLiteral("State: Ending stream"));
}

TEST(SessionDiagnostics, AFailedRunKeepsItsMessageAndOutputUntilTheNextStart) {
    SessionRig rig("echo 'ssh: connect to host 127.0.0.1 port 22: Connection refused' >&2; "
                   "exit 255");
    StreamSession& session = rig.session();
    session.start();
    ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Idle; }));
    session.copyDiagnostics();
    const QString message =
        QString::fromUtf8(vistrel::Messages::connectionRefused.data(),
                          static_cast<qsizetype>(vistrel::Messages::connectionRefused.size()));
    EXPECT_EQ(rig.clipboard->text,
              QStringLiteral("Vistrel\nState: Ready to connect\nHeadset: 127.0.0.1\nReceiver: "
                             "127.0.0.1:%1\n%2\nssh: connect to host 127.0.0.1 port 22: "
                             "Connection refused\n")
                  .arg(rig.port)
                  .arg(message));
}
