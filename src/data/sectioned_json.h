#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// A small JSON file a person can read: an object with a "schema" that names what it holds, a
// "version", the "units" its numbers are in, and named sections beside them. Sections a program
// does not know, and keys it does not know within those it does, stay as they were when it writes
// the document again, so a newer program's additions outlive an older one's saves.
class SectionedJson {
  public:
    SectionedJson(QString schema, int version, QJsonObject units);

    // Takes the text: false with what is wrong (not JSON, another schema, a version newer than
    // `version`), the document left as it was. Checking the sections is the caller's.
    bool parse(const QByteArray &text, QString *error);
    // Reads the file; the reason names neither the file nor the program, only what is wrong.
    bool readFile(const QString &path, QString *error);
    // The bytes of such a file, refusing one far larger than any such document.
    static bool readText(const QString &path, QByteArray *text, QString *error);
    // Writes the bytes whole or not at all (a temporary file renamed over the old one).
    static bool writeText(const QString &path, const QByteArray &text, QString *error);
    // The document, indented; schema, version and units as this program writes them.
    QByteArray text() const;
    // Written whole or not at all (a temporary file renamed over the old one).
    bool writeFile(const QString &path, QString *error) const;

    QJsonValue section(const QString &key) const { return m_root.value(key); }
    // An object is laid over the section's object, key by key and down through the objects within,
    // so keys it does not name stay; anything else replaces the section.
    void setSection(const QString &key, const QJsonValue &value);
    void removeSection(const QString &key) { m_root.remove(key); }
    // Whether any section is held.
    bool isEmpty() const;
    const QJsonObject &root() const { return m_root; }

  private:
    QString m_schema;
    int m_version;
    QJsonObject m_units;
    QJsonObject m_root;
};

// A float as a number of at most nine digits, which reads back as the same float: 808.827026 rather
// than 808.8270263671875.
double jsonFloat(float value);

// Where a key lies in a document, as a message names it: 'views.3.turn'.
QString jsonKey(const QString &where, const QString &key);
