#include "AskPassDialog.h"

#include "AskPassPrompt.h"

#include <QFont>
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
constexpr int captionGap = 8;

} // namespace

QString AskPassDialog::literalButtonText(std::string_view title) {
    return fromUtf8(title).replace(QLatin1Char('&'), QLatin1String("&&"));
}

AskPassDialog::AskPassDialog(std::string_view prompt, bool confirmation)
    : layout_(&dialog_), icon_(&dialog_), title_(&dialog_), body_(&dialog_), buttons_(&dialog_) {
    const QString title = fromUtf8(AskPassPrompt::title(confirmation));
    dialog_.setWindowTitle(title);
    dialog_.setModal(true);
    layout_.setSizeConstraint(QLayout::SetFixedSize);

    icon_.setObjectName(QStringLiteral("icon"));
    const auto kind =
        confirmation ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxInformation;
    icon_.setPixmap(dialog_.style()->standardIcon(kind, nullptr, &dialog_).pixmap(iconSize));
    icon_.setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    title_.setObjectName(QStringLiteral("title"));
    title_.setTextFormat(Qt::PlainText);
    title_.setText(title);
    QFont bold = title_.font();
    bold.setBold(true);
    title_.setFont(bold);
    int row = 0;
    layout_.addWidget(&title_, row++, 1);

    if (confirmation) {
        caption_.emplace(&dialog_);
        caption_->setObjectName(QStringLiteral("caption"));
        caption_->setTextFormat(Qt::PlainText);
        caption_->setText(fromUtf8(AskPassPrompt::confirmationCaption));
        // Set apart from SSH's text below, which is quoted, not ours.
        caption_->setContentsMargins(0, 0, 0, captionGap);
        layout_.addWidget(&*caption_, row++, 1);
    }

    // The question comes from the SSH client, and parts of it from the
    // server: it is shown as plain text, never interpreted as markup.
    body_.setObjectName(QStringLiteral("body"));
    body_.setTextFormat(Qt::PlainText);
    body_.setText(fromUtf8(prompt));
    body_.setWordWrap(true);
    body_.setTextInteractionFlags(Qt::TextSelectableByMouse);
    body_.setMinimumWidth(fieldWidth);
    layout_.addWidget(&body_, row++, 1);

    if (!confirmation) {
        field_.emplace(&dialog_);
        field_->setObjectName(QStringLiteral("field"));
        field_->setEchoMode(QLineEdit::Password);
        field_->setFixedSize(fieldWidth, fieldHeight);
        field_->setPlaceholderText(fromUtf8(AskPassPrompt::placeholder(prompt)));
        layout_.addWidget(&*field_, row++, 1);
    }
    layout_.addWidget(&icon_, 0, 0, row, 1);

    auto* accept = buttons_.addButton(literalButtonText(AskPassPrompt::acceptButton(confirmation)),
                                      QDialogButtonBox::AcceptRole);
    auto* cancel = buttons_.addButton(literalButtonText(AskPassPrompt::cancelButton),
                                      QDialogButtonBox::RejectRole);
    accept->setObjectName(QStringLiteral("accept"));
    cancel->setObjectName(QStringLiteral("cancel"));
    accept->setDefault(true);
    layout_.addWidget(&buttons_, row, 0, 1, 2);
    QObject::connect(&buttons_, &QDialogButtonBox::accepted, &dialog_, &QDialog::accept);
    QObject::connect(&buttons_, &QDialogButtonBox::rejected, &dialog_, &QDialog::reject);

    // Keyboard order follows the order of the question: field, accept, Cancel.
    if (field_) {
        QWidget::setTabOrder(&*field_, accept);
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
    if (!field_) {
        return {};
    }
    QByteArray utf8 = field_->text().toUtf8();
    std::string text(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    utf8.fill('\0');
    return text;
}

} // namespace vistrel
