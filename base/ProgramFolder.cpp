#include "base/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString absoluteFolder(const QString &path)
{
    return QDir::cleanPath(QDir(path).absolutePath());
}

// The per-user data folder is named after the program, whatever name the running
// application carries (the tests and the command-line tool have their own), so the
// names are set for the one query and put back afterwards.
QString userDataFolder()
{
    const QString application = QCoreApplication::applicationName();
    const QString organization = QCoreApplication::organizationName();
    QCoreApplication::setApplicationName(QStringLiteral("Kestrum"));
    QCoreApplication::setOrganizationName(QString());
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QCoreApplication::setOrganizationName(organization);
    QCoreApplication::setApplicationName(application);
    return folder;
}

} // namespace

QString ResolveProgramFolder(const QString &executableDir)
{
    const QString home = qEnvironmentVariable("KESTRUM_HOME");
    if (!home.isEmpty()) {
        const QString folder = absoluteFolder(home);
        QDir().mkpath(folder);
        return folder;
    }

    // A copy of the program kept together with its files (on a stick, in a folder of
    // its own) keeps using them.
    const QDir beside(executableDir);
    if (!executableDir.isEmpty() &&
        (QFileInfo(beside.filePath(QStringLiteral("Kestrum.set"))).isFile() ||
         QFileInfo(beside.filePath(QStringLiteral("default.set"))).isFile()))
        return absoluteFolder(executableDir);

    const QString folder = absoluteFolder(userDataFolder());
    QDir().mkpath(folder);
    return folder;
}
