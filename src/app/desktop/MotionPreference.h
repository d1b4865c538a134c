// Whether the desktop asks applications to keep animations to a minimum.
// Read once at start from the desktop settings portal (GNOME's
// "enable-animations"); without a session bus or portal, motion is allowed.
#pragma once

#include <QDBusConnection>
#include <QVariant>

namespace vistrel::MotionPreference {

bool reduceMotion(const QDBusConnection& sessionBus);

// The portal's answer to reading "enable-animations", however deeply it was
// wrapped in D-Bus variants: true when it says animations are off.
bool reduceMotionFromReply(const QVariant& reply);

} // namespace vistrel::MotionPreference
