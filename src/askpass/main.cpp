// vistrel-askpass: the SSH client's askpass program. It asks one question in a
// modal dialog, writes one answer line on standard output and exits 0, or
// exits 1 without a byte when the user cancels or the SSH client goes away.
// It has no options, reads no file and stores nothing.
#include "AnswerOutput.h"
#include "AskPassDialog.h"
#include "AskPassPrompt.h"
#include "ParentWatch.h"

#include <QApplication>
#include <QIcon>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <unistd.h>

using namespace vistrel;

int main(int argc, char* argv[]) {
    // Read first: the sooner the parent is known, the smaller the window in
    // which it could vanish unnoticed.
    const pid_t parent = ::getppid();

    // The question is taken before Qt sees the command line, and Qt is given
    // none of it: a question that looks like a Qt option is shown, not obeyed.
    const std::string prompt = AskPassPrompt::joinArguments(
        std::span<const char* const>(argv, argc > 0 ? static_cast<std::size_t>(argc) : 0));
    const char* hint = std::getenv("SSH_ASKPASS_PROMPT");
    const bool confirmation = AskPassPrompt::isConfirmation(
        prompt, hint != nullptr ? std::optional<std::string_view>(hint) : std::nullopt);

    // A reader that went away must turn into a failed write, not a signal.
    std::signal(SIGPIPE, SIG_IGN);

    int qtArgc = 1;
    char programName[] = "vistrel-askpass";
    char* qtArgv[] = {programName, nullptr};
    QApplication app(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("vistrel-askpass"));
    QApplication::setDesktopFileName(QStringLiteral(VISTREL_APP_ID));
    // Its question belongs to Vistrel: the installed icon, where the theme has it.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(VISTREL_APP_ID)));

    AskPassDialog dialog(prompt, confirmation);
    ParentWatch watch(parent, [] { ::_exit(EXIT_FAILURE); });
    watch.start();
    const bool accepted = dialog.run();
    watch.stop();
    if (!accepted) {
        return EXIT_FAILURE;
    }

    std::string line = AskPassPrompt::answerLine(confirmation, dialog.typed());
    const bool delivered = AnswerOutput::deliver(STDOUT_FILENO, line);
    ::explicit_bzero(line.data(), line.size());
    return delivered ? EXIT_SUCCESS : EXIT_FAILURE;
}
