#include "support/row_pool.h"

#include <pthread.h>

#include <algorithm>
#include <functional>

namespace {

// Bands smaller than this cost more to hand over than they save.
constexpr int kMinRowsPerBand = 32;

// Set once the pool is whole, for the handler fork() runs in the child.
RowPool *g_pool = nullptr;

thread_local bool t_passesAlone = false;

} // namespace

RowPool &RowPool::instance() {
    static RowPool pool;
    return pool;
}

RowPool::RowPool() : m_crew(std::make_unique<Crew>()) {
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    m_threadCount = std::min(cores, 8);
    g_pool = this;
    pthread_atfork(nullptr, nullptr, &RowPool::leaveParentCrew);
}

RowPool::~RowPool() {
    g_pool = nullptr;
    stopWorkers();
}

// The child of fork() runs on the forking thread alone: the parent's workers do not exist in it, and
// the locks and wait states they held stay as they were for good. Joining or destroying their
// threads there would fail, so the child leaves the parent's crew untouched and gathers its own on
// its first pass.
void RowPool::leaveParentCrew() {
    if (!g_pool)
        return;
    auto crew = std::make_unique<Crew>();
    crew->leftBehind = g_pool->m_crew.release();
    g_pool->m_crew = std::move(crew);
}

void RowPool::stopWorkers() {
    Crew &crew = *m_crew;
    {
        std::lock_guard<std::mutex> lock(crew.mutex);
        crew.stopping = true;
    }
    crew.wake.notify_all();
    for (std::thread &worker : crew.workers)
        worker.join();
    crew.workers.clear();
    crew.stopping = false;
}

void RowPool::setThreadCount(int count) {
    std::lock_guard<std::mutex> pass(m_crew->passMutex);
    stopWorkers();
    m_threadCount = std::max(1, count);
}

void RowPool::keepPassesOnThisThread() {
    t_passesAlone = true;
}

void RowPool::run(int rows, void (*call)(void *, int, int), void *context) {
    const int bands = std::max(1, std::min(m_threadCount, rows / kMinRowsPerBand));
    if (bands == 1 || t_passesAlone) {
        call(context, 0, rows);
        return;
    }
    Crew &crew = *m_crew;
    std::lock_guard<std::mutex> pass(crew.passMutex);
    for (int i = static_cast<int>(crew.workers.size()) + 1; i < m_threadCount; ++i)
        crew.workers.emplace_back(&RowPool::workerLoop, std::ref(crew), i, crew.generation);
    {
        std::lock_guard<std::mutex> lock(crew.mutex);
        crew.call = call;
        crew.context = context;
        crew.rows = rows;
        crew.bands = bands;
        crew.pending = bands - 1;
        ++crew.generation;
    }
    crew.wake.notify_all();
    call(context, 0, rows / bands);
    std::unique_lock<std::mutex> lock(crew.mutex);
    crew.done.wait(lock, [&crew] { return crew.pending == 0; });
}

// A worker starts from the pass in progress when it was made, so it never runs a finished one.
void RowPool::workerLoop(Crew &crew, int index, unsigned seen) {
    for (;;) {
        std::unique_lock<std::mutex> lock(crew.mutex);
        crew.wake.wait(lock, [&] { return crew.stopping || crew.generation != seen; });
        if (crew.stopping)
            return;
        seen = crew.generation;
        if (index >= crew.bands)
            continue;
        const int first = static_cast<int>(static_cast<long long>(crew.rows) * index / crew.bands);
        const int end = static_cast<int>(static_cast<long long>(crew.rows) * (index + 1) / crew.bands);
        auto *call = crew.call;
        void *context = crew.context;
        lock.unlock();
        call(context, first, end);
        lock.lock();
        if (--crew.pending == 0)
            crew.done.notify_one();
    }
}
