#include "session/Utf8StreamDecoder.h"

#include <algorithm>

namespace vistrel {

namespace {

// How many bytes a character starting with `lead` has; 0 when `lead`
// cannot start one (ASCII counts as complete on its own).
int sequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Bytes at the end of `data` that begin a character still missing bytes.
qsizetype incompleteTail(const QByteArray& data) {
    const qsizetype limit = std::min<qsizetype>(3, data.size());
    for (qsizetype back = 1; back <= limit; ++back) {
        const auto byte = static_cast<unsigned char>(data.at(data.size() - back));
        if (isContinuation(byte)) {
            continue;
        }
        return sequenceLength(byte) > back ? back : 0;
    }
    return 0;
}

} // namespace

QString Utf8StreamDecoder::decode(const QByteArray& piece) {
    QByteArray data = pending_ + piece;
    const qsizetype held = incompleteTail(data);
    pending_ = data.right(held);
    data.chop(held);
    return QString::fromUtf8(data);
}

} // namespace vistrel
