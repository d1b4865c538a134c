// GoogleTest in a Qt Widgets application on the offscreen platform, so that
// the session's processes, queued calls, video sinks and dialogs have an event loop.
#include <QApplication>
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/log.h>
}

#if defined(__SANITIZE_ADDRESS__)
// LeakSanitizer of GCC 12 keeps its own record of the dynamic TLS blocks
// handed out by __tls_get_addr, and at exit can read a stale one of the
// libraries a video sink's GStreamer backend loads, which crashes its tracer
// (depending on how the process happens to be laid out). Without the
// interception those blocks are plain heap, scanned like the rest.
extern "C" const char* __asan_default_options() {
    return "intercept_tls_get_addr=0";
}
#endif

#if defined(__SANITIZE_THREAD__)
// QProcess forks the SSH stand-ins from a process that already has threads;
// the child only calls exec, which ThreadSanitizer cannot tell.
extern "C" const char* __tsan_default_options() {
    return "die_after_fork=0";
}
#endif

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const QApplication app(argc, argv);
    av_log_set_level(AV_LOG_ERROR); // the encoder's statistics would drown the output
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
