#include "cli/render_frames.h"

#include "cli/render_options.h"
#include "data/binary_file.h"
#include "data/frame_mesh.h"
#include "render/detail_level.h"
#include "video/video_writer.h"

#include <new>

bool RenderFrames::open(FrameSpan *span, QString *error) {
    return m_source.open(m_options.in, error) && fitFrameSpan(m_source, m_options.in, span, error) &&
           !(m_options.video && m_source.isSequence() && !VideoWriter::rateFits(m_source.frameRate(), error));
}

double RenderFrames::rate() const {
    return m_source.isSequence() ? static_cast<double>(m_source.frameRate()) : 1.0;
}

void RenderFrames::startFirst(const ViewState &view) {
    m_view = view;
    m_firstReady = std::async(std::launch::async, [this] {
        try {
            return build(m_options.span.first, m_first, &m_firstReason);
        } catch (const std::bad_alloc &) {
            m_firstReason =
                m_options.in + ": " + outOfMemoryMessage(m_first.frame.width, m_first.frame.height);
            return false;
        }
    });
}

bool RenderFrames::prepare(int32_t frame, MeshedFrame &next, QString *reason) {
    if (frame != m_options.span.first)
        return build(frame, next, reason);
    next = std::move(m_first);
    *reason = m_firstReason;
    return m_firstOk;
}

bool RenderFrames::build(int32_t frame, MeshedFrame &next, QString *reason) {
    if (!m_source.readFrame(frame, next.frame, reason)) {
        *reason = m_options.in + ": " + *reason;
        return false;
    }
    // A picture much smaller than the frame (a thumbnail) is drawn from as many samples as it shows,
    // taken from the first frame's framing, which the later ones keep.
    if (frame == m_options.span.first) {
        ScanFrameStore &first = next.frame;
        first.frameKind == XyzmFrame ? first.computeCoordinateStatistics() : first.computePhaseStatistics();
        ViewState framed = m_view;
        frameOn(first, framed);
        m_mesh.hideDepthJumps = m_options.hideJumps;
        m_mesh.depthJumpFactor = m_options.jumpFactor;
        m_mesh.stride = DetailLevel::screenStride(first, framed, m_options.picture);
    }
    buildMesh(next.frame, m_mesh, next.mesh);
    next.regionKeptNothing = m_options.region.isSet() && !keepsAnyPoint(next.frame, m_options.region);
    return true;
}
