// Every sentence the user can read from the core and the session, in one
// place. Texts that name the platform have a macOS and a generic wording.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vistrel::Messages {

// Connection set-up
inline constexpr std::string_view invalidAddress =
    "Enter the Steam Frame\u2019s IPv4 address, such as 192.168.4.10.";
inline constexpr std::string_view invalidUsername = "Enter a valid SSH username in Settings.";
inline constexpr std::string_view invalidPort = "The receiving port must be between 1 and 65535.";
inline constexpr std::string_view stepOpenSocket = "Open network socket";
inline constexpr std::string_view stepFindRoute = "Find a route to the Steam Frame";
inline constexpr std::string_view stepFindAddress = "Find this device\u2019s address";
inline constexpr std::string_view stepReadAddress = "Read this device\u2019s address";

// Receiver
inline constexpr std::string_view stepOpenReceiver = "Open video receiver";
inline constexpr std::string_view stepConfigureReceiver = "Configure video receiver";
inline constexpr std::string_view stepReceive = "Receive video";
inline constexpr std::string_view invalidSource = "Invalid video source address.";
std::string stepListen(std::uint16_t port); // "Listen on UDP port <port>"

// Decoder
inline constexpr std::string_view unsupportedFormat =
    "The headset sent an unsupported H.264 format.";
std::string decoderStartFailed(int status);

// Capture
inline constexpr std::string_view screenshotFailed = "Could not create the screenshot.";
inline constexpr std::string_view recordingStartFailed = "Could not start recording.";
inline constexpr std::string_view resolutionChanged =
    "The video resolution changed. Start a new recording for the new resolution.";
inline constexpr std::string_view writerStopped = "The video writer stopped unexpectedly.";
inline constexpr std::string_view encodeFailed = "Could not encode a video frame.";
inline constexpr std::string_view noFramesRecorded = "No video frames were recorded.";
inline constexpr std::string_view finishFailed = "Could not finish recording.";
std::string moveFailed(std::string_view reason, std::string_view workingPath);
std::string
recordingWriteFailed(std::string_view reason); // "Could not write the recording: <reason>"

// Session
inline constexpr std::string_view videoStopped =
    "Video stopped arriving. Check that the Steam Frame is awake and still on the same "
    "network, then try again.";
inline constexpr std::string_view hostKeyChanged =
    "The Steam Frame\u2019s SSH identity has changed. Verify the device before removing its "
    "old entry from Vistrel\u2019s known_hosts file. See Help \u2192 Setup Guide.";
inline constexpr std::string_view authenticationFailed =
    "SSH authentication failed. Check the username in Settings and the password set in the "
    "headset\u2019s Developer Mode settings.";
inline constexpr std::string_view connectionRefused =
    "SSH is not accepting connections. Enable Developer Mode and SSH on your Steam Frame.";
std::string connectionEnded(int status);
// "The path of Vistrel’s known_hosts file contains “${”, …: <path>. …"
std::string knownHostsPathRefused(std::string_view path);

// Session: start-up, captures and the diagnostics report.
std::string folderNotCreated(std::string_view path, std::string_view reason);
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
inline constexpr std::string_view activityReason = "Receiving live Steam Frame video";
// No file manager or browser took the request; the path can be copied from the sentence.
std::string folderNotShown(std::string_view folder); // "No file manager opened; … in <folder>."
std::string guideNotOpened(std::string_view page);   // "No browser opened …; it is at <page>."

inline constexpr std::string_view stateIdle = "Ready to connect";
inline constexpr std::string_view stateConnecting = "Connecting";
inline constexpr std::string_view stateWaiting = "Waiting for video";
inline constexpr std::string_view stateStreaming = "Live";
inline constexpr std::string_view stateStopping = "Ending stream";

// Main window: what the video area says while there is no picture.
inline constexpr std::string_view idleTitle = "A window into your Steam Frame";
inline constexpr std::string_view idleSubtitle =
    "Enter its local IP address below, then press Stream.";
inline constexpr std::string_view connectingTitle = "Connecting to your headset";
inline constexpr std::string_view connectingSubtitle =
    "Approve the SSH connection or enter your password if prompted.";
inline constexpr std::string_view waitingTitle = "Your stream is starting";
inline constexpr std::string_view waitingSubtitle = "Connected. Waiting for the first video frame.";
inline constexpr std::string_view stoppingTitle = "Ending your stream";
inline constexpr std::string_view stoppingSubtitle =
    "Stopping video capture on the headset and disconnecting.";

// Written by the remote script on the headset.
inline constexpr std::string_view remoteNoFfmpeg = "ffmpeg is not installed on the Steam Frame.";
inline constexpr std::string_view remoteNoDevice =
    "Cannot read /dev/video99. Enable the headset camera stream and check device permissions.";

#ifdef __APPLE__
inline constexpr std::string_view displayFailed =
    "macOS could not display the video. Try starting the stream again.";
inline constexpr std::string_view cannotRecordFormat = "macOS cannot record this video format.";
inline constexpr std::string_view noVideoArrived =
    "Connected, but no video arrived. Allow Vistrel through the macOS firewall and Local "
    "Network privacy settings. Check /dev/video99 on the headset and that your Wi-Fi allows "
    "devices to communicate.";
inline constexpr std::string_view helperMissing =
    "The SSH helper is missing. Run the packaged Vistrel.app from the dist folder.";
inline constexpr std::string_view showInFileManager = "Show in Finder";
inline constexpr std::string_view tagline = "Your headset, on your Mac.";
#else
inline constexpr std::string_view displayFailed =
    "The video display failed. Try starting the stream again.";
inline constexpr std::string_view cannotRecordFormat =
    "This computer cannot record this video format.";
inline constexpr std::string_view noVideoArrived =
    "Connected, but no video arrived. Allow UDP port 8090 through this computer\u2019s "
    "firewall. Check /dev/video99 on the headset and that your Wi-Fi allows devices to "
    "communicate.";
inline constexpr std::string_view helperMissing =
    "The SSH helper is missing. Reinstall Vistrel or run it from its build folder.";
inline constexpr std::string_view showInFileManager = "Show in Folder";
inline constexpr std::string_view tagline = "Your headset, on your computer.";
#endif

} // namespace vistrel::Messages
