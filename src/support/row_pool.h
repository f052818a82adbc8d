#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

// Worker threads that share the rows of one frame pass (filters, mesh build). Each pass splits
// the rows into contiguous bands, one per thread; every band writes only its own rows, so the
// result is the same bit for bit whatever the number of threads. The threads live as long as the
// process, so a playback tick starts none.
class RowPool {
  public:
    static RowPool &instance();

    // Runs work(firstRow, endRow) over the bands of [0, rows) and returns when all are done.
    template <typename Work> void forRows(int rows, Work &&work) {
        run(
            rows, [](void *context, int first, int end) { (*static_cast<Work *>(context))(first, end); },
            &work);
    }
    // Threads used per pass, the calling one included; 1 runs everything on the calling thread.
    void setThreadCount(int count);
    int threadCount() const { return m_threadCount; }

    RowPool(const RowPool &) = delete;
    RowPool &operator=(const RowPool &) = delete;
    ~RowPool();

  private:
    RowPool();
    void run(int rows, void (*call)(void *, int, int), void *context);
    void workerLoop(int index, unsigned seen);

    int m_threadCount = 1;
    std::vector<std::thread> m_workers;
    std::mutex m_mutex;
    // One pass at a time: threads other than the caller's (an export's worker) may start passes too.
    std::mutex m_passMutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    // The pass in progress, read by the workers under the mutex.
    unsigned m_generation = 0;
    int m_pending = 0;
    int m_bands = 0;
    int m_rows = 0;
    void (*m_call)(void *, int, int) = nullptr;
    void *m_context = nullptr;
    bool m_stopping = false;
};
