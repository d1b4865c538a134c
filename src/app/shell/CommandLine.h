// What the program was asked to do on its command line: show its help or
// version, open the window, or open it and stream from an address at once.
// Qt's own options (-platform, -style …) pass through to QApplication.
#pragma once

#include <QString>
#include <QStringList>

namespace vistrel::CommandLine {

enum class Action { Run, Help, Version, Invalid };

struct Request {
    Action action = Action::Run;
    // The headset address to stream from once the window is up; empty for none.
    QString address;
    // Why the command line was refused, for Action::Invalid.
    QString problem;
};

// `arguments` as main() receives them, the program name first.
[[nodiscard]] Request parse(const QStringList& arguments);

// The text --help prints; also printed after a refused command line.
[[nodiscard]] QString usage();
// The text --version prints.
[[nodiscard]] QString version();

} // namespace vistrel::CommandLine
