#include "desktop/MotionPreference.h"

#include <QDBusMessage>
#include <QDBusVariant>

namespace vistrel::MotionPreference {

bool reduceMotionFromReply(const QVariant& reply) {
    QVariant value = reply;
    // Portals of different ages wrap the value in one or two variants.
    for (int depth = 0; depth < 4 && value.canConvert<QDBusVariant>() &&
                        value.metaType() == QMetaType::fromType<QDBusVariant>();
         ++depth) {
        value = value.value<QDBusVariant>().variant();
    }
    if (value.metaType() != QMetaType::fromType<bool>()) {
        return false;
    }
    return !value.toBool();
}

bool reduceMotion(const QDBusConnection& sessionBus) {
    if (!sessionBus.isConnected()) {
        return false;
    }
    QDBusMessage read = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"),
        QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
    read << QStringLiteral("org.gnome.desktop.interface") << QStringLiteral("enable-animations");
    // A short wait: the window should not be held up by a slow portal.
    constexpr int timeoutMs = 300;
    const QDBusMessage reply = sessionBus.call(read, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return false;
    }
    return reduceMotionFromReply(reply.arguments().constFirst());
}

} // namespace vistrel::MotionPreference
