#include "data/scan_format.h"

#include "data/pt_file.h"
#include "data/xyzm_file.h"

#include <QFileInfo>

ScanFormat scanFormatOf(const QString &path) {
    const QString ending = QFileInfo(path).suffix().toLower();
    if (ending == QLatin1String("xyzm"))
        return ScanFormat::Xyzm;
    if (ending == QLatin1String("pt"))
        return ScanFormat::Pt;
    if (ending == QLatin1String("ptv"))
        return ScanFormat::Ptv;
    return ScanFormat::Unknown;
}

bool loadFrameFile(ScanFrameStore &store, const QString &path, QString *error, PtHeader *ptHeader,
                   std::FILE *xyzmLog) {
    switch (scanFormatOf(path)) {
    case ScanFormat::Xyzm:
        return loadXYZMFile(store, path, error, xyzmLog);
    case ScanFormat::Pt:
        return loadPtFile(store, path, error, ptHeader);
    case ScanFormat::Ptv:
    case ScanFormat::Unknown:
        break;
    }
    if (error)
        *error = QStringLiteral("unknown file ending (expected .xyzm, .pt or .ptv)");
    return false;
}
