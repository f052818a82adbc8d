#pragma once

#include <QObject>
#include <QStringList>

class QMenu;

// The scan files opened last, newest first and ten at most, as the entries of a menu, remembered
// between runs. Choosing an entry opens its file; a file gone from the disk leaves the list then.
class RecentFiles : public QObject {
    Q_OBJECT

  public:
    static constexpr int kKept = 10;

    // Fills `menu`, which it belongs to, from what the last run remembered.
    explicit RecentFiles(QMenu *menu);

    const QStringList &paths() const { return m_paths; }
    // Puts a file that was opened at the top, by its absolute path.
    void add(const QString &path);

  signals:
    // An entry was chosen whose file is on the disk.
    void chosen(const QString &path);
    // An entry was chosen whose file is gone; it has left the list.
    void gone(const QString &path);

  private:
    void choose(const QString &path);
    // Rebuilds the entries and remembers the list.
    void follow();

    QMenu *m_menu;
    QStringList m_paths;
};
