#pragma once

#include "data/frame_files.h"
#include "data/frame_source.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

class LoopRange;

// Writes the frames of a loop range, one file each, on a thread of its own while the window goes on:
// as in `pelnor convert`, the pipeline's worker reads and shapes the next frame while this thread
// writes one. A cancel stops before the next file; every file written is whole, as each goes through
// a temporary file renamed into place.
class RangeSave : public QObject {
    Q_OBJECT

  public:
    explicit RangeSave(QObject *parent = nullptr);
    // Cancels, and waits for the file being written.
    ~RangeSave() override;

    // Starts writing frames first to last of the sequence at `path` (the range as the file holds it
    // now) through `files`, named as `name` numbers them. False, with the reason in `said`, when the
    // sequence cannot be opened or a save still runs.
    bool start(const QString &path, const LoopRange &range, const OutputName &name, const FrameFiles &files,
               QString *said);
    bool isRunning() const { return m_thread.joinable(); }
    // The frames of the save running, or of the last one.
    int32_t first() const { return m_first; }
    int32_t last() const { return m_last; }

  public slots:
    void cancel() { m_cancelled = true; }

  signals:
    // Sent from the saving thread after each file written.
    void progressed(int written);
    // The save has ended: what it wrote, and whether that is the whole range.
    void finished(const QString &said, bool saved);

  private:
    void run(const OutputName &name, const FrameFiles &files);

    std::unique_ptr<FrameSource> m_source;
    std::thread m_thread;
    std::atomic<bool> m_cancelled{false};
    int32_t m_first = 0;
    int32_t m_last = -1;
};
