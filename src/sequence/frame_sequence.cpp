#include "sequence/frame_sequence.h"

#include "data/binary_file.h"
#include "data/scan_frame_store.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <new>
#include <string>

namespace {

// What the buffers of a frame take.
int64_t frameBytes(const ScanFrameStore &frame) {
    const int64_t n = frame.pixelCount;
    return n * ((frame.phase ? 4 : 0) + (frame.monoTexture ? 1 : 0) + (frame.rgbTexture ? 3 : 0) +
                (frame.mask ? 1 : 0) + (frame.xyz ? 12 : 0));
}

// Size and time of the last change, to the nanosecond where the file system keeps it.
std::pair<int64_t, int64_t> fileStamp(const QString &path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {-1, -1};
    return {static_cast<int64_t>(status.st_size),
            static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
}

// The frames the worker decodes ahead take at most this share of the budget, so that frames behind
// the play head stay for stepping back.
constexpr int64_t kAheadShare = 2;

} // namespace

int64_t FrameSequence::defaultBudget() {
    constexpr int64_t kMost = int64_t(1) << 30;
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    int64_t kib = 0;
    while (meminfo >> key >> kib) {
        if (key == "MemAvailable:")
            return std::min(kMost, kib * 1024 / 4);
        meminfo.ignore(256, '\n');
    }
    return kMost / 4;
}

FrameSequence::FrameSequence(int64_t budgetBytes) : m_budget(std::max<int64_t>(0, budgetBytes)) {}

FrameSequence::~FrameSequence() {
    stopWorker();
}

bool FrameSequence::open(const QString &path, QString *error, std::FILE *xyzmLog) {
    stopWorker();
    auto opened = std::make_unique<FrameSource>();
    const auto stamp = fileStamp(path);
    if (!opened->open(path, error, xyzmLog))
        return false;
    const std::lock_guard<std::mutex> source(m_sourceMutex);
    const std::lock_guard<std::mutex> cache(m_cacheMutex);
    m_source = std::move(opened);
    m_path = path;
    m_headerStamp = m_framesStamp = stamp;
    forget();
    m_frameBytes = 0;
    m_decoded = 0;
    m_head = 0;
    m_upcoming.clear();
    return true;
}

bool FrameSequence::decode(int32_t index, Store &into, QString *error) {
    try {
        if (!into)
            into = std::make_shared<ScanFrameStore>(ScanFrameStore::NoFrame{});
    } catch (const std::bad_alloc &) {
        if (error)
            *error = outOfMemoryMessage(width(), height());
        return false;
    }
    if (!m_source->readFrame(index, *into, error))
        return false;
    if (into->frameKind == XyzmFrame)
        into->computeCoordinateStatistics();
    else
        into->computePhaseStatistics();
    into->filePath = m_path;
    into->fileName = QFileInfo(m_path).fileName();
    return true;
}

void FrameSequence::forgetIfChanged() {
    if (!isSequence())
        return;
    const auto stamp = fileStamp(m_path);
    if (stamp != m_framesStamp) {
        forget();
        m_framesStamp = stamp;
    }
}

SharedFrame FrameSequence::frame(int32_t index, QString *error) {
    {
        const std::lock_guard<std::mutex> cache(m_cacheMutex);
        m_head = index;
        forgetIfChanged();
        const auto held = m_frames.find(index);
        if (held != m_frames.end())
            return held->second;
    }
    const std::lock_guard<std::mutex> source(m_sourceMutex);
    Store buffer;
    {
        // The worker may have read it while this thread waited for the file.
        const std::lock_guard<std::mutex> cache(m_cacheMutex);
        forgetIfChanged();
        const auto held = m_frames.find(index);
        if (held != m_frames.end())
            return held->second;
        makeRoom(index, buffer);
    }
    if (!decode(index, buffer, error))
        return nullptr;
    const std::lock_guard<std::mutex> cache(m_cacheMutex);
    ++m_decoded;
    m_failed.erase(index);
    insert(index, buffer, index);
    return buffer;
}

SharedFrame FrameSequence::cached(int32_t index) const {
    const std::lock_guard<std::mutex> lock(m_cacheMutex);
    const auto held = m_frames.find(index);
    return held == m_frames.end() ? nullptr : held->second;
}

void FrameSequence::readAhead(std::vector<int32_t> upcoming) {
    {
        const std::lock_guard<std::mutex> lock(m_cacheMutex);
        if (!upcoming.empty())
            m_head = upcoming.front();
        m_upcoming = std::move(upcoming);
        m_failed.clear();
    }
    if (!isSequence())
        return;
    startWorker();
    m_wake.notify_one();
}

bool FrameSequence::followFile(QString *error) {
    if (!isSequence())
        return true;
    const std::lock_guard<std::mutex> source(m_sourceMutex);
    const auto stamp = fileStamp(m_path);
    if (stamp == m_headerStamp)
        return true;
    auto reopened = std::make_unique<FrameSource>();
    bool read = reopened->open(m_path, error);
    if (read && (reopened->width() != width() || reopened->height() != height() ||
                 reopened->frameKind() != frameKind())) {
        read = false;
        if (error)
            *error = QStringLiteral("the file has changed since it was opened");
    }
    const std::lock_guard<std::mutex> cache(m_cacheMutex);
    forget();
    if (!read)
        return false;
    m_source = std::move(reopened);
    m_headerStamp = m_framesStamp = stamp;
    return true;
}

int32_t FrameSequence::framesOnDisk(QString *error) const {
    FrameSource now;
    return now.open(m_path, error) ? now.framesFound() : -1;
}

void FrameSequence::setBudget(int64_t bytes) {
    const std::lock_guard<std::mutex> lock(m_cacheMutex);
    m_budget = std::max<int64_t>(0, bytes);
    evictUntil(m_budget, -1);
}

int64_t FrameSequence::budget() const {
    const std::lock_guard<std::mutex> lock(m_cacheMutex);
    return m_budget;
}

int64_t FrameSequence::bytesHeld() const {
    const std::lock_guard<std::mutex> lock(m_cacheMutex);
    return m_bytes;
}

int32_t FrameSequence::framesHeld() const {
    const std::lock_guard<std::mutex> lock(m_cacheMutex);
    return static_cast<int32_t>(m_frames.size());
}

int64_t FrameSequence::framesDecoded() const {
    const std::lock_guard<std::mutex> lock(m_cacheMutex);
    return m_decoded;
}

int64_t FrameSequence::distance(int32_t index) const {
    const auto wanted = std::find(m_upcoming.begin(), m_upcoming.end(), index);
    if (wanted != m_upcoming.end())
        return wanted - m_upcoming.begin();
    return static_cast<int64_t>(m_upcoming.size()) + std::abs(int64_t(index) - m_head);
}

bool FrameSequence::makeRoom(int32_t index, Store &buffer) {
    const int64_t each = m_frameBytes > 0 ? m_frameBytes : 1;
    const int64_t near = distance(index);
    while (m_bytes + each > m_budget && !m_frames.empty()) {
        auto farthest = m_frames.begin();
        for (auto it = m_frames.begin(); it != m_frames.end(); ++it)
            if (distance(it->first) > distance(farthest->first))
                farthest = it;
        if (distance(farthest->first) <= near)
            return false;
        m_bytes -= frameBytes(*farthest->second);
        // A frame nobody else holds lends its buffers to the next decode, which then allocates nothing.
        if (!buffer && farthest->second.use_count() == 1)
            buffer = std::move(farthest->second);
        m_frames.erase(farthest);
    }
    return true;
}

void FrameSequence::insert(int32_t index, Store frame, int32_t keep) {
    const auto held = m_frames.find(index);
    if (held != m_frames.end()) {
        m_bytes -= frameBytes(*held->second);
        m_frames.erase(held);
    }
    m_frameBytes = frameBytes(*frame);
    m_bytes += m_frameBytes;
    m_frames.emplace(index, std::move(frame));
    evictUntil(m_budget, keep);
}

void FrameSequence::evictUntil(int64_t bytes, int32_t keep) {
    while (m_bytes > bytes && !m_frames.empty()) {
        auto farthest = m_frames.end();
        for (auto it = m_frames.begin(); it != m_frames.end(); ++it)
            if (it->first != keep &&
                (farthest == m_frames.end() || distance(it->first) > distance(farthest->first)))
                farthest = it;
        if (farthest == m_frames.end())
            return;
        m_bytes -= frameBytes(*farthest->second);
        m_frames.erase(farthest);
    }
}

void FrameSequence::forget() {
    ++m_generation;
    m_frames.clear();
    m_failed.clear();
    m_bytes = 0;
}

void FrameSequence::startWorker() {
    if (m_worker.joinable())
        return;
    m_stopping = false;
    m_worker = std::thread(&FrameSequence::workerLoop, this);
}

void FrameSequence::stopWorker() {
    {
        const std::lock_guard<std::mutex> lock(m_cacheMutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

void FrameSequence::workerLoop() {
    std::unique_lock<std::mutex> lock(m_cacheMutex);
    while (!m_stopping) {
        // The nearest wanted frame not held, within the share of the budget that reading ahead takes.
        const int64_t each = m_frameBytes > 0 ? m_frameBytes : 1;
        const int64_t ahead = m_budget / each / kAheadShare;
        int32_t next = -1;
        for (size_t i = 0; i < m_upcoming.size() && static_cast<int64_t>(i) < ahead; ++i) {
            const int32_t k = m_upcoming[i];
            if (!m_frames.count(k) && !m_failed.count(k) && k >= 0 && k < framesFound()) {
                next = k;
                break;
            }
        }
        Store buffer;
        if (next < 0 || !makeRoom(next, buffer)) {
            m_wake.wait(lock);
            continue;
        }
        const uint64_t generation = m_generation;
        const auto stamp = m_framesStamp;
        lock.unlock();
        QString error;
        bool decoded = false;
        {
            const std::lock_guard<std::mutex> source(m_sourceMutex);
            // A file changed behind the cache is the player's to notice: it reads the frame itself.
            decoded = fileStamp(m_path) == stamp && decode(next, buffer, &error);
        }
        lock.lock();
        if (generation != m_generation)
            continue;
        if (!decoded) {
            m_failed.insert(next);
            continue;
        }
        ++m_decoded;
        insert(next, std::move(buffer), next);
    }
}
