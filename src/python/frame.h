#pragma once

#include "data/scan_frame_store.h"
#include "python/store_shelf.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>

namespace py = pybind11;

// One frame of a scan as Python holds it: a store of its own, read once and shared with nothing,
// so the arrays handed out stay valid for as long as they live. Views of the store's buffers keep
// the frame alive; computed arrays own their memory. Triangulating, measuring and saving release
// the GIL, and the frame's lock keeps two threads off the store at once.
struct Region;

class Frame {
  public:
    // A frame of a sequence goes back on its scan's shelf when Python lets go of it, if the scan
    // is still open.
    Frame(int32_t index, std::unique_ptr<ScanFrameStore> store, std::weak_ptr<StoreShelf> shelf = {});
    ~Frame();

    int32_t index() const { return m_index; }
    // The file the frame was read from, as an absolute path: a pickled frame is read again from it.
    const QString &path() const { return m_store->filePath; }
    int32_t width() const { return m_store->width; }
    int32_t height() const { return m_store->height; }
    const char *kind() const { return kindName(m_store->frameKind); }
    // "xyzm" for a finished frame, "pt" or "ptv" for a raw one, by its FrameKind.
    static const char *kindName(int32_t frameKind);

    // (H, W, 3) float32, NaN where nothing was measured, and (H, W) bool: computed together on first
    // use (a raw frame triangulated as a save triangulates it) and read-only from then on.
    py::array xyz();
    py::array valid();
    // (H, W) float32 depth along the axis of the camera that measured the frame, NaN where nothing
    // was measured; computed on first use.
    py::array depth();
    // Read-only views of the store: the colour texture, (H, W) for a grey capture, and the phase of a
    // raw frame (None for a finished one).
    py::array texture();
    py::object phase();
    // The points and colours of the valid pixels the region keeps (every one with none), row by row,
    // as new arrays.
    py::array points(const Region *region);
    py::array colors(const Region *region);
    // The point at column u, row v as (x, y, z), None where nothing was measured.
    py::object pointAt(int64_t u, int64_t v);
    // The facts File Info shows, measured over every pixel the region keeps, as numbers.
    py::dict facts(const Region *region);
    // Writes the frame as .xyzm, .pt or .ply, by the name's ending, cut to the region where one is
    // given (never a .pt, which keeps the raw phase).
    void save(const QString &path, const Region *region);

  private:
    // A view of one of the store's buffers that keeps this frame alive and cannot change it.
    py::array view(const py::dtype &type, std::vector<py::ssize_t> shape, std::vector<py::ssize_t> strides,
                   const void *data);
    void measure();
    // valid, and inside the region where one is set.
    py::array kept(const Region *region);

    int32_t m_index;
    std::unique_ptr<ScanFrameStore> m_store;
    std::weak_ptr<StoreShelf> m_shelf;
    std::mutex m_mutex;
    bool m_triangulated = false;
    py::object m_xyz;
    py::object m_valid;
    py::object m_depth;
};
