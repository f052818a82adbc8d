#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Worker threads that share the rows of one frame pass (filters, mesh build). Each pass splits
// the rows into contiguous bands, one per thread; every band writes only its own rows, so the
// result is the same bit for bit whatever the number of threads. The threads start with the first
// pass that needs them and live as long as the process, so a playback tick starts none. A child of
// fork() has none of its parent's threads: it starts its own on its first pass.
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
    // The passes the calling thread starts from now on run on it alone, as with one thread: a job in
    // the background (a whole video's depths) then never holds the workers that playback waits for.
    static void keepPassesOnThisThread();
    int threadCount() const { return m_threadCount; }

    RowPool(const RowPool &) = delete;
    RowPool &operator=(const RowPool &) = delete;
    ~RowPool();

  private:
    // The threads of one process and everything they share.
    struct Crew {
        std::vector<std::thread> workers;
        std::mutex mutex;
        // One pass at a time: threads other than the caller's (an export's worker) may start passes too.
        std::mutex passMutex;
        std::condition_variable wake;
        std::condition_variable done;
        // The pass in progress, read by the workers under the mutex.
        unsigned generation = 0;
        int pending = 0;
        int bands = 0;
        int rows = 0;
        void (*call)(void *, int, int) = nullptr;
        void *context = nullptr;
        bool stopping = false;
        // In a forked child, the parent's crew: never joined nor freed, as its threads are not here.
        Crew *leftBehind = nullptr;
    };

    RowPool();
    void run(int rows, void (*call)(void *, int, int), void *context);
    void stopWorkers();
    static void workerLoop(Crew &crew, int index, unsigned seen);
    static void leaveParentCrew();

    int m_threadCount = 1;
    std::unique_ptr<Crew> m_crew;
};
