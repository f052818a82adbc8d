#include "support/row_pool.h"

#include <algorithm>

namespace {

// Bands smaller than this cost more to hand over than they save.
constexpr int kMinRowsPerBand = 32;

} // namespace

RowPool &RowPool::instance() {
    static RowPool pool;
    return pool;
}

RowPool::RowPool() {
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    setThreadCount(std::min(cores, 8));
}

RowPool::~RowPool() {
    setThreadCount(1);
}

void RowPool::setThreadCount(int count) {
    count = std::max(1, count);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread &worker : m_workers)
        worker.join();
    m_workers.clear();
    m_stopping = false;
    m_threadCount = count;
    for (int i = 1; i < count; ++i)
        m_workers.emplace_back(&RowPool::workerLoop, this, i, m_generation);
}

void RowPool::run(int rows, void (*call)(void *, int, int), void *context) {
    const int bands = std::max(1, std::min(m_threadCount, rows / kMinRowsPerBand));
    if (bands == 1) {
        call(context, 0, rows);
        return;
    }
    std::lock_guard<std::mutex> pass(m_passMutex);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_call = call;
        m_context = context;
        m_rows = rows;
        m_bands = bands;
        m_pending = bands - 1;
        ++m_generation;
    }
    m_wake.notify_all();
    call(context, 0, rows / bands);
    std::unique_lock<std::mutex> lock(m_mutex);
    m_done.wait(lock, [this] { return m_pending == 0; });
}

// A worker starts from the pass in progress when it was made, so it never runs a finished one.
void RowPool::workerLoop(int index, unsigned seen) {
    for (;;) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait(lock, [&] { return m_stopping || m_generation != seen; });
        if (m_stopping)
            return;
        seen = m_generation;
        if (index >= m_bands)
            continue;
        const int first = static_cast<int>(static_cast<long long>(m_rows) * index / m_bands);
        const int end = static_cast<int>(static_cast<long long>(m_rows) * (index + 1) / m_bands);
        auto *call = m_call;
        void *context = m_context;
        lock.unlock();
        call(context, first, end);
        lock.lock();
        if (--m_pending == 0)
            m_done.notify_one();
    }
}
