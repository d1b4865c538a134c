// Every fixed label of the windows, menus, tooltips and the settings window,
// in one place: the C++ views read the static functions, QML the singleton
// `Labels`. Sentences the core produces are in Messages, the session's own
// in SessionMessages.
#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace vistrel {

class Labels : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

    // Windows and menus
    Q_PROPERTY(QString appName READ appName CONSTANT)
    Q_PROPERTY(QString tagline READ tagline CONSTANT)
    Q_PROPERTY(QString settingsTitle READ settingsTitle CONSTANT)
    Q_PROPERTY(QString fileMenu READ fileMenu CONSTANT)
    Q_PROPERTY(QString settingsItem READ settingsItem CONSTANT)
    Q_PROPERTY(QString quitItem READ quitItem CONSTANT)
    Q_PROPERTY(QString streamMenu READ streamMenu CONSTANT)
    Q_PROPERTY(QString startItem READ startItem CONSTANT)
    Q_PROPERTY(QString endItem READ endItem CONSTANT)
    Q_PROPERTY(QString screenshotItem READ screenshotItem CONSTANT)
    Q_PROPERTY(QString fullScreenItem READ fullScreenItem CONSTANT)
    Q_PROPERTY(QString statisticsItem READ statisticsItem CONSTANT)
    Q_PROPERTY(QString copyDiagnosticsItem READ copyDiagnosticsItem CONSTANT)
    Q_PROPERTY(QString helpMenu READ helpMenu CONSTANT)
    Q_PROPERTY(QString setupGuideItem READ setupGuideItem CONSTANT)
    // Main window
    Q_PROPERTY(QString separator READ separator CONSTANT)
    Q_PROPERTY(QString videoOnly READ videoOnly CONSTANT)
    Q_PROPERTY(QString transport READ transport CONSTANT)
    Q_PROPERTY(QString fullScreen READ fullScreen CONSTANT)
    Q_PROPERTY(QString screenshot READ screenshot CONSTANT)
    Q_PROPERTY(QString recording READ recording CONSTANT)
    Q_PROPERTY(QString saving READ saving CONSTANT)
    Q_PROPERTY(QString dismissNotice READ dismissNotice CONSTANT)
    Q_PROPERTY(QString showInFolder READ showInFolder CONSTANT)
    Q_PROPERTY(QString dismissError READ dismissError CONSTANT)
    Q_PROPERTY(QString addressHeading READ addressHeading CONSTANT)
    Q_PROPERTY(QString addressExample READ addressExample CONSTANT)
    Q_PROPERTY(QString addressField READ addressField CONSTANT)
    Q_PROPERTY(QString stream READ stream CONSTANT)
    Q_PROPERTY(QString end READ end CONSTANT)
    Q_PROPERTY(QString sshHint READ sshHint CONSTANT)
    Q_PROPERTY(QString setupGuide READ setupGuide CONSTANT)
    // Statistics overlay
    Q_PROPERTY(QString statisticsNames READ statisticsNames CONSTANT)
    Q_PROPERTY(QString intervalsCaption READ intervalsCaption CONSTANT)
    // Settings window
    Q_PROPERTY(QString username READ username CONSTANT)
    Q_PROPERTY(QString usernameHelp READ usernameHelp CONSTANT)
    Q_PROPERTY(QString receivingPort READ receivingPort CONSTANT)
    Q_PROPERTY(QString portValue READ portValue CONSTANT)
    Q_PROPERTY(QString video READ video CONSTANT)
    Q_PROPERTY(QString videoValue READ videoValue CONSTANT)
    Q_PROPERTY(QString openSetupGuide READ openSetupGuide CONSTANT)
    Q_PROPERTY(QString lossPolicy READ lossPolicy CONSTANT)
    Q_PROPERTY(QString holdPicture READ holdPicture CONSTANT)
    Q_PROPERTY(QString keepPictureMoving READ keepPictureMoving CONSTANT)
    Q_PROPERTY(QString lossPolicyHelp READ lossPolicyHelp CONSTANT)

