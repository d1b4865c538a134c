#include "session/SessionMessages.h"

namespace vistrel::SessionMessages {

std::string sshNotLaunched(std::string_view reason) {
    std::string message = "Could not start the SSH client: ";
    message += reason;
    return message;
}

std::string recordingNotStarted(std::string_view description) {
    std::string message = "Could not start recording: ";
    message += description;
    return message;
}

std::string captureSaved(std::string_view kind, std::string_view fileName) {
    std::string message(kind);
    message += " saved \u00b7 ";
    message += fileName;
    return message;
}

std::string captureFailed(std::string_view kind, std::string_view description) {
    std::string message(kind);
    message += ": ";
    message += description;
    return message;
}

std::string folderNotShown(std::string_view folder) {
    return "No file manager opened; the capture is in the folder " + std::string(folder) + ".";
}

std::string guideNotOpened(std::string_view page) {
    return "No browser opened the setup guide; it is at " + std::string(page) + ".";
}

} // namespace vistrel::SessionMessages
