// Every sentence the session itself produces: its watchdogs, its start-up
// and capture outcomes, the save dialog it asks for, and the state names of
// the diagnostics report. The core's own sentences are in Messages, the
// windows' fixed labels in Labels.
#pragma once

#include <string>
#include <string_view>

namespace vistrel::SessionMessages {

// Watchdogs and the display
inline constexpr std::string_view videoStopped =
    "Video stopped arriving. Check that the Steam Frame is awake and still on the same "
    "network, then try again.";
inline constexpr std::string_view displayFailed =
    "The video display failed. Try starting the stream again.";
inline constexpr std::string_view noVideoArrived =
    "Connected, but no video arrived. Allow UDP port 8090 through this computer\u2019s "
    "firewall. Check /dev/video99 on the headset and that your Wi-Fi allows devices to "
    "communicate.";
inline constexpr std::string_view helperMissing =
    "The SSH helper is missing. Reinstall Vistrel or run it from its build folder.";

// Start-up, captures and the diagnostics report
std::string sshNotLaunched(std::string_view reason);
std::string recordingNotStarted(std::string_view description); // "Could not start recording: …"
inline constexpr std::string_view kindRecording = "Recording";
inline constexpr std::string_view kindScreenshot = "Screenshot";
std::string captureSaved(std::string_view kind,
                         std::string_view fileName); // "<kind> saved · <name>"
std::string captureFailed(std::string_view kind, std::string_view description);
inline constexpr std::string_view saveRecordingTitle = "Save Recording";
inline constexpr std::string_view saveScreenshotTitle = "Save Screenshot";
inline constexpr std::string_view saveButton = "Save";
inline constexpr std::string_view movieFileType = "MPEG-4 movie (*.mp4)";
inline constexpr std::string_view pictureFileType = "PNG image (*.png)";
// No file manager or browser took the request; the path can be copied from the sentence.
std::string folderNotShown(std::string_view folder); // "No file manager opened; … in <folder>."
std::string guideNotOpened(std::string_view page);   // "No browser opened …; it is at <page>."
inline constexpr std::string_view activityReason = "Receiving live Steam Frame video";
inline constexpr std::string_view stateIdle = "Ready to connect";
inline constexpr std::string_view stateConnecting = "Connecting";
inline constexpr std::string_view stateWaiting = "Waiting for video";
inline constexpr std::string_view stateStreaming = "Live";
inline constexpr std::string_view stateStopping = "Ending stream";

} // namespace vistrel::SessionMessages
