#include "app/session_store.h"

#include "render/scan_session.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

QString SessionStore::folder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/sessions");
}

QString SessionStore::pathFor(const QString &scanPath) {
    const QFileInfo scan(scanPath);
    const QByteArray identity =
        QFile::encodeName(scan.absoluteFilePath()) + '\n' + QByteArray::number(scan.size());
    const QString digest =
        QString::fromLatin1(QCryptographicHash::hash(identity, QCryptographicHash::Sha256).toHex().left(16));
    return folder() + QLatin1Char('/') + scan.fileName() + QLatin1Char('-') + digest +
           QStringLiteral(".json");
}

bool SessionStore::load(const QString &scanPath, ScanSession *session, QString *error) {
    *session = ScanSession();
    const QString path = pathFor(scanPath);
    if (m_unreadable.contains(path) || !QFileInfo::exists(path))
        return true;
    ScanSession read;
    if (read.readFile(path, error)) {
        *session = read;
        return true;
    }
    // A name no other session set aside holds: QFile::rename never replaces a file.
    const QString stem = path.left(path.size() - 5) + QStringLiteral(".unreadable");
    QString aside = stem + QStringLiteral(".json");
    for (int n = 2; QFileInfo::exists(aside) && n < 1000; ++n)
        aside = stem + QStringLiteral("-%1.json").arg(n);
    if (QFile::rename(path, aside))
        *error += QStringLiteral(" (kept as %1)").arg(QFileInfo(aside).fileName());
    else
        m_unreadable.insert(path);
    return false;
}

bool SessionStore::save(const QString &scanPath, const ScanSession &session, QString *error) {
    const QString path = pathFor(scanPath);
    if (m_unreadable.contains(path))
        return true;
    if (!QDir().mkpath(folder())) {
        *error = QStringLiteral("the folder %1 cannot be made").arg(folder());
        return false;
    }
    return session.writeFile(path, error);
}

bool SessionStore::exists(const QString &scanPath) const {
    return QFileInfo::exists(pathFor(scanPath));
}

bool SessionStore::forget(const QString &scanPath) {
    const QString path = pathFor(scanPath);
    m_unreadable.remove(path);
    return !QFileInfo::exists(path) || QFile::remove(path);
}
