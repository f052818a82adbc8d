#include "data/frame_pipeline.h"

#include "data/binary_file.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

namespace {

// One store's turn: filled by the worker, then emptied by the caller.
struct Slot {
    bool full = false;
    bool ok = false;
    QString reason;
};

// Runs one stage so that nothing it throws leaves its thread: a frame too large for the memory
// left stops the run with the readers' message, on the worker as on the calling thread.
bool runStage(const FramePipeline::Stage &stage, int32_t frame, MeshedFrame &meshed, QString *reason) {
    try {
        return stage(frame, meshed, reason);
    } catch (const std::bad_alloc &) {
        *reason = outOfMemoryMessage(meshed.frame.width, meshed.frame.height);
    } catch (const std::exception &e) {
        *reason = QString::fromLocal8Bit(e.what());
    }
    return false;
}

} // namespace

MeshedFrame &FramePipeline::slot(int index) {
    std::unique_ptr<MeshedFrame> &held = m_slots[index];
    if (!held)
        held = std::make_unique<MeshedFrame>();
    return *held;
}

bool FramePipeline::run(int32_t first, int32_t last, const Stage &prepare, const Stage &consume,
                        QString *error) {
    QString reason;
    // One frame has nothing to overlap: one store, and no thread to start.
    if (first == last) {
        MeshedFrame &only = slot(0);
        const bool ok = runStage(prepare, first, only, &reason) && runStage(consume, first, only, &reason);
        if (!ok && error)
            *error = reason;
        return ok;
    }
    MeshedFrame *stores[2] = {&slot(0), &slot(1)};
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
            QString why;
            const bool ok = runStage(prepare, frame, *stores[s], &why);
            {
                std::lock_guard<std::mutex> lock(mutex);
                turns[s].full = true;
                turns[s].ok = ok;
                turns[s].reason = why;
            }
            changed.notify_all();
            if (!ok)
                return;
        }
    });
    // Whatever ends the run, the worker is told to stop and joined before the stores go.
    struct StopAndJoin {
        std::mutex &mutex;
        std::condition_variable &changed;
        bool &stopping;
        std::thread &worker;
        ~StopAndJoin() {
            {
                std::lock_guard<std::mutex> lock(mutex);
                stopping = true;
            }
            changed.notify_all();
            worker.join();
        }
    } stopAndJoin{mutex, changed, stopping, worker};

    bool ok = true;
    for (int32_t frame = first; frame <= last && ok; ++frame) {
        const int s = (frame - first) % 2;
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return turns[s].full; });
            ok = turns[s].ok;
            reason = turns[s].reason;
        }
        if (ok)
            ok = runStage(consume, frame, *stores[s], &reason);
        {
            std::lock_guard<std::mutex> lock(mutex);
            turns[s].full = false;
            stopping = !ok;
        }
        changed.notify_all();
    }
    if (!ok && error)
        *error = reason;
    return ok;
}
