// Decodes UTF-8 text that arrives in pieces, such as a child process's
// output: a character split between two pieces comes out whole, invalid
// bytes become U+FFFD, and no valid byte after an invalid one is lost.
// (Qt 6.4's stateful QStringDecoder drops the byte that follows an
// incomplete sequence at the end of a piece, a line feed included.)
#pragma once

#include <QByteArray>
#include <QString>

namespace vistrel {

class Utf8StreamDecoder {
public:
    // The text of `piece`, holding back (at most three) bytes that begin a
    // character whose remaining bytes have not arrived yet.
    QString decode(const QByteArray& piece);
    // Forgets held-back bytes, for a new stream.
    void reset() { pending_.clear(); }

private:
    QByteArray pending_;
};

} // namespace vistrel
