#pragma once

#include "data/frame_mesh.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

// Overlaps the two halves of an export. `prepare` (read, decode, build the mesh) runs on a worker
// thread one frame ahead of `consume` (draw, encode, write) on the calling thread; two frames with
// their meshes take turns, so the worker fills one while the caller uses the other. The worker thread
// lives for one run, and the frames keep their buffers from frame to frame. A run of one frame starts
// no thread.
class FramePipeline {
  public:
    // A stage gets the frame's index and what holds (or is to hold) it; false stops the run with a
    // reason.
    using Stage = std::function<bool(int32_t frame, MeshedFrame &meshed, QString *error)>;

    // Runs frames first to last, in order. Stops at the first failure of either stage: frames before
    // it have been consumed, none after it is; the reason goes to error. A stage that runs out of
    // memory fails with the readers' "not enough memory" message.
    bool run(int32_t first, int32_t last, const Stage &prepare, const Stage &consume, QString *error);

  private:
    // Made when a run first needs them: a single frame takes one.
    MeshedFrame &slot(int index);
    std::unique_ptr<MeshedFrame> m_slots[2];
};
