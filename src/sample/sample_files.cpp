#include "sample/sample_files.h"

#include "data/binary_file.h"
#include "data/pt_file.h"
#include "data/ptv_reader.h"
#include "data/xyzm_file.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

#include <cstring>
#include <new>

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

bool writeSampleFile(const QString &path, int32_t width, int32_t height, QString *error,
                     VirtualScanner::Scene scene) {
    const QString ending = QFileInfo(path).suffix().toLower();
    if (ending != QLatin1String("pt") && ending != QLatin1String("xyzm")) {
        if (error)
            *error = QStringLiteral("unknown file ending (expected .pt, .xyzm or .ptv)");
        return false;
    }
    try {
        const SyntheticCapture capture = VirtualScanner(width, height, scene).capture(0.0);
        return ending == QLatin1String("pt") ? writeCapturePt(path, capture, error)
                                             : writeCaptureXyzm(path, capture, error);
    } catch (const std::bad_alloc &) {
        if (error)
            *error = outOfMemoryMessage(width, height);
        return false;
    }
}

bool writesSampleEnding(const QString &ending) {
    return ending == QLatin1String("pt") || ending == QLatin1String("xyzm") || ending == QLatin1String("ptv");
}

bool writeSample(const QString &path, int32_t width, int32_t height, int32_t frames, float rate,
                 QString *error, VirtualScanner::Scene scene,
                 const std::function<void(int32_t)> &frameWritten) {
    if (QFileInfo(path).suffix().toLower() == QLatin1String("ptv"))
        return writeSampleSequence(path, width, height, frames, rate, error, scene, frameWritten);
    return writeSampleFile(path, width, height, error, scene);
}

bool sceneNamed(const QString &name, VirtualScanner::Scene *scene) {
    const int index = QStringList{"studio", "off-centre", "centre-hole"}.indexOf(name);
    if (index >= 0)
        *scene = static_cast<VirtualScanner::Scene>(index);
    return index >= 0;
}

QByteArray ptvHeaderBytes(const PtvHeader &header) {
    unsigned char b[PtvHeader::kSize];
    writeField<int32_t>(b, 0, header.version);
    std::memcpy(b + 4, header.captureTime, 16);
    writeField<float>(b, 20, header.frameRate);
    writeField<int32_t>(b, 24, header.frameCount);
    writeField<int32_t>(b, 28, header.width);
    writeField<int32_t>(b, 32, header.height);
    b[36] = header.colorTexture;
    writeField<int32_t>(b, 37, header.mosaicCode);
    std::memcpy(b + PtvHeader::kCalibrationOffset, &header.calibration, sizeof header.calibration);
    return QByteArray(reinterpret_cast<const char *>(b), sizeof b);
}

bool writeSampleSequence(const QString &path, int32_t width, int32_t height, int32_t frames, float rate,
                         QString *error, VirtualScanner::Scene scene,
                         const std::function<void(int32_t)> &frameWritten) {
    const VirtualScanner scanner(width, height, scene);
    PtvHeader header;
    const QByteArray now =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-hh-mm")).toLatin1();
    std::memcpy(header.captureTime, now.constData(), std::min<size_t>(16, static_cast<size_t>(now.size())));
    header.frameRate = rate;
    header.frameCount = frames;
    header.width = width;
    header.height = height;
    header.colorTexture = 0;
    header.mosaicCode = 0;
    header.calibration = scanner.calibration();

    QSaveFile file(path);
    // Atomic where a temporary file can be made beside the target; in a folder that refuses one,
    // a writable existing file is written in place rather than not at all.
    file.setDirectWriteFallback(true);
    const QByteArray head = ptvHeaderBytes(header);
    bool written = file.open(QIODevice::WriteOnly) && file.write(head) == head.size();
    const qint64 n = static_cast<qint64>(width) * height;
    try {
        for (int32_t k = 0; k < frames && written; ++k) {
            const SyntheticCapture capture = scanner.capture(k / static_cast<double>(rate));
            written = file.write(reinterpret_cast<const char *>(capture.phase.data()), 4 * n) == 4 * n &&
                      file.write(reinterpret_cast<const char *>(capture.mosaic.data()), n) == n;
            if (written && frameWritten)
                frameWritten(k);
        }
    } catch (const std::bad_alloc &) {
        // The unfinished file is dropped with its temporary.
        if (error)
            *error = outOfMemoryMessage(width, height);
        return false;
    }
    written = written && file.commit();
    if (!written && error)
        *error = file.errorString();
    return written;
}
