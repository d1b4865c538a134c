// The system clipboard, for plain text only.
#pragma once

#include <QString>

namespace vistrel {

class Clipboard {
public:
    virtual ~Clipboard() = default;
    // Replaces everything on the clipboard, in every format, with `text`.
    virtual void setText(const QString& text) = 0;
};

class SystemClipboard final : public Clipboard {
public:
    void setText(const QString& text) override;
};

} // namespace vistrel
