#pragma once

#include "data/calibration.h"

#include <QString>

#include <cstdint>
#include <cstdio>

// Header of a PTV sequence: the PT header's fields with the frame rate and count after the
// capture time, 457 bytes; frames follow with no header of their own, frame k at 457 + k x F.
struct PtvHeader {
    static constexpr int kSize = 457;
    static constexpr int kCalibrationOffset = 41;

    int32_t version = 1;
    char captureTime[16] = {};
    float frameRate = 0.0f;
    int32_t frameCount = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint8_t colorTexture = 0;
    int32_t mosaicCode = 1; // read and not used: every one-byte frame is a mosaic
    CalibrationBlocks calibration;
    // Complete frames the file really holds: the frame count, or fewer when the file is short.
    int32_t framesFound = 0;

    int64_t pixelCount() const { return static_cast<int64_t>(width) * height; }
    int64_t textureBytes() const { return pixelCount() * (colorTexture ? 3 : 1); }
    int64_t frameSize() const { return 4 * pixelCount() + textureBytes(); }
    int64_t frameOffset(int32_t frame) const { return kSize + frame * frameSize(); }
};

// Reads PTV sequences. Keeps no state; the caller owns the open file.
class PTVReader {
  public:
    bool openStream(const QString &path, std::FILE *&file, QString *error) const;
    // Reads and checks the header, and counts the complete frames the file holds. Fails on a
    // version other than 1, a bad frame size, rate or count, or a file without a complete frame.
    bool readHeader(std::FILE *file, PtvHeader &header, QString *error) const;
    // Reads one frame from the current position: pixelCount floats of phase, then pixelCount
    // texture bytes (three times as many when colorTexture is non-zero).
    bool readFrame(std::FILE *file, float *phase, uint8_t *texture, uint8_t colorTexture,
                   int32_t pixelCount) const;
    void closeStream(std::FILE *&file) const;
};

// The frame playback shows after `counter`: frames 1 to N - 1 in a loop, frame 0 never, except
// that a sequence of one frame shows that frame.
int32_t nextPtvFrame(int32_t counter, int32_t frameCount);

// A message for a sequence shorter than its header promises, or empty when it is complete.
QString shortSequenceMessage(const PtvHeader &header);
