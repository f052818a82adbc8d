#include "data/frame_pipeline.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// One store's turn: filled by the worker, then emptied by the caller.
struct Slot {
    bool full = false;
    bool ok = false;
    QString reason;
};

} // namespace

bool FramePipeline::run(int32_t first, int32_t last, const Stage &prepare, const Stage &consume,
                        QString *error) {
    std::mutex mutex;
    std::condition_variable changed;
    Slot turns[2];
    bool stopping = false;

    std::thread worker([&] {
        for (int32_t frame = first; frame <= last; ++frame) {
            const int s = (frame - first) % 2;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return stopping || !turns[s].full; });
                if (stopping)
                    return;
            }
            QString reason;
            const bool ok = prepare(frame, m_stores[s], &reason);
            {
                std::lock_guard<std::mutex> lock(mutex);
                turns[s].full = true;
                turns[s].ok = ok;
                turns[s].reason = reason;
            }
            changed.notify_all();
            if (!ok)
                return;
        }
    });

    bool ok = true;
    QString reason;
    for (int32_t frame = first; frame <= last && ok; ++frame) {
        const int s = (frame - first) % 2;
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return turns[s].full; });
            ok = turns[s].ok;
            reason = turns[s].reason;
        }
        if (ok)
            ok = consume(frame, m_stores[s], &reason);
        {
            std::lock_guard<std::mutex> lock(mutex);
            turns[s].full = false;
            stopping = !ok;
        }
        changed.notify_all();
    }
    worker.join();
    if (!ok && error)
        *error = reason;
    return ok;
}
