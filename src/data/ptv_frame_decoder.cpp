#include "data/ptv_frame_decoder.h"

#include "data/binary_file.h"
#include "data/pt_file.h"
#include "data/scan_frame_store.h"

#include <cstring>
#include <new>

bool beginPtvSequence(ScanFrameStore &store, const PtvHeader &header, QString *error) {
    const int64_t n = header.pixelCount();
    auto mono = tryAllocate<uint8_t>(n);
    auto rgb = tryAllocate<uint8_t>(3 * n);
    auto mask = tryAllocate<uint8_t>(n);
    auto phase = tryAllocate<float>(n);
    if (!mono || !rgb || !mask || !phase) {
        if (error)
            *error = outOfMemoryMessage(header.width, header.height);
        return false;
    }
    store.colorTexture = header.colorTexture;
    store.width = header.width;
    store.height = header.height;
    store.pixelCount = header.width * header.height;
    applyCalibration(store, header.calibration);
    store.releaseFrameBuffers();
    store.monoTexture = std::move(mono);
    store.rgbTexture = std::move(rgb);
    store.mask = std::move(mask);
    store.phase = std::move(phase);
    // Until the first frame arrives the buffers hold nothing to show.
    std::memset(store.mask.get(), 0, static_cast<size_t>(n));
    return true;
}

bool PtvFrameDecoder::decodeFrame(std::FILE *file, const PtvHeader &header, int32_t frame,
                                  ScanFrameStore &store, QString *error) {
    if (store.pixelCount != header.pixelCount() || store.width != header.width || !store.phase ||
        !store.monoTexture) {
        if (error)
            *error = QStringLiteral("the sequence was not opened for this frame size");
        return false;
    }
    if (!readFrame(file, header, frame, error))
        return false;
    commitFrame(header, store);
    return true;
}

bool PtvFrameDecoder::readFrame(std::FILE *file, const PtvHeader &header, int32_t frame, QString *error) {
    auto fail = [&](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    const int64_t n = header.pixelCount();
    if (frame < 0 || frame >= header.framesFound)
        return fail(QStringLiteral("frame %1 is not in the file, which holds frames 0 to %2")
                        .arg(frame)
                        .arg(header.framesFound - 1));
    try {
        if (m_pixelCount != n || m_textureBytes != header.textureBytes() ||
            m_demosaicer->width != header.width) {
            m_phase.reset(new float[static_cast<size_t>(n)]);
            m_texture.reset(new uint8_t[static_cast<size_t>(header.textureBytes())]);
            m_demosaicer = std::make_unique<Demosaicer>(header.width, header.height);
            // commitFrame cannot fail: the smoothing finds its memory taken here.
            m_demosaicer->filter.reserveScratch(3);
            m_pixelCount = n;
            m_textureBytes = header.textureBytes();
        }
    } catch (const std::bad_alloc &) {
        m_pixelCount = -1;
        return fail(outOfMemoryMessage(header.width, header.height));
    }
    // Read into the decoder's own buffers, so a short read leaves the shown frame whole.
    if (fseeko(file, header.frameOffset(frame), SEEK_SET) != 0 ||
        !m_reader.readFrame(file, m_phase.get(), m_texture.get(), header.colorTexture,
                            static_cast<int32_t>(n)))
        return fail(QStringLiteral("frame %1 could not be read completely").arg(frame));
    return true;
}

void PtvFrameDecoder::commitFrame(const PtvHeader &header, ScanFrameStore &store) {
    // The read buffers become the store's and the store's old ones take the next frame.
    std::swap(m_phase, store.phase);
    const size_t count = static_cast<size_t>(header.pixelCount());
    if (header.colorTexture) {
        std::swap(m_texture, store.rgbTexture);
        const uint8_t *rgb = store.rgbTexture.get();
        for (size_t i = 0; i < count; ++i) {
            store.mask[i] = rgb[3 * i];
            store.monoTexture[i] = greyOf(rgb + 3 * i);
        }
    } else {
        std::swap(m_texture, store.monoTexture);
        std::memcpy(store.mask.get(), store.monoTexture.get(), count);
        m_demosaicer->demosaic(store.monoTexture.get(), store.rgbTexture.get());
        fillMosaicEdges(store.monoTexture.get(), store.rgbTexture.get(), header.width, header.height);
        m_demosaicer->smoothColor(store.rgbTexture.get());
    }
    m_demosaicer->filter.maskedGaussianSmooth(store.phase.get(), store.mask.get(), 3);
    store.frameKind = PtvFrame;
}
