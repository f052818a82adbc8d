#pragma once

#include "data/region.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

// The depth range of a whole scan file, for one colour scale over every frame of a 3D video: the 1st
// to the 99th percentile of the measured depths of all its frames (depth_distribution.h).
struct SequenceDepths {
    float nearDepth = 0.0f;
    float farDepth = 0.0f;
    int32_t frames = 0;
    // Measured depths counted.
    int64_t depths = 0;
};

// Reads every frame the file holds through a FrameSource of its own (no cache is touched) and
// measures their depths (of the points the region keeps), on the calling thread. False with the reason when a
// frame cannot be read or none measures anything; false with an empty reason when `stop` turned true first.
bool measureSequenceDepths(const QString &path, const Region &region, SequenceDepths *out, QString *error,
                           const std::atomic<bool> *stop = nullptr);

// measureSequenceDepths on a thread of its own, for the viewer, which plays on meanwhile.
class SequenceDepthScan {
  public:
    // Called on the scan's thread when it ends: the range, or why there is none. Not called for
    // a scan stopped first.
    using Done = std::function<void(bool measured, const SequenceDepths &depths, const QString &error)>;

    SequenceDepthScan() = default;
    SequenceDepthScan(const SequenceDepthScan &) = delete;
    SequenceDepthScan &operator=(const SequenceDepthScan &) = delete;
    ~SequenceDepthScan() { stop(); }

    // Stops any scan still running, then scans `path`.
    void start(const QString &path, const Region &region, Done done);
    // Stops the scan after the frame being read and waits for it.
    void stop();

  private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
