#pragma once

#include "data/ptv_frame_decoder.h"
#include "data/ptv_reader.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <memory>

class ScanFrameStore;

// The frames of a scan file by their index in the file: a .ptv sequence frame by frame, decoded as
// playback decodes it, and a .pt or .xyzm file as its one frame, 0. One source feeds any number of
// stores, one at a time: the sequence file and the decoder's buffers are shared.
class FrameSource {
  public:
    FrameSource() = default;
    FrameSource(const FrameSource &) = delete;
    FrameSource &operator=(const FrameSource &) = delete;
    ~FrameSource();

    // Opens the file by its ending: a sequence's header is read and checked here, and a single
    // frame is read whole, so a broken file is told before any work starts. The XYZM reader's
    // outcome line goes to `xyzmLog` unless null.
    bool open(const QString &path, QString *error, std::FILE *xyzmLog = nullptr);
    bool isSequence() const { return m_file != nullptr; }
    // Frames the file should hold (a sequence's header count; 1 for a single frame) and those it
    // holds complete.
    int32_t frameCount() const { return isSequence() ? m_header.frameCount : 1; }
    int32_t framesFound() const { return isSequence() ? m_header.framesFound : 1; }
    // Frames per second of a sequence; 0 for a single frame.
    float frameRate() const { return isSequence() ? m_header.frameRate : 0.0f; }
    // Why the file holds fewer frames than its header promises, or empty.
    QString shortfall() const { return isSequence() ? shortSequenceMessage(m_header) : QString(); }
    // What open() learnt of every frame the file holds: their kind (a FrameKind), size and the
    // scanner's calibration, null for XYZM frames, which carry none.
    int32_t frameKind() const { return m_kind; }
    int32_t width() const { return m_width; }
    int32_t height() const { return m_height; }
    const CalibrationBlocks *calibration() const { return m_hasCalibration ? &m_calibration : nullptr; }
    // A sequence's header as open() read it.
    const PtvHeader &sequenceHeader() const { return m_header; }

    // Puts frame `frame` into the store, setting the store up for this file first where needed.
    // A frame that cannot be read is named in the error and leaves the store's frame whole.
    bool readFrame(int32_t frame, ScanFrameStore &store, QString *error);

  private:
    QString m_path;
    // A single frame, read by open() and handed over by the first readFrame.
    std::unique_ptr<ScanFrameStore> m_single;
    int32_t m_kind = 0;
    int32_t m_width = 0;
    int32_t m_height = 0;
    bool m_hasCalibration = false;
    CalibrationBlocks m_calibration;
    std::FILE *m_file = nullptr;
    PTVReader m_reader;
    PtvHeader m_header;
    PtvFrameDecoder m_decoder;
};
