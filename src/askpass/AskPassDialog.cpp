#include "AskPassDialog.h"

#include "AskPassPrompt.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFont>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

namespace vistrel {

namespace {

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

constexpr int fieldWidth = 360;
constexpr int fieldHeight = 24;
constexpr int iconSize = 48;

} // namespace

QString AskPassDialog::literalButtonText(std::string_view title) {
    return fromUtf8(title).replace(QLatin1Char('&'), QLatin1String("&&"));
}

AskPassDialog::AskPassDialog(std::string_view prompt, bool confirmation) {
    const QString title = fromUtf8(AskPassPrompt::title(confirmation));
    dialog_.setWindowTitle(title);
    dialog_.setModal(true);

    auto* layout = new QGridLayout(&dialog_);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    auto* icon = new QLabel(&dialog_);
    icon->setObjectName(QStringLiteral("icon"));
    const auto kind =
        confirmation ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxInformation;
    icon->setPixmap(dialog_.style()->standardIcon(kind, nullptr, &dialog_).pixmap(iconSize));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    layout->addWidget(icon, 0, 0, 3, 1);

    auto* heading = new QLabel(title, &dialog_);
    heading->setObjectName(QStringLiteral("title"));
    heading->setTextFormat(Qt::PlainText);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading, 0, 1);

    // The question comes from the SSH client, and parts of it from the
    // server: it is shown as plain text, never interpreted as markup.
    auto* body = new QLabel(fromUtf8(prompt), &dialog_);
    body->setObjectName(QStringLiteral("body"));
    body->setTextFormat(Qt::PlainText);
    body->setWordWrap(true);
    body->setTextInteractionFlags(Qt::TextSelectableByMouse);
    body->setMinimumWidth(fieldWidth);
    layout->addWidget(body, 1, 1);

    if (!confirmation) {
        field_ = new QLineEdit(&dialog_);
        field_->setObjectName(QStringLiteral("field"));
        field_->setEchoMode(QLineEdit::Password);
        field_->setFixedSize(fieldWidth, fieldHeight);
        field_->setPlaceholderText(fromUtf8(AskPassPrompt::placeholder(prompt)));
        layout->addWidget(field_, 2, 1);
    }

    auto* buttons = new QDialogButtonBox(&dialog_);
    auto* accept = buttons->addButton(literalButtonText(AskPassPrompt::acceptButton(confirmation)),
                                      QDialogButtonBox::AcceptRole);
    auto* cancel = buttons->addButton(literalButtonText(AskPassPrompt::cancelButton),
                                      QDialogButtonBox::RejectRole);
    accept->setObjectName(QStringLiteral("accept"));
    cancel->setObjectName(QStringLiteral("cancel"));
    accept->setDefault(true);
    layout->addWidget(buttons, 3, 0, 1, 2);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog_, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog_, &QDialog::reject);

    // Keyboard order follows the order of the question: field, accept, Cancel.
    if (field_ != nullptr) {
        QWidget::setTabOrder(field_, accept);
        field_->setFocus();
    } else {
        accept->setFocus();
    }
    QWidget::setTabOrder(accept, cancel);
}

bool AskPassDialog::run() {
    dialog_.show();
    dialog_.raise();
    dialog_.activateWindow();
    return dialog_.exec() == QDialog::Accepted;
}

std::string AskPassDialog::typed() const {
    if (field_ == nullptr) {
        return {};
    }
    QByteArray utf8 = field_->text().toUtf8();
    std::string text(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    utf8.fill('\0');
    return text;
}

} // namespace vistrel
