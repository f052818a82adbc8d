#include "data/frame_files.h"

#include "data/frame_pipeline.h"
#include "data/frame_source.h"
#include "data/ply_file.h"
#include "data/pt_file.h"
#include "data/scan_frame_store.h"
#include "data/xyzm_file.h"

bool FrameFiles::writesEnding(const QString &ending) {
    return ending == QLatin1String("xyzm") || ending == QLatin1String("pt") || ending == QLatin1String("ply");
}

FrameFiles::FrameFiles(const OutputName &name, bool hideDepthJumps, float depthJumpFactor)
    : m_name(name), m_ending(name.ending()), m_hideDepthJumps(hideDepthJumps),
      m_depthJumpFactor(depthJumpFactor) {}

void FrameFiles::shape(ScanFrameStore &store) const {
    if (m_ending != QLatin1String("pt") && store.frameKind != XyzmFrame)
        store.computeCoordinatesFromPhase();
    store.hideDepthJumps = m_hideDepthJumps;
    store.depthJumpFactor = m_depthJumpFactor;
    if (m_ending == QLatin1String("ply"))
        store.buildCoordinateMesh();
}

bool FrameFiles::write(int32_t frame, ScanFrameStore &store, QString *error) const {
    const QString path = m_name.pathFor(frame);
    // Numbered files make their folders; a single file's folder must be there.
    const bool written = readyFolderOf(path, m_name.numbered(), error) &&
                         (m_ending == QLatin1String("xyzm")
                              ? writeXYZMFile(path, store.xyz.get(), store.rgbTexture.get(), store.mask.get(),
                                              store.width, store.height, error, nullptr)
                          : m_ending == QLatin1String("pt") ? savePtFile(store, path, error)
                                                            : writePlyFile(path, store, error));
    if (!written && error)
        *error = path + ": " + *error;
    return written;
}

bool FrameFiles::writeFrames(FrameSource &source, int32_t first, int32_t last, int32_t *written,
                             QString *error) const {
    *written = 0;
    FramePipeline pipeline;
    return pipeline.run(
        first, last,
        [&](int32_t frame, ScanFrameStore &store, QString *reason) {
            if (!source.readFrame(frame, store, reason))
                return false;
            shape(store);
            return true;
        },
        [&](int32_t frame, ScanFrameStore &store, QString *reason) {
            if (!write(frame, store, reason))
                return false;
            ++*written;
            return true;
        },
        error);
}
