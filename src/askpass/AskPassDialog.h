// The one modal question of the askpass helper: a title, SSH's own question as
// the body (under a caption naming the default button's meaning when it is a
// yes/no question), a warning or information icon, a masked field when a
// secret is asked for, and the accept button (the default) followed by Cancel.
#pragma once

#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <optional>
#include <string>
#include <string_view>

namespace vistrel {

class AskPassDialog {
public:
    AskPassDialog(std::string_view prompt, bool confirmation);

    AskPassDialog(const AskPassDialog&) = delete;
    AskPassDialog& operator=(const AskPassDialog&) = delete;

    // Shows the dialog in front of other windows and waits for a button;
    // true when the accept button was pressed.
    bool run();

    // What was typed into the masked field, as UTF-8; empty in confirmation
    // mode.
    [[nodiscard]] std::string typed() const;

    // For tests that inspect the widgets.
    QDialog& window() { return dialog_; }

    // Qt reads '&' in a button title as a shortcut marker; this keeps it a
    // visible character.
    static QString literalButtonText(std::string_view title);

private:
    // The window first: its children are destroyed before it.
    QDialog dialog_;
    QGridLayout layout_;
    QLabel icon_;
    QLabel title_;
    std::optional<QLabel> caption_; // confirmation mode only
    QLabel body_;
    std::optional<QLineEdit> field_; // absent in confirmation mode
    QDialogButtonBox buttons_;
};

} // namespace vistrel
