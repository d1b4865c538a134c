#include "AskPassDialog.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

using vistrel::AskPassDialog;

// The question comes from the SSH client, parts of it from the server: markup
// in it is shown, not obeyed. A secret goes into a masked field and comes
// back as UTF-8, and the accept button shows its '&' rather than making it a
// shortcut.
TEST(AskPassDialog, ShowsTheQuestionAsTextAndMasksTheSecret) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "askpass_tests";
    char* argv[] = {name, nullptr};
    const QApplication application(argc, argv);
    const std::string markup = "<b>bold</b> &amp; <img src='x'> (yes/no)? ";
    for (const bool confirmation : {true, false}) {
        SCOPED_TRACE(confirmation ? "confirmation" : "secret");
        AskPassDialog dialog(markup, confirmation);
        dialog.window().show();
        auto* body = dialog.window().findChild<QLabel*>(QStringLiteral("body"));
        auto* field = dialog.window().findChild<QLineEdit*>(QStringLiteral("field"));
        auto* accept = dialog.window().findChild<QPushButton*>(QStringLiteral("accept"));
        ASSERT_TRUE(body != nullptr && accept != nullptr);
        EXPECT_EQ(body->text().toStdString(), markup);
        EXPECT_EQ(body->textFormat(), Qt::PlainText);
        ASSERT_EQ(field == nullptr, confirmation);
        if (!confirmation) {
            EXPECT_EQ(field->echoMode(), QLineEdit::Password);
            field->setText(QStringLiteral("p\u00e4ss w\u00f6rd \u2713 \U0001F511"));
            EXPECT_EQ(dialog.typed(), "p\xC3\xA4ss w\xC3\xB6rd \xE2\x9C\x93 \xF0\x9F\x94\x91");
        }
        EXPECT_EQ(QAccessible::queryAccessibleInterface(accept)->text(QAccessible::Name),
                  confirmation ? QStringLiteral("Trust & Connect") : QStringLiteral("Connect"));
    }
}
