#pragma once

#include "data/frame_source.h"
#include "data/scan_frame_store.h"

#include <QString>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

// A decoded frame as the cache hands it out: shared, never changed once made, so a view, a
// comparison and the cache may hold the same frame at once without a copy.
using SharedFrame = std::shared_ptr<const ScanFrameStore>;

// The frames of one scan file by index, for a front end that shows many of them over time (the
// viewer, and whatever compares frames). Frames come from the file's FrameSource, with the
// statistics of each computed, and stay in a cache bounded by a budget in bytes. A worker thread
// decodes the frames playback will want next; frames behind the play head stay for as long as the
// budget allows, so stepping back reads nothing. When room is needed the frame farthest from what
// playback wants goes first.
class FrameSequence {
  public:
    // A quarter of the memory the machine has available, at most 1 GiB.
    static int64_t defaultBudget();

    explicit FrameSequence(int64_t budgetBytes = defaultBudget());
    FrameSequence(const FrameSequence &) = delete;
    FrameSequence &operator=(const FrameSequence &) = delete;
    ~FrameSequence();

    // Opens the file (FrameSource::open). A file that cannot be opened leaves the sequence as it was.
    bool open(const QString &path, QString *error, std::FILE *xyzmLog = nullptr);
    const QString &path() const { return m_path; }
    bool isOpen() const { return !m_path.isEmpty(); }

    // What the file holds, as its source says (frame_source.h).
    bool isSequence() const { return m_source->isSequence(); }
    int32_t frameCount() const { return m_source->frameCount(); }
    int32_t framesFound() const { return m_source->framesFound(); }
    float frameRate() const { return m_source->frameRate(); }
    QString shortfall() const { return m_source->shortfall(); }
    int32_t frameKind() const { return m_source->frameKind(); }
    int32_t width() const { return m_source->width(); }
    int32_t height() const { return m_source->height(); }

    // Frame `index`, from the cache or read now on the calling thread. A sequence whose file has
    // changed size since its header was read reads the header again first and forgets what it
    // held, so a file cut short behind the cache is told as at once as without one. Null, with the
    // reason, for a frame that cannot be read.
    SharedFrame frame(int32_t index, QString *error);
    // Frame `index` when it is in the cache, else null; reads nothing.
    SharedFrame cached(int32_t index) const;
    // The frames playback will want next, in the order it will want them, the one on screen first.
    // The worker decodes those not held, while that leaves room for frames behind the play head.
    void readAhead(std::vector<int32_t> upcoming);
    // Reads the header again (a resumed or a paused sequence follows a file that grew or was cut
    // short, or was written anew); what the cache held is forgotten when the file changed. False,
    // with the reason, when the file can no longer be read as the sequence it was: its frames must
    // keep their size.
    bool followFile(QString *error);

    // The frames the file holds now, read from its header without following it; -1, with the
    // reason, when the header cannot be read.
    int32_t framesOnDisk(QString *error) const;

    // The budget in bytes; a smaller one lets frames go at once.
    void setBudget(int64_t bytes);
    int64_t budget() const;
    // Bytes of the frames held.
    int64_t bytesHeld() const;
    int32_t framesHeld() const;
    // Frames read from the file since the sequence was opened, by either thread.
    int64_t framesDecoded() const;

  private:
    using Store = std::shared_ptr<ScanFrameStore>;

    // Reads frame `index` into `into` (a store let go by the cache, or a new one), with its
    // statistics. Called with the source lock held.
    bool decode(int32_t index, Store &into, QString *error);
    // Makes room for one more frame by letting go of frames farther than `index`; the buffers of
    // one that nobody else holds come back for the decode. False when every frame held is nearer.
    // Called with the cache lock held.
    bool makeRoom(int32_t index, Store &buffer);
    // Puts a decoded frame in the cache and lets the farthest frames go until the budget holds;
    // `keep` is never let go. Called with the cache lock held.
    void insert(int32_t index, Store frame, int32_t keep);
    // How far a frame is from what playback wants: its place among the frames wanted next, else
    // past them by its distance from the play head.
    int64_t distance(int32_t index) const;
    void evictUntil(int64_t bytes, int32_t keep);
    // Forgets every frame when the file changed size since the frames were read; called with both
    // locks held.
    void forgetIfChanged();
    // Forgets every frame; called with the cache lock held.
    void forget();
    void startWorker();
    void stopWorker();
    void workerLoop();

    QString m_path;
    // The file, read by one thread at a time; replaced whole, under both locks, when it is followed.
    std::unique_ptr<FrameSource> m_source = std::make_unique<FrameSource>();
    mutable std::mutex m_sourceMutex;
    // Size and time of change of the file when its header was read last, and when the frames held
    // were read: a file changed behind the cache is noticed.
    std::pair<int64_t, int64_t> m_headerStamp{-1, -1};
    std::pair<int64_t, int64_t> m_framesStamp{-1, -1};

    mutable std::mutex m_cacheMutex;
    std::condition_variable m_wake;
    std::map<int32_t, Store> m_frames;
    int64_t m_bytes = 0;
    // What one frame of the file takes, learnt from the first one read.
    int64_t m_frameBytes = 0;
    int64_t m_budget = 0;
    int64_t m_decoded = 0;
    int32_t m_head = 0;
    std::vector<int32_t> m_upcoming;
    // Frames the worker could not read; asked again only when playback asks again.
    std::set<int32_t> m_failed;
    // Moves on with every open and every change of the file, so a decode begun before is dropped.
    uint64_t m_generation = 0;
    bool m_stopping = false;
    std::thread m_worker;
};
