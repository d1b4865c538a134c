// Finds the askpass helper the SSH client starts for passwords and host-key
// questions: next to the application's executable (build tree), then in
// ../libexec/vistrel/ from it (installed).
#pragma once

#include <QString>

namespace vistrel::AskpassLocator {

inline constexpr const char* programName = "vistrel-askpass";

// The helper's absolute path, or empty when no executable file is in either place.
QString find(const QString& applicationDir);

} // namespace vistrel::AskpassLocator
