#include "desktop/MotionPreference.h"

#include <QDBusVariant>
#include <gtest/gtest.h>

namespace vistrel {
namespace {

QVariant wrapped(const QVariant& v, int depth) {
    QVariant out = v;
    for (int i = 0; i < depth; ++i) {
        out = QVariant::fromValue(QDBusVariant(out));
    }
    return out;
}

TEST(MotionPreference, ReadsThePortalsAnswerAtAnyWrapping) {
    for (int depth = 0; depth <= 2; ++depth) {
        EXPECT_TRUE(MotionPreference::reduceMotionFromReply(wrapped(false, depth))) << depth;
        EXPECT_FALSE(MotionPreference::reduceMotionFromReply(wrapped(true, depth))) << depth;
    }
}

TEST(MotionPreference, AnythingElseAllowsMotion) {
    EXPECT_FALSE(MotionPreference::reduceMotionFromReply(QVariant()));
    EXPECT_FALSE(MotionPreference::reduceMotionFromReply(wrapped(QStringLiteral("false"), 1)));
    EXPECT_FALSE(MotionPreference::reduceMotionFromReply(wrapped(0, 2)));
    EXPECT_FALSE(MotionPreference::reduceMotion(QDBusConnection(QString())));
}

} // namespace
} // namespace vistrel
