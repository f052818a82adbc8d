#include "app/scan_file_names.h"

#include <QStringList>

QString scanFileEnding(const QString &text) {
    return text.split(QLatin1Char('.')).constLast().toLower();
}

bool isScanFileEnding(const QString &ending) {
    return ending == QLatin1String("xyzm") || ending == QLatin1String("pt") || ending == QLatin1String("ptv");
}

QString lastPathComponent(const QString &path) {
    QStringList parts = path.split(QLatin1Char('/'));
    if (parts.size() < 2)
        parts = path.split(QLatin1Char('\\'));
    return parts.constLast();
}
