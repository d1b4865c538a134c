#include "desktop/HelpPage.h"

#include <QDir>
#include <QFileInfo>

namespace vistrel::HelpPage {

QString locate(const QString& applicationDir) {
    const QDir dir(applicationDir);
    const QString candidates[] = {
        dir.filePath(QString::fromLatin1(fileName)),
        dir.filePath(QStringLiteral("../share/vistrel/") + QString::fromLatin1(fileName)),
    };
    for (const QString& candidate : candidates) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isReadable()) {
            return info.canonicalFilePath();
        }
    }
    return {};
}

} // namespace vistrel::HelpPage
