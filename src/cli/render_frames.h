#pragma once

#include "cli/render_values.h"
#include "data/frame_mesh.h"
#include "data/frame_source.h"
#include "render/view_state.h"

#include <QString>

#include <cstdint>
#include <future>

struct FrameSpan;
struct RenderOptions;

// The frames a render draws, each read, decoded and built into a mesh a frame ahead of the
// drawing: the first while OpenGL starts, the later ones on the export's worker thread.
class RenderFrames {
  public:
    explicit RenderFrames(const RenderOptions &options) : m_options(options) {}
    RenderFrames(const RenderFrames &) = delete;
    RenderFrames &operator=(const RenderFrames &) = delete;

    // Opens IN and fits `span` to the frames it holds; a rate no video can hold, and a colouring
    // the file cannot give (`misuse`), are told here, before any frame is drawn. False with the reason.
    bool open(FrameSpan *span, QString *error, bool *misuse);
    // The range of a colouring by value, fixed by open().
    const RenderValues &values() const { return m_values; }
    // Frames per second of the pictures: the file's, and a second for a single frame.
    double rate() const;
    // Starts preparing the first frame, seen from `view`, on a thread of its own.
    void startFirst(const ViewState &view);
    void waitForFirst() { m_firstOk = m_firstReady.get(); }
    // The export's first stage: frame `frame` into `next`, its mesh built.
    bool prepare(int32_t frame, MeshedFrame &next, QString *reason);

  private:
    bool build(int32_t frame, MeshedFrame &next, QString *reason);

    const RenderOptions &m_options;
    FrameSource m_source;
    RenderValues m_values{m_source, m_options};
    ViewState m_view;
    // Every frame is built at the first frame's stride.
    MeshSettings m_mesh;
    MeshedFrame m_first;
    QString m_firstReason;
    bool m_firstOk = false;
    // Last, so that a destructor waits for the first frame before anything it uses goes.
    std::future<bool> m_firstReady;
};
