#include "session/AskpassLocator.h"

#include <QDir>
#include <QFileInfo>

namespace vistrel::AskpassLocator {

QString find(const QString& applicationDir) {
    if (applicationDir.isEmpty()) {
        return {};
    }
    const QDir dir(applicationDir);
    const QString name = QString::fromLatin1(programName);
    for (const QString& candidate :
         {dir.filePath(name), dir.filePath(QStringLiteral("../libexec/vistrel/") + name)}) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable()) {
            return QDir::cleanPath(info.absoluteFilePath());
        }
    }
    return {};
}

} // namespace vistrel::AskpassLocator
