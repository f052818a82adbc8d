#pragma once

#include "data/frame_source.h"
#include "python/frame.h"

#include <pybind11/pybind11.h>

#include <QString>

#include <memory>
#include <mutex>

namespace py = pybind11;

// An open scan file as Python holds it: the core's FrameSource, which every frame read from the file
// shares, behind a lock, so that threads may read the same scan. Reading releases the GIL.
class Scan {
  public:
    // Opens the file (raising the error its failure calls for) and reads its header.
    explicit Scan(const QString &path);

    const QString &path() const { return m_path; }
    // The path as it stood when the scan was opened, whatever folder another process works in: what
    // a pickled scan, and every frame read from it, carries.
    const QString &absolutePath() const { return m_absolutePath; }
    // Frames the file holds; a sequence cut short holds fewer than its header promises.
    int32_t size() const { return m_source.framesFound(); }
    int32_t promised() const { return m_source.frameCount(); }
    QString shortfall() const { return m_source.shortfall(); }
    int32_t width() const { return m_source.width(); }
    int32_t height() const { return m_source.height(); }
    float rate() const { return m_source.frameRate(); }
    const char *kind() const { return Frame::kindName(m_source.frameKind()); }
    // The camera and projector 3 x 4 projections, None for a finished frame's file.
    py::object calibration() const;

    // The frame at an index in the file; a negative index counts back from the end.
    std::unique_ptr<Frame> frame(int64_t index);

  private:
    QString m_path;
    QString m_absolutePath;
    FrameSource m_source;
    std::mutex m_mutex;
    // Null for a single frame, which is read once.
    std::shared_ptr<StoreShelf> m_shelf;
};

// Frames of a scan from `start` by `step`, read one at a time as the loop asks for them.
class FrameIterator {
  public:
    FrameIterator(py::object scan, py::ssize_t start, py::ssize_t step, py::ssize_t count)
        : m_scan(std::move(scan)), m_next(start), m_step(step), m_left(count) {}
    std::unique_ptr<Frame> next();

  private:
    py::object m_scan;
    py::ssize_t m_next;
    py::ssize_t m_step;
    py::ssize_t m_left;
};
