#include "sequence/sequence_depths.h"

#include "data/frame_source.h"
#include "data/scan_frame_store.h"
#include "geometry/depth_distribution.h"

#include "support/row_pool.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <new>

namespace {

// How much less the scan's thread counts than the others, as `nice` counts it.
constexpr int kBackgroundNice = 10;

} // namespace

bool measureSequenceDepths(const QString &path, const Region &region, SequenceDepths *out, QString *error,
                           const std::atomic<bool> *stop) {
    FrameSource source;
    if (!source.open(path, error))
        return false;
    ScanFrameStore frame{ScanFrameStore::NoFrame{}};
    DepthDistribution depths;
    const int32_t frames = source.framesFound();
    try {
        for (int32_t k = 0; k < frames; ++k) {
            if (stop && stop->load()) {
                error->clear();
                return false;
            }
            if (!source.readFrame(k, frame, error))
                return false;
            depths.add(frame, region);
        }
    } catch (const std::bad_alloc &) {
        *error = QStringLiteral("not enough memory to measure the depths of a %1 x %2 frame")
                     .arg(source.width())
                     .arg(source.height());
        return false;
    }
    if (!depths.fittedRange(&out->nearDepth, &out->farDepth)) {
        *error = region.isSet() ? QStringLiteral("the region keeps no point of any frame")
                                : QStringLiteral("no frame measures any depth");
        return false;
    }
    out->frames = frames;
    out->depths = depths.count();
    return true;
}

void SequenceDepthScan::start(const QString &path, const Region &region, Done done) {
    stop();
    m_stop = false;
    m_thread = std::thread([this, path, region, done = std::move(done)] {
        // Playback comes first: this thread takes the processor time the picture leaves, and never
        // the row workers the picture's passes wait for.
        setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), kBackgroundNice);
        RowPool::keepPassesOnThisThread();
        SequenceDepths depths;
        QString error;
        const bool measured = measureSequenceDepths(path, region, &depths, &error, &m_stop);
        if (!m_stop)
            done(measured, depths, error);
    });
}

void SequenceDepthScan::stop() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}
