// GoogleTest in a Qt Widgets application on the offscreen platform, so that
// the session's processes, queued calls and dialogs have an event loop.
#include <QApplication>
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/log.h>
}

#if defined(__SANITIZE_THREAD__)
// QProcess forks the stand-ins from a process with threads; the child only calls exec.
extern "C" const char* __tsan_default_options() {
    return "die_after_fork=0";
}
#endif

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QApplication app(argc, argv);
    av_log_set_level(AV_LOG_ERROR); // the encoder's statistics would drown the output
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
