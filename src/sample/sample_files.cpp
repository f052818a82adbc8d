#include "sample/sample_files.h"

#include "data/pt_file.h"
#include "data/xyzm_file.h"

#include <QDateTime>
#include <QFileInfo>

#include <cstring>

bool writeCapturePt(const QString &path, const SyntheticCapture &capture, QString *error) {
    PtHeader header;
    const QByteArray now =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-hh-mm")).toLatin1();
    std::memcpy(header.captureTime, now.constData(), std::min<size_t>(16, static_cast<size_t>(now.size())));
    header.width = capture.width;
    header.height = capture.height;
    header.colorTexture = 0;
    header.mosaicCode = 0;
    header.calibration = capture.calibration;
    return writePtFile(path, capture.phase.data(), capture.mosaic.data(), header, error);
}

bool writeCaptureXyzm(const QString &path, const SyntheticCapture &capture, QString *error) {
    return writeXYZMFile(path, capture.xyz.data(), capture.rgb.data(), capture.measured.data(), capture.width,
                         capture.height, error, nullptr);
}

bool writeSampleFile(const QString &path, int32_t width, int32_t height, QString *error) {
    const QString ending = QFileInfo(path).suffix().toLower();
    if (ending != QLatin1String("pt") && ending != QLatin1String("xyzm")) {
        if (error)
            *error = QStringLiteral("unknown file ending (expected .pt or .xyzm)");
        return false;
    }
    const SyntheticCapture capture = VirtualScanner(width, height).capture(0.0);
    return ending == QLatin1String("pt") ? writeCapturePt(path, capture, error)
                                         : writeCaptureXyzm(path, capture, error);
}
