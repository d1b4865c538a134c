// Where the setup guide lives: next to the program in a build tree, or in
// ../share/vistrel/ from it once installed.
#pragma once

#include <QString>

namespace vistrel::HelpPage {

inline constexpr auto fileName = "Setup.html";

// The guide's absolute path, or an empty string when neither place has it.
QString locate(const QString& applicationDir);

} // namespace vistrel::HelpPage
