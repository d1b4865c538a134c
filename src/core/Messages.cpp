#include "Messages.h"

namespace vistrel::Messages {

std::string stepListen(std::uint16_t port) {
    return "Listen on UDP port " + std::to_string(port);
}

std::string decoderStartFailed(int status) {
#ifdef __APPLE__
    return "macOS could not start its H.264 decoder (" + std::to_string(status) + ").";
#else
    return "Could not start the H.264 decoder (" + std::to_string(status) + ").";
#endif
}

std::string moveFailed(std::string_view reason, std::string_view workingPath) {
    std::string message = "Could not save to the selected location: ";
    message += reason;
    message += " The finished recording is at ";
    message += workingPath;
    message += ".";
    return message;
}

std::string folderNotShown(std::string_view folder) {
    return "No file manager opened; the capture is in the folder " + std::string(folder) + ".";
}

std::string guideNotOpened(std::string_view page) {
    return "No browser opened the setup guide; it is at " + std::string(page) + ".";
}

std::string recordingWriteFailed(std::string_view reason) {
    std::string message = "Could not write the recording: ";
    message += reason;
    return message;
}

std::string connectionEnded(int status) {
    return "The SSH connection ended (" + std::to_string(status) +
           "). Check the address and confirm SSH is enabled on the headset.";
}

std::string knownHostsPathRefused(std::string_view path) {
    std::string message = "The path of Vistrel\u2019s known_hosts file contains \u201c${\u201d, "
                          "which SSH would read as a variable: ";
    message += path;
    message += ". Use a home or data folder whose path has no \u201c${\u201d.";
    return message;
}

std::string folderNotCreated(std::string_view path, std::string_view reason) {
    std::string message = "Could not create the folder ";
    message += path;
    message += ": ";
    message += reason;
    return message;
}

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

} // namespace vistrel::Messages
