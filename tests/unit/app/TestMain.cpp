// GoogleTest under a Qt GUI application on the offscreen platform, so that
// the session's processes, queued calls and video sinks have an event loop.
#include <QGuiApplication>

extern "C" {
#include <libavutil/log.h>
}

#include <gtest/gtest.h>

#if defined(__SANITIZE_THREAD__)
// QProcess forks the SSH stand-ins from a process that already has threads;
// the child only calls exec, which ThreadSanitizer cannot tell.
extern "C" const char* __tsan_default_options() {
    return "die_after_fork=0";
}
#endif

int main(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    // The encoder's statistics would drown the test output.
    av_log_set_level(AV_LOG_ERROR);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
