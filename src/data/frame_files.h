#pragma once

#include "data/output_name.h"

#include <QString>

#include <cstdint>

class FrameSource;
class ScanFrameStore;

// Frames written one file each, as .xyzm, .pt or .ply by the ending of the name: what `pelnor
// convert` writes and what the viewer saves of a range of a sequence. A raw frame is triangulated
// for the formats of coordinates, as the viewer's Save does, and a PLY gets the coordinate mesh,
// without its depth jumps when they are hidden.
class FrameFiles {
  public:
    // The endings of the formats a frame file can take.
    static bool writesEnding(const QString &ending);

    explicit FrameFiles(const OutputName &name, bool hideDepthJumps = false, float depthJumpFactor = 5.0f);

    // Makes the frame in the store ready for its file.
    void shape(ScanFrameStore &store) const;
    // Writes the file of frame `frame`; the reason of a failure starts with the file's path.
    bool write(int32_t frame, ScanFrameStore &store, QString *error) const;
    // Reads frames first to last of the source and writes their files, the next frame read and
    // shaped while one is written. Stops at the first failure: `written` files, those of the frames
    // before it, are complete.
    bool writeFrames(FrameSource &source, int32_t first, int32_t last, int32_t *written,
                     QString *error) const;

  private:
    OutputName m_name;
    QString m_ending;
    bool m_hideDepthJumps;
    float m_depthJumpFactor;
};
