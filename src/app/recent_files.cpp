#include "app/recent_files.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>

namespace {

const QString kRecentKey = QStringLiteral("files/recent");

} // namespace

RecentFiles::RecentFiles(QMenu *menu)
    : QObject(menu), m_menu(menu), m_paths(QSettings().value(kRecentKey).toStringList().mid(0, kKept)) {
    follow();
}

void RecentFiles::add(const QString &path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    m_paths.removeAll(absolute);
    m_paths.prepend(absolute);
    m_paths = m_paths.mid(0, kKept);
    follow();
}

void RecentFiles::choose(const QString &path) {
    if (QFileInfo::exists(path)) {
        emit chosen(path);
        return;
    }
    m_paths.removeAll(path);
    follow();
    emit gone(path);
}

void RecentFiles::follow() {
    // The entry chosen may be the one whose signal runs now: the old entries go once it returns.
    for (QAction *old : m_menu->actions()) {
        m_menu->removeAction(old);
        old->deleteLater();
    }
    for (int i = 0; i < m_paths.size(); ++i) {
        const QString &path = m_paths.at(i);
        // The name first, as it is looked for; the folder tells apart two files of one name. An
        // ampersand of the path is shown, not taken for the entry's key.
        const QFileInfo file(path);
        QString name = file.fileName(), folder = QDir::toNativeSeparators(file.absolutePath());
        name.replace(QLatin1Char('&'), QLatin1String("&&"));
        folder.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction *entry = m_menu->addAction(
            QStringLiteral("&%1  %2    %3").arg(QString::number((i + 1) % 10), name, folder));
        connect(entry, &QAction::triggered, this, [this, path] { choose(path); });
    }
    m_menu->setEnabled(!m_paths.isEmpty());
    QSettings settings;
    if (m_paths.isEmpty())
        settings.remove(kRecentKey);
    else
        settings.setValue(kRecentKey, m_paths);
}
