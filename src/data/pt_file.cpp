#include "data/pt_file.h"

#include "data/binary_file.h"
#include "data/demosaicer.h"
#include "data/scan_frame_store.h"

#include <QDateTime>
#include <QDebug>
#include <QSaveFile>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

bool checkFrameSize(int64_t width, int64_t height, QString *error) {
    QString reason;
    if (width <= 0 || height <= 0)
        reason = QStringLiteral("invalid frame size %1 x %2").arg(width).arg(height);
    // Divided rather than multiplied: two sides near the 32-bit limit overflow even 64 bits.
    else if (width > INT_MAX / 3 || height > INT_MAX / 3 / width)
        reason = QStringLiteral("frame of %1 x %2 pixels is too large").arg(width).arg(height);
    if (!reason.isEmpty() && error)
        *error = reason;
    return reason.isEmpty();
}

bool readPtFile(const QString &path, std::unique_ptr<float[]> &phase, std::unique_ptr<uint8_t[]> &texture,
                PtHeader &header, QString *error) {
    auto fail = [&](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    BinaryFile file;
    if (!file.open(path, "rb"))
        return fail(BinaryFile::lastError());
    const int64_t fileSize = file.size();
    unsigned char bytes[PtHeader::kSize];
    if (fileSize < PtHeader::kSize)
        return fail(
            QStringLiteral("file too short for a PT header: expected at least %1 bytes, found %2 bytes")
                .arg(PtHeader::kSize)
                .arg(fileSize));
    if (!file.read(bytes, sizeof bytes))
        return fail(QStringLiteral("cannot read the header: %1").arg(BinaryFile::lastError()));

    PtHeader h;
    h.version = readField<int32_t>(bytes, 0);
    if (h.version != 1)
        return fail(QStringLiteral("unsupported PT version %1 (only version 1 is read)").arg(h.version));
    std::memcpy(h.captureTime, bytes + 4, 16);
    h.width = readField<int32_t>(bytes, 20);
    h.height = readField<int32_t>(bytes, 24);
    h.colorTexture = bytes[28];
    h.mosaicCode = readField<int32_t>(bytes, 29);
    std::memcpy(&h.calibration, bytes + PtHeader::kCalibrationOffset, sizeof h.calibration);
    if (!checkFrameSize(h.width, h.height, error))
        return false;
    if (fileSize != h.fileSize())
        return fail(sizeMismatchMessage(h.fileSize(), fileSize));

    const int64_t n = static_cast<int64_t>(h.width) * h.height;
    auto newPhase = tryAllocate<float>(n);
    auto newTexture = tryAllocate<uint8_t>(h.textureBytes());
    if (!newPhase || !newTexture)
        return fail(outOfMemoryMessage(h.width, h.height));
    if (!file.read(newPhase.get(), sizeof(float) * n) || !file.read(newTexture.get(), h.textureBytes()))
        return fail(QStringLiteral("reading the file failed: %1").arg(BinaryFile::lastError()));
    phase = std::move(newPhase);
    texture = std::move(newTexture);
    header = h;
    return true;
}

QByteArray ptHeaderBytes(const PtHeader &header) {
    unsigned char bytes[PtHeader::kSize];
    writeField<int32_t>(bytes, 0, header.version);
    std::memcpy(bytes + 4, header.captureTime, 16);
    writeField<int32_t>(bytes, 20, header.width);
    writeField<int32_t>(bytes, 24, header.height);
    bytes[28] = header.colorTexture;
    writeField<int32_t>(bytes, 29, header.mosaicCode);
    std::memcpy(bytes + PtHeader::kCalibrationOffset, &header.calibration, sizeof header.calibration);
    return QByteArray(reinterpret_cast<const char *>(bytes), sizeof bytes);
}

bool writePtFile(const QString &path, const float *phase, const uint8_t *texture, const PtHeader &header,
                 QString *error) {
    const QByteArray bytes = ptHeaderBytes(header);
    const int64_t n = static_cast<int64_t>(header.width) * header.height;
    QSaveFile file(path);
    // Atomic where a temporary file can be made beside the target; in a folder that refuses one,
    // a writable existing file is written in place rather than not at all.
    file.setDirectWriteFallback(true);
    const bool written =
        file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
        file.write(reinterpret_cast<const char *>(phase), 4 * n) == 4 * n &&
        file.write(reinterpret_cast<const char *>(texture), header.textureBytes()) == header.textureBytes() &&
        file.commit();
    if (!written) {
        qDebug().noquote() << "Fail to write pt data:\n" << path;
        if (error)
            *error = file.errorString();
    }
    return written;
}

uint8_t greyOf(const uint8_t *rgb) {
    const int grey = (77 * rgb[0] + 150 * rgb[1] + 29 * rgb[2]) >> 8;
    return static_cast<uint8_t>(rgb[0] ? std::max(grey, 1) : grey);
}

bool loadPtFile(ScanFrameStore &store, const QString &path, QString *error, PtHeader *headerOut) {
    std::unique_ptr<float[]> phase;
    std::unique_ptr<uint8_t[]> texture;
    PtHeader header;
    if (!readPtFile(path, phase, texture, header, error))
        return false;

    // Every buffer of the new frame exists before the store is touched.
    const int64_t n = static_cast<int64_t>(header.width) * header.height;
    std::unique_ptr<uint8_t[]> rgb, mono, mask;
    auto xyz = tryAllocate<float>(3 * n);
    if (header.colorTexture) {
        rgb = std::move(texture);
        mono = tryAllocate<uint8_t>(n);
    } else {
        mono = std::move(texture);
        rgb = tryAllocate<uint8_t>(3 * n);
    }
    mask = tryAllocate<uint8_t>(n);
    if (!xyz || !rgb || !mono || !mask) {
        if (error)
            *error = outOfMemoryMessage(header.width, header.height);
        return false;
    }

    if (header.colorTexture) {
        for (int64_t i = 0; i < n; ++i) {
            mask[i] = rgb[3 * i];
            mono[i] = greyOf(&rgb[3 * i]);
        }
    } else {
        std::memcpy(mask.get(), mono.get(), static_cast<size_t>(n));
        if (header.mosaicCode >= 0) {
            try {
                Demosaicer demosaicer(header.width, header.height);
                demosaicer.demosaic(mono.get(), rgb.get());
                fillMosaicEdges(mono.get(), rgb.get(), header.width, header.height);
                demosaicer.smoothColor(rgb.get());
            } catch (const std::bad_alloc &) {
                if (error)
                    *error = outOfMemoryMessage(header.width, header.height);
                return false;
            }
        } else {
            for (int64_t i = 0; i < n; ++i)
                rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = mono[i];
        }
    }

    store.frameKind = PtFrame;
    applyCalibration(store, header.calibration);
    store.releaseFrameBuffers();
    store.width = header.width;
    store.height = header.height;
    store.pixelCount = header.width * header.height;
    store.colorTexture = header.colorTexture;
    store.mosaicCode = header.mosaicCode;
    store.phase = std::move(phase);
    store.rgbTexture = std::move(rgb);
    store.monoTexture = std::move(mono);
    store.mask = std::move(mask);
    store.xyz = std::move(xyz);
    if (headerOut)
        *headerOut = header;
    return true;
}

bool savePtFile(const ScanFrameStore &store, const QString &path, QString *error) {
    if (store.frameKind != PtFrame && store.frameKind != PtvFrame) {
        if (error)
            *error = QStringLiteral("an XYZM frame holds no phase to save as PT");
        return false;
    }
    PtHeader header;
    header.version = 1;
    const QByteArray now =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-hh-mm")).toLatin1();
    std::memcpy(header.captureTime, now.constData(), std::min<size_t>(16, static_cast<size_t>(now.size())));
    header.width = store.width;
    header.height = store.height;
    header.calibration = storedCalibration(store);

    // A three-byte frame, captured alone or in a sequence, keeps its colour bytes as read; a
    // one-byte frame is written as its one-byte texture.
    const bool threeBytes = store.colorTexture != 0;
    header.colorTexture = threeBytes ? 1 : 0;
    header.mosaicCode = store.frameKind == PtFrame ? store.mosaicCode : 1;
    if (threeBytes)
        return writePtFile(path, store.phase.get(), store.rgbTexture.get(), header, error);

    // A pixel without a measurement is written with no texture, which is how a reader tells it; the
    // frame itself stays as it is.
    const uint8_t *mono = store.monoTexture.get();
    const uint8_t *mask = store.mask.get();
    const int64_t n = store.pixelCount;
    std::unique_ptr<uint8_t[]> masked;
    if (std::any_of(mono, mono + n, [&](const uint8_t &byte) { return byte && !mask[&byte - mono]; })) {
        masked = tryAllocate<uint8_t>(n);
        if (!masked) {
            if (error)
                *error = outOfMemoryMessage(store.width, store.height);
            return false;
        }
        for (int64_t i = 0; i < n; ++i)
            masked[i] = mask[i] ? mono[i] : 0;
    }
    return writePtFile(path, store.phase.get(), masked ? masked.get() : mono, header, error);
}
