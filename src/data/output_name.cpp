#include "data/output_name.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

bool OutputName::parse(const QString &name, QString *error) {
    m_before.clear();
    m_after.clear();
    m_digits = -1;
    // Each percent sign starts %%, %d or %0Nd (N from 1 to 9); only one may be a number.
    static const QRegularExpression conversion(QStringLiteral("%(?:(%)|0?([1-9]?)d)"));
    QString *part = &m_before;
    int at = 0;
    for (int next = name.indexOf(QLatin1Char('%')); next >= 0; next = name.indexOf(QLatin1Char('%'), at)) {
        const QRegularExpressionMatch match = conversion.match(name, next, QRegularExpression::NormalMatch,
                                                               QRegularExpression::AnchoredMatchOption);
        part->append(name.midRef(at, next - at));
        if (match.hasMatch() && !match.captured(1).isEmpty()) {
            part->append(QLatin1Char('%'));
        } else if (match.hasMatch() && m_digits < 0) {
            m_digits = match.captured(2).isEmpty() ? 0 : match.captured(2).toInt();
            part = &m_after;
        } else {
            if (error)
                *error = QStringLiteral("OUT may hold one frame number, %d or %04d (write %% for a "
                                        "percent sign)");
            return false;
        }
        at = match.capturedEnd();
    }
    part->append(name.midRef(at));
    return true;
}

QString OutputName::pathFor(int32_t frame) const {
    if (!numbered())
        return m_before;
    return m_before + QString::number(frame).rightJustified(m_digits, QLatin1Char('0')) + m_after;
}

QString OutputName::ending() const {
    return QFileInfo(numbered() ? m_after : m_before).suffix().toLower();
}

bool readyFolderOf(const QString &file, bool make, QString *error) {
    const QString folder = QFileInfo(file).path();
    const QFileInfo found(folder);
    if (found.isDir() || (make && !found.exists() && QDir().mkpath(folder)))
        return true;
    *error = found.exists() ? QStringLiteral("%1 is not a folder").arg(folder)
             : make         ? QStringLiteral("the folder %1 could not be made").arg(folder)
                            : QStringLiteral("the folder %1 does not exist").arg(folder);
    return false;
}

QString OutputName::numbering(const QString &name) {
    OutputName given;
    if (given.parse(name, nullptr) && given.numbered())
        return name;
    QString plain = name;
    plain.replace(QLatin1Char('%'), QLatin1String("%%"));
    const int dot = plain.lastIndexOf(QLatin1Char('.'));
    const int at = dot > plain.lastIndexOf(QLatin1Char('/')) ? dot : plain.size();
    return plain.insert(at, QLatin1String("_%04d"));
}
