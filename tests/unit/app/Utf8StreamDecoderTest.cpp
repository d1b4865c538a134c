// UTF-8 in pieces: every split point of valid text decodes to the whole
// text, and invalid bytes at a split never swallow what follows them.
#include "session/Utf8StreamDecoder.h"

#include <gtest/gtest.h>

using vistrel::Utf8StreamDecoder;

TEST(Utf8StreamDecoder, AnySplitOfValidTextDecodesToTheWholeText) {
    const QByteArray text = QStringLiteral("a\u00e9\u20ac\U0001F600 VL_STARTED\n\u00d7").toUtf8();
    const QString whole = QString::fromUtf8(text);
    for (qsizetype first = 0; first <= text.size(); ++first) {
        for (qsizetype second = first; second <= text.size(); ++second) {
            Utf8StreamDecoder decoder;
            QString decoded = decoder.decode(text.left(first));
            decoded += decoder.decode(text.mid(first, second - first));
            decoded += decoder.decode(text.mid(second));
            EXPECT_EQ(decoded, whole) << first << "/" << second;
        }
    }
}

TEST(Utf8StreamDecoder, InvalidBytesBecomeReplacementsAndKeepWhatFollows) {
    struct Case {
        const char* name;
        QByteArray first;
        QByteArray second;
        QString expected;
    };
    const QChar bad(0xFFFD);
    const Case cases[] = {
        {"cut four-byte start, then a line feed", "abc\xF0\x9F", "\nVL_STARTED\n",
         QStringLiteral("abc") + bad + bad + QStringLiteral("\nVL_STARTED\n")},
        {"cut three-byte start, then a line feed", "abc\xE2", "\nx",
         QStringLiteral("abc") + bad + QStringLiteral("\nx")},
        {"byte that never starts a character", "abc\xFF", "\n",
         QStringLiteral("abc") + bad + QStringLiteral("\n")},
        {"lone continuation bytes", "\x80\x80", "z", QString(bad) + bad + QStringLiteral("z")},
        {"surrogate encoding", "\xED\xA0", "\x80!", QString(bad) + bad + bad + QStringLiteral("!")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Utf8StreamDecoder decoder;
        QString decoded = decoder.decode(c.first);
        decoded += decoder.decode(c.second);
        EXPECT_EQ(decoded, c.expected);
    }
}

TEST(Utf8StreamDecoder, ResetForgetsAHeldBackStart) {
    Utf8StreamDecoder decoder;
    EXPECT_EQ(decoder.decode("ok\xE2\x82"), QStringLiteral("ok"));
    decoder.reset();
    EXPECT_EQ(decoder.decode("\xAC"), QString(QChar(0xFFFD)));
}
