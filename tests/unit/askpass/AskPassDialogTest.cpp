#include "AskPassDialog.h"

#include <QAccessible>
#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using vistrel::AskPassDialog;

namespace {

// One application for the whole test program, on Qt's offscreen platform so
// the widgets need no display.
QApplication& application() {
    static int argc = 1;
    static char name[] = "askpass_dialog_tests";
    static char* argv[] = {name, nullptr};
    static const bool offscreen = qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    (void)offscreen;
    return app;
}

// The text a user (or a screen reader) is given for a button: shortcut
// markers removed, doubled ampersands shown as one.
QString shownText(QPushButton* button) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(button);
    return accessible != nullptr ? accessible->text(QAccessible::Name) : QString();
}

// Where Tab moves the keyboard focus from `widget`.
QWidget* nextTabStop(QWidget* widget) {
    for (QWidget* w = widget->nextInFocusChain(); w != widget; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) != 0 && w->isVisible() && w->isEnabled()) {
            return w;
        }
    }
    return widget;
}

bool waitUntilActive(QWidget& window) {
    QElapsedTimer clock;
    clock.start();
    while (!window.isActiveWindow() && clock.elapsed() < 10000) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return window.isActiveWindow();
}

QImage iconImage(QStyle::StandardPixmap kind, QWidget& window) {
    return window.style()->standardIcon(kind, nullptr, &window).pixmap(48).toImage();
}

} // namespace

TEST(AskPassDialog, ShowsTheQuestionInTheFormOfItsMode) {
    application();
    struct Case {
        const char* name;
        std::string prompt;
        bool confirmation;
        QString title;
        QString accept;
        QString placeholder; // empty: no field
        QStyle::StandardPixmap icon;
    };
    const std::vector<Case> cases = {
        {"host key",
         "The authenticity of host '10.77.0.2 (10.77.0.2)' can't be established.\n"
         "ED25519 key fingerprint is SHA256:abc.\n"
         "Are you sure you want to continue connecting (yes/no/[fingerprint])? ",
         true, "Trust this Steam Frame?", "Trust & Connect", "", QStyle::SP_MessageBoxWarning},
        {"password", "steamos@10.77.0.2's password: ", false, "Connect to Steam Frame", "Connect",
         "SSH password", QStyle::SP_MessageBoxInformation},
        {"passphrase", "Enter Passphrase for key '/root/.ssh/id_ed25519': ", false,
         "Connect to Steam Frame", "Connect", "SSH key passphrase",
         QStyle::SP_MessageBoxInformation},
        {"no question", "", false, "Connect to Steam Frame", "Connect", "SSH password",
         QStyle::SP_MessageBoxInformation},
        {"markup is text", "<b>bold</b> &amp; <img src='x'>", false, "Connect to Steam Frame",
         "Connect", "SSH password", QStyle::SP_MessageBoxInformation},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AskPassDialog dialog(c.prompt, c.confirmation);
        QDialog& window = dialog.window();
        window.show();
        ASSERT_TRUE(waitUntilActive(window));

        EXPECT_EQ(window.windowTitle(), c.title);
        auto* title = window.findChild<QLabel*>(QStringLiteral("title"));
        auto* body = window.findChild<QLabel*>(QStringLiteral("body"));
        auto* icon = window.findChild<QLabel*>(QStringLiteral("icon"));
        ASSERT_TRUE(title && body && icon);
        EXPECT_EQ(title->text(), c.title);
        EXPECT_TRUE(title->font().bold());
        EXPECT_EQ(body->text().toStdString(), c.prompt);
        EXPECT_EQ(body->textFormat(), Qt::PlainText);
        // A yes/no question gets the default button's meaning above it; the
        // question itself stays whole.
        auto* caption = window.findChild<QLabel*>(QStringLiteral("caption"));
        ASSERT_EQ(caption != nullptr, c.confirmation);
        if (caption != nullptr) {
            EXPECT_EQ(caption->text(), QStringLiteral("Trust this key and connect?"));
            EXPECT_LT(caption->geometry().bottom(), body->geometry().top());
        }
        EXPECT_EQ(icon->pixmap().toImage(), iconImage(c.icon, window));
        EXPECT_NE(icon->pixmap().toImage(),
                  iconImage(c.confirmation ? QStyle::SP_MessageBoxInformation
                                           : QStyle::SP_MessageBoxWarning,
                            window));

        auto* box = window.findChild<QDialogButtonBox*>();
        ASSERT_NE(box, nullptr);
        const auto buttons = box->buttons();
        ASSERT_EQ(buttons.size(), 2);
        auto* accept = window.findChild<QPushButton*>(QStringLiteral("accept"));
        auto* cancel = window.findChild<QPushButton*>(QStringLiteral("cancel"));
        ASSERT_TRUE(accept && cancel);
        EXPECT_EQ(shownText(accept), c.accept);
        EXPECT_EQ(shownText(cancel), QStringLiteral("Cancel"));
        EXPECT_TRUE(accept->isDefault());
        EXPECT_FALSE(cancel->isDefault());
        EXPECT_EQ(box->buttonRole(accept), QDialogButtonBox::AcceptRole);
        EXPECT_EQ(box->buttonRole(cancel), QDialogButtonBox::RejectRole);
        // The keyboard reaches the buttons in the order of the question.
        EXPECT_EQ(nextTabStop(accept), cancel);

        auto* field = window.findChild<QLineEdit*>(QStringLiteral("field"));
        if (c.placeholder.isEmpty()) {
            EXPECT_EQ(field, nullptr);
            EXPECT_EQ(QApplication::focusWidget(), accept);
        } else {
            ASSERT_NE(field, nullptr);
            EXPECT_EQ(field->echoMode(), QLineEdit::Password);
            EXPECT_EQ(field->size(), QSize(360, 24));
            EXPECT_EQ(field->placeholderText(), c.placeholder);
            EXPECT_EQ(QApplication::focusWidget(), field);
            EXPECT_EQ(nextTabStop(field), accept);
            EXPECT_EQ(nextTabStop(cancel), field);
        }
        window.hide();
    }
}

TEST(AskPassDialog, RunReportsWhichButtonWasPressed) {
    application();
    for (const bool pressAccept : {true, false}) {
        SCOPED_TRACE(pressAccept ? "accept" : "cancel");
        AskPassDialog dialog("Password: ", false);
        const QString name = pressAccept ? QStringLiteral("accept") : QStringLiteral("cancel");
        QMetaObject::invokeMethod(
            &dialog.window(), [&] { dialog.window().findChild<QPushButton*>(name)->click(); },
            Qt::QueuedConnection);
        EXPECT_EQ(dialog.run(), pressAccept);
    }
}

TEST(AskPassDialog, TypedTextComesBackAsUtf8) {
    application();
    AskPassDialog secret("Password: ", false);
    auto* field = secret.window().findChild<QLineEdit*>(QStringLiteral("field"));
    ASSERT_NE(field, nullptr);
    field->setText(QString::fromUtf8("p\xC3\xA4ss w\xC3\xB6rd \xE2\x9C\x93 \xF0\x9F\x94\x91"));
    EXPECT_EQ(secret.typed(), "p\xC3\xA4ss w\xC3\xB6rd \xE2\x9C\x93 \xF0\x9F\x94\x91");
    field->clear();
    EXPECT_EQ(secret.typed(), "");

    AskPassDialog confirmation("Proceed (yes/no)? ", true);
    EXPECT_EQ(confirmation.typed(), "");
}
