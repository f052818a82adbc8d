#include "data/frame_source.h"

#include "data/calibration.h"
#include "data/pt_file.h"
#include "data/scan_format.h"
#include "data/scan_frame_store.h"

FrameSource::~FrameSource() {
    m_reader.closeStream(m_file);
}

bool FrameSource::open(const QString &path, QString *error, std::FILE *xyzmLog) {
    m_reader.closeStream(m_file);
    m_path = path;
    m_single.reset();
    if (scanFormatOf(path) != ScanFormat::Ptv) {
        auto single = std::make_unique<ScanFrameStore>(ScanFrameStore::NoFrame{});
        if (!loadFrameFile(*single, path, error, nullptr, xyzmLog))
            return false;
        m_kind = single->frameKind;
        m_width = single->width;
        m_height = single->height;
        m_hasCalibration = m_kind != XyzmFrame;
        m_calibration = storedCalibration(*single);
        m_single = std::move(single);
        return true;
    }
    if (!m_reader.openStream(path, m_file, error))
        return false;
    if (!m_reader.readHeader(m_file, m_header, error)) {
        m_reader.closeStream(m_file);
        return false;
    }
    m_kind = PtvFrame;
    m_width = m_header.width;
    m_height = m_header.height;
    m_hasCalibration = true;
    m_calibration = m_header.calibration;
    return true;
}

bool FrameSource::readFrame(int32_t frame, ScanFrameStore &store, QString *error) {
    if (!isSequence()) {
        if (frame != 0) {
            if (error)
                *error = QStringLiteral("frame %1 is not in the file, which holds one frame, 0").arg(frame);
            return false;
        }
        if (m_single) {
            store = std::move(*m_single);
            m_single.reset();
            return true;
        }
        return loadFrameFile(store, m_path, error);
    }
    // A store set up for another file or size gets this sequence's calibration and buffers.
    if (store.frameKind != PtvFrame || store.width != m_header.width || store.height != m_header.height ||
        !store.phase || !store.monoTexture) {
        if (!beginPtvSequence(store, m_header, error))
            return false;
    }
    if (!m_decoder.decodeFrame(m_file, m_header, frame, store, error)) {
        const QString shortBy = shortfall();
        if (error && frame >= m_header.framesFound && !shortBy.isEmpty())
            *error += QStringLiteral(" (%1)").arg(shortBy);
        return false;
    }
    return true;
}
