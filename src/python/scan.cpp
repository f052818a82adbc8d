#include "python/scan.h"

#include "geometry/depth_maps.h"
#include "python/python_boundary.h"

#include <pybind11/numpy.h>

#include <QFileInfo>

Scan::Scan(const QString &path) : m_path(path), m_absolutePath(QFileInfo(path).absoluteFilePath()) {
    QString error;
    bool opened = false;
    {
        py::gil_scoped_release release;
        opened = m_source.open(path, &error);
    }
    if (!opened)
        raiseReadError(path, error);
    if (m_source.isSequence())
        m_shelf = std::make_shared<StoreShelf>();
}

py::object Scan::calibration() const {
    const CalibrationBlocks *blocks = m_source.calibration();
    if (!blocks)
        return py::none();
    const auto projection = [](const double *values) {
        py::array_t<double> matrix({3, 4});
        std::copy(values, values + 12, matrix.mutable_data());
        return matrix;
    };
    py::dict out;
    out["camera"] = projection(blocks->cameraProjection);
    out["projector"] = projection(blocks->projectorProjection);
    return std::move(out);
}

std::unique_ptr<Frame> Scan::frame(int64_t index) {
    const int64_t at = index < 0 ? index + size() : index;
    if (at < 0 || at >= size()) {
        QString message =
            QStringLiteral("frame %1 is not in the file, which holds %2 frames").arg(index).arg(size());
        if (!shortfall().isEmpty())
            message += " (" + shortfall() + ")";
        throw py::index_error(message.toStdString());
    }
    std::unique_ptr<ScanFrameStore> store;
    QString error;
    bool read = false;
    {
        py::gil_scoped_release release;
        if (m_shelf)
            store = m_shelf->take();
        if (!store)
            store = std::make_unique<ScanFrameStore>(ScanFrameStore::NoFrame{});
        std::lock_guard<std::mutex> lock(m_mutex);
        read = m_source.readFrame(static_cast<int32_t>(at), *store, &error);
    }
    if (!read)
        raiseReadError(m_path, error);
    // The frame reads its neighbours from the file for its noise.
    store->filePath = m_absolutePath;
    return std::make_unique<Frame>(static_cast<int32_t>(at), std::move(store), m_shelf);
}

py::array Scan::series(int64_t u, int64_t v, int window, const py::slice &frames) {
    requirePixel(u, v, width(), height());
    if (window < 1 || window % 2 == 0)
        throw py::value_error("window takes an odd number of pixels, 1 or more");
    py::ssize_t first = 0, end = 0, step = 0, count = 0;
    if (!frames.compute(size(), &first, &end, &step, &count))
        throw py::error_already_set();
    py::array_t<float> depths(count);
    float *out = depths.mutable_data();
    QString error;
    bool read = true;
    {
        // A source of its own: the scan stays free for other threads while the series is read.
        py::gil_scoped_release release;
        FrameSource source;
        DepthFrames reader(source);
        const std::vector<QPoint> pixel{QPoint(int(u), int(v))};
        read = source.open(m_path, &error) &&
               (count == 0 || reader.series(
                                  pixel, window, int32_t(first), int32_t(first + count - 1),
                                  [&out](int32_t, const float *value) {
                                      *out++ = *value;
                                      return true;
                                  },
                                  &error));
    }
    if (!read)
        raiseReadError(m_path, error);
    return depths;
}

std::unique_ptr<Frame> FrameIterator::next() {
    if (m_left <= 0)
        throw py::stop_iteration();
    std::unique_ptr<Frame> frame = m_scan.cast<Scan &>().frame(m_next);
    m_next += m_step;
    --m_left;
    return frame;
}
