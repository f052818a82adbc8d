#include "data/ptv_reader.h"

#include "data/binary_file.h"
#include "data/pt_file.h"

#include <QFile>

#include <cmath>
#include <cstring>

bool PTVReader::openStream(const QString &path, std::FILE *&file, QString *error) const {
    file = path.isEmpty() ? nullptr : std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!file && error)
        *error = path.isEmpty() ? QStringLiteral("no file name") : BinaryFile::lastError();
    return file != nullptr;
}

bool PTVReader::readHeader(std::FILE *file, PtvHeader &header, QString *error) const {
    auto fail = [&](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (fseeko(file, 0, SEEK_END) != 0)
        return fail(QStringLiteral("cannot tell the file's size"));
    const int64_t fileSize = ftello(file);
    if (fileSize < PtvHeader::kSize)
        return fail(
            QStringLiteral("file too short for a PTV header: expected at least %1 bytes, found %2 bytes")
                .arg(PtvHeader::kSize)
                .arg(fileSize));
    unsigned char bytes[PtvHeader::kSize];
    if (fseeko(file, 0, SEEK_SET) != 0 || std::fread(bytes, 1, sizeof bytes, file) != sizeof bytes)
        return fail(QStringLiteral("cannot read the header: %1").arg(BinaryFile::lastError()));

    PtvHeader h;
    h.version = readField<int32_t>(bytes, 0);
    if (h.version != 1)
        return fail(QStringLiteral("unsupported PTV version %1 (only version 1 is read)").arg(h.version));
    std::memcpy(h.captureTime, bytes + 4, 16);
    h.frameRate = readField<float>(bytes, 20);
    h.frameCount = readField<int32_t>(bytes, 24);
    h.width = readField<int32_t>(bytes, 28);
    h.height = readField<int32_t>(bytes, 32);
    h.colorTexture = bytes[36];
    h.mosaicCode = readField<int32_t>(bytes, 37);
    std::memcpy(&h.calibration, bytes + PtvHeader::kCalibrationOffset, sizeof h.calibration);
    if (!std::isfinite(h.frameRate) || h.frameRate <= 0.0f)
        return fail(QStringLiteral("invalid frame rate %1").arg(static_cast<double>(h.frameRate)));
    if (h.frameCount < 1)
        return fail(QStringLiteral("invalid frame count %1").arg(h.frameCount));
    if (!checkFrameSize(h.width, h.height, error))
        return false;
    const int64_t found = (fileSize - PtvHeader::kSize) / h.frameSize();
    if (found < 1)
        return fail(QStringLiteral("file holds no complete frame: expected at least %1 bytes, found %2 bytes")
                        .arg(h.frameOffset(1))
                        .arg(fileSize));
    h.framesFound = static_cast<int32_t>(std::min<int64_t>(found, h.frameCount));
    header = h;
    return true;
}

bool PTVReader::readFrame(std::FILE *file, float *phase, uint8_t *texture, uint8_t colorTexture,
                          int32_t pixelCount) const {
    const size_t n = static_cast<size_t>(pixelCount);
    const size_t textureBytes = colorTexture ? 3 * n : n;
    return std::fread(phase, sizeof(float), n, file) == n &&
           std::fread(texture, 1, textureBytes, file) == textureBytes;
}

void PTVReader::closeStream(std::FILE *&file) const {
    if (file)
        std::fclose(file);
    file = nullptr;
}

int32_t nextPtvFrame(int32_t counter, int32_t frameCount) {
    if (frameCount <= 1)
        return 0;
    ++counter;
    return counter > frameCount - 1 || counter < 1 ? 1 : counter;
}

QString shortSequenceMessage(const PtvHeader &header) {
    if (header.framesFound >= header.frameCount)
        return {};
    return QStringLiteral("the file holds %1 of the %2 frames its header promises")
        .arg(header.framesFound)
        .arg(header.frameCount);
}
