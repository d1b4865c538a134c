// Every sentence the core produces, in one place. The session's own are in
// SessionMessages, the windows' fixed labels in Labels.
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
inline constexpr std::string_view cannotRecordFormat =
    "This computer cannot record this video format.";
std::string moveFailed(std::string_view reason, std::string_view workingPath);
std::string
recordingWriteFailed(std::string_view reason); // "Could not write the recording: <reason>"

// SSH exits
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
// "Could not create the folder <path>: <reason>"
std::string folderNotCreated(std::string_view path, std::string_view reason);

// Written by the remote script on the headset.
inline constexpr std::string_view remoteNoFfmpeg = "ffmpeg is not installed on the Steam Frame.";
inline constexpr std::string_view remoteNoDevice =
    "Cannot read /dev/video99. Enable the headset camera stream and check device permissions.";

} // namespace vistrel::Messages
