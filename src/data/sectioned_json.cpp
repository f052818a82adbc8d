#include "data/sectioned_json.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

const QString kSchema = QStringLiteral("schema");
const QString kVersion = QStringLiteral("version");
const QString kUnits = QStringLiteral("units");

// Such a document is a few kilobytes; a file far larger is not one.
constexpr qint64 kLargest = 16 << 20;

QJsonObject laidOver(QJsonObject under, const QJsonObject &over) {
    for (auto it = over.begin(); it != over.end(); ++it) {
        const QJsonValue below = under.value(it.key());
        under.insert(it.key(), below.isObject() && it.value().isObject()
                                   ? laidOver(below.toObject(), it.value().toObject())
                                   : it.value());
    }
    return under;
}

} // namespace

double jsonFloat(float value) {
    return QString::number(static_cast<double>(value), 'g', 9).toDouble();
}

QString jsonKey(const QString &where, const QString &key) {
    return where.isEmpty() ? key : where + QLatin1Char('.') + key;
}

SectionedJson::SectionedJson(QString schema, int version, QJsonObject units)
    : m_schema(std::move(schema)), m_version(version), m_units(std::move(units)) {}

bool SectionedJson::parse(const QByteArray &text, QString *error) {
    QJsonParseError parsed{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &parsed);
    if (parsed.error != QJsonParseError::NoError) {
        *error = QStringLiteral("not JSON (%1 at byte %2)").arg(parsed.errorString()).arg(parsed.offset);
        return false;
    }
    if (!document.isObject()) {
        *error = QStringLiteral("not a JSON object");
        return false;
    }
    const QJsonObject root = document.object();
    const QJsonValue schema = root.value(kSchema);
    if (schema.toString() != m_schema) {
        *error =
            schema.isUndefined()
                ? QStringLiteral("'schema': missing, where \"%1\" belongs").arg(m_schema)
                : QStringLiteral("'schema': \"%1\" is not \"%2\"")
                      .arg(schema.isString() ? schema.toString() : QStringLiteral("(not a text)"), m_schema);
        return false;
    }
    const QJsonValue version = root.value(kVersion);
    const double number = version.toDouble(-1.0);
    if (!version.isDouble() || number < 1.0 || number != static_cast<double>(static_cast<int>(number))) {
        *error = QStringLiteral("'version': a whole number from 1 is needed");
        return false;
    }
    if (number > m_version) {
        *error = QStringLiteral("'version': %1 is newer than this program reads (%2)")
                     .arg(static_cast<int>(number))
                     .arg(m_version);
        return false;
    }
    m_root = root;
    return true;
}

bool SectionedJson::readText(const QString &path, QByteArray *text, QString *error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    if (file.size() > kLargest) {
        *error = QStringLiteral("too large for such a file (%1 bytes)").arg(file.size());
        return false;
    }
    *text = file.readAll();
    return true;
}

bool SectionedJson::readFile(const QString &path, QString *error) {
    QByteArray bytes;
    return readText(path, &bytes, error) && parse(bytes, error);
}

QByteArray SectionedJson::text() const {
    QJsonObject root = m_root;
    root.insert(kSchema, m_schema);
    root.insert(kVersion, m_version);
    root.insert(kUnits, m_units);
    // A list of numbers (a turn, a pan) reads best on one line.
    const QString indented = QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented));
    static const QRegularExpression numbers(QStringLiteral(R"(\[\s*([-+0-9.eE]+(?:,\s*[-+0-9.eE]+)*)\s*\])"));
    static const QRegularExpression space(QStringLiteral(R"(,\s*)"));
    QString text;
    int from = 0;
    for (auto it = numbers.globalMatch(indented); it.hasNext();) {
        const QRegularExpressionMatch list = it.next();
        text += indented.midRef(from, list.capturedStart() - from) + QLatin1Char('[') +
                list.captured(1).replace(space, QStringLiteral(", ")) + QLatin1Char(']');
        from = list.capturedEnd();
    }
    return (text + indented.midRef(from)).toUtf8();
}

bool SectionedJson::writeText(const QString &path, const QByteArray &text, QString *error) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit())
        return true;
    *error = file.errorString();
    return false;
}

bool SectionedJson::writeFile(const QString &path, QString *error) const {
    return writeText(path, text(), error);
}

void SectionedJson::setSection(const QString &key, const QJsonValue &value) {
    const QJsonValue before = m_root.value(key);
    m_root.insert(key, before.isObject() && value.isObject() ? laidOver(before.toObject(), value.toObject())
                                                             : value);
}

bool SectionedJson::isEmpty() const {
    for (auto it = m_root.begin(); it != m_root.end(); ++it)
        if (it.key() != kSchema && it.key() != kVersion && it.key() != kUnits)
            return false;
    return true;
}