public:
    using QObject::QObject;

    // Windows and menus ("&" marks the menu's mnemonic)
    static QString appName() { return QStringLiteral("Vistrel"); }
    static QString tagline() { return QStringLiteral("Your headset, on your computer."); }
    static QString settingsTitle() { return QStringLiteral("Settings"); }
    static QString fileMenu() { return QStringLiteral("&File"); }
    static QString settingsItem() { return QStringLiteral("Settings\u2026"); }
    static QString quitItem() { return QStringLiteral("Quit"); }
    static QString streamMenu() { return QStringLiteral("&Stream"); }
    static QString startItem() { return QStringLiteral("Start Streaming"); }
    static QString endItem() { return QStringLiteral("End Streaming"); }
    static QString recordItem() { return QStringLiteral("Record Video\u2026"); }
    static QString stopRecording() { return QStringLiteral("Stop Recording"); }
    static QString screenshotItem() { return QStringLiteral("Save Screenshot\u2026"); }
    static QString fullScreenItem() { return QStringLiteral("Enter Full Screen"); }
    static QString statisticsItem() { return QStringLiteral("Show Statistics"); }
    static QString copyDiagnosticsItem() { return QStringLiteral("Copy Diagnostics"); }
    static QString helpMenu() { return QStringLiteral("&Help"); }
    static QString setupGuideItem() { return QStringLiteral("Vistrel Setup Guide"); }

    // Main window, top to bottom
    static QString liveVideo() { return QStringLiteral("Live Steam Frame video"); }
    static QString videoPreview() { return QStringLiteral("Video preview"); }
    static QString liveBadge() { return QStringLiteral("LIVE"); }
    // The badge and the header while the picture on screen is no longer live.
    static QString heldBadge() { return QStringLiteral("HELD"); }
    static QString heldStatus() { return QStringLiteral("Picture held"); }
    static QString localNetwork() { return QStringLiteral("Local network"); }
    static QString separator() { return QStringLiteral("\u00b7"); }
    static QString videoOnly() { return QStringLiteral("Video only"); }
    static QString transport() { return QStringLiteral("H.264 / UDP"); }
    static QString fullScreen() { return QStringLiteral("Full Screen"); }
    static QString record() { return QStringLiteral("Record"); }
    static QString screenshot() { return QStringLiteral("Screenshot"); }
    static QString recording() { return QStringLiteral("Recording"); }
    static QString saving() { return QStringLiteral("Saving\u2026"); }
    static QString dismissNotice() { return QStringLiteral("Dismiss saved capture notification"); }
    static QString showInFolder() { return QStringLiteral("Show in Folder"); }
    static QString dismissError() { return QStringLiteral("Dismiss error"); }
    static QString addressHeading() { return QStringLiteral("STEAM FRAME ADDRESS"); }
    static QString addressExample() { return QStringLiteral("192.168.4.10"); }
    static QString addressField() { return QStringLiteral("Steam Frame IP address"); }
    static QString stream() { return QStringLiteral("Stream"); }
    static QString end() { return QStringLiteral("End"); }
    static QString sshHint() {
        return QStringLiteral("Enable SSH in your headset\u2019s Developer Mode to connect.");
    }
    static QString setupGuide() { return QStringLiteral("Setup Guide"); }
    // A moment's confirmation of Copy Diagnostics, over the bottom of the video area.
    static QString diagnosticsCopied() {
        return QStringLiteral("Diagnostics copied to the clipboard");
    }

    // What the video area says while there is no picture, by phase.
    static QString idleTitle() { return QStringLiteral("A window into your Steam Frame"); }
    static QString idleSubtitle() {
        return QStringLiteral("Enter its local IP address below, then press Stream.");
    }
    static QString connectingTitle() { return QStringLiteral("Connecting to your headset"); }
    static QString connectingSubtitle() {
        return QStringLiteral("Approve the SSH connection or enter your password if prompted.");
    }
    static QString waitingTitle() { return QStringLiteral("Your stream is starting"); }
    static QString waitingSubtitle() {
        return QStringLiteral("Connected. Waiting for the first video frame.");
    }
    static QString stoppingTitle() { return QStringLiteral("Ending your stream"); }
    static QString stoppingSubtitle() {
        return QStringLiteral("Stopping video capture on the headset and disconnecting.");
    }

    // Statistics overlay: the names of its lines, one a line, in the order
    // of the values (StatisticsPresenter), and the forms of the values.
    static QString statisticsNames() {
        return QStringLiteral("Shown\nDecoded\nReceived\nPackets lost\nKernel drops\n"
                              "Replaced\nConcealed\nDecode time\nPicture\nLast picture\n"
                              "Keyframe wait");
    }
    static QString intervalsCaption() {
        return QStringLiteral("Intervals between pictures, last 10 s");
    }
    static QString perSecond(const QString& n) { return n + QStringLiteral(" /s"); }
    // What "Received" counts: the transport stream's bytes as they arrived.
    static QString megabitsPerSecond(const QString& n) {
        return n + QStringLiteral(" Mbit/s MPEG-TS");
    }
    static QString totalAndRecent(const QString& total, const QString& recent) {
        return QStringLiteral("%1 (%2 in 10 s)").arg(total, recent);
    }
    static QString decodeTimes(const QString& mean, const QString& worst) {
        return QStringLiteral("%1, worst %2").arg(mean, worst);
    }
    static QString ago(const QString& time) { return time + QStringLiteral(" ago"); }
    static QString milliseconds(const QString& n) { return n + QStringLiteral(" ms"); }
    static QString seconds(const QString& n) { return n + QStringLiteral(" s"); }
    static QString notAvailable() { return QStringLiteral("\u2013"); }

    // Tooltips: the key that does the same follows in brackets (Shortcuts).
    static QString startTip() { return QStringLiteral("Start streaming"); }
    static QString endTip() { return QStringLiteral("End streaming"); }
    static QString recordTip() { return QStringLiteral("Record video to an MP4 file"); }
    static QString screenshotTip() { return QStringLiteral("Save the current frame as PNG"); }

    // Settings window
    static QString username() { return QStringLiteral("SSH username"); }
    static QString usernameHelp() {
        return QStringLiteral("Steam Frame uses steamos by default. Your standard SSH keys and "
                              "SSH agent are supported. Passwords are requested securely when "
                              "connecting and are never saved by Vistrel.");
    }
    static QString receivingPort() { return QStringLiteral("Receiving port"); }
    static QString portValue() { return QStringLiteral("8090 / UDP"); }
    static QString video() { return QStringLiteral("Video"); }
    static QString videoValue() { return QStringLiteral("H.264 \u00b7 No audio"); }
    static QString openSetupGuide() { return QStringLiteral("Open Setup Guide"); }
    static QString lossPolicy() { return QStringLiteral("When packets are lost"); }
    static QString holdPicture() { return QStringLiteral("Hold the last whole picture"); }
    static QString keepPictureMoving() { return QStringLiteral("Keep the picture moving"); }
    static QString lossPolicyHelp() {
        return QStringLiteral("Wi-Fi loses packets now and then. Holding shows only whole "
                              "pictures but can stand still for seconds until the next key "
                              "frame; keeping it moving shows every picture, with the lost parts "
                              "guessed until the next key frame repairs them.");
    }
};

} // namespace vistrel
