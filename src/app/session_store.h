#pragma once

#include <QSet>
#include <QString>

class ScanSession;

// Where the viewer keeps the session of each scan it opened: one JSON file a scan under the user's
// data folder (the freedesktop data home, ~/.local/share/pelnor/pelnor-viewer/sessions), named after
// the scan and a digest of its absolute path and size; never beside the scan, never inside it. A
// scan rewritten at another size starts afresh.
class SessionStore {
  public:
    static QString folder();
    // The session file of a scan file.
    static QString pathFor(const QString &scanPath);

    // The session kept for the scan, or an empty one. A session that cannot be read is moved aside
    // (to a name ending in ".unreadable.json", which nothing writes over) and false returned with
    // the reason once; from then on the scan starts with an empty session, and where it could not be
    // moved, nothing is written over it either.
    bool load(const QString &scanPath, ScanSession *session, QString *error);
    // Writes the session whole or not at all; false with the reason.
    bool save(const QString &scanPath, const ScanSession &session, QString *error);
    bool exists(const QString &scanPath) const;
    // Removes what is kept for the scan.
    bool forget(const QString &scanPath);

  private:
    // Sessions that could not be read nor moved aside: never written over.
    QSet<QString> m_unreadable;
};
