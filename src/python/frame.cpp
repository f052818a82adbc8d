#include "python/frame.h"

#include "data/frame_files.h"
#include "data/measured_coordinates.h"
#include "data/ply_file.h"
#include "data/pt_file.h"
#include "data/region.h"
#include "data/xyzm_file.h"
#include "geometry/depth_maps.h"
#include "geometry/file_info_rows.h"
#include "geometry/frame_camera.h"
#include "geometry/measured_point.h"
#include "python/python_boundary.h"

#include <QFileInfo>

Frame::Frame(int32_t index, std::unique_ptr<ScanFrameStore> store, std::weak_ptr<StoreShelf> shelf)
    : m_index(index), m_store(std::move(store)), m_shelf(std::move(shelf)) {}

Frame::~Frame() {
    if (const std::shared_ptr<StoreShelf> shelf = m_shelf.lock())
        shelf->put(std::move(m_store));
}

const char *Frame::kindName(int32_t frameKind) {
    return frameKind == XyzmFrame ? "xyzm" : frameKind == PtFrame ? "pt" : "ptv";
}

py::array Frame::view(const py::dtype &type, std::vector<py::ssize_t> shape, std::vector<py::ssize_t> strides,
                      const void *data) {
    py::array array(type, std::move(shape), std::move(strides), data,
                    py::cast(this, py::return_value_policy::reference));
    array.attr("setflags")(py::arg("write") = false);
    return array;
}

void Frame::measure() {
    if (m_xyz)
        return;
    const py::ssize_t h = height(), w = width();
    py::array_t<float> xyz({h, w, py::ssize_t(3)});
    py::array_t<bool> valid({h, w});
    float *points = xyz.mutable_data();
    uint8_t *kept = reinterpret_cast<uint8_t *>(valid.mutable_data());
    {
        py::gil_scoped_release release;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_triangulated && m_store->frameKind != XyzmFrame)
            m_store->computeCoordinatesFromPhase();
        m_triangulated = true;
        measuredCoordinates(*m_store, points, kept);
    }
    xyz.attr("setflags")(py::arg("write") = false);
    valid.attr("setflags")(py::arg("write") = false);
    // Another thread may have measured meanwhile; every caller gets the same arrays.
    if (!m_xyz) {
        m_xyz = xyz;
        m_valid = valid;
    }
}

py::array Frame::xyz() {
    measure();
    return m_xyz;
}

py::array Frame::valid() {
    measure();
    return m_valid;
}

py::array Frame::texture() {
    const py::ssize_t h = height(), w = width();
    const uint8_t *rgb = m_store->rgbTexture.get();
    // A grey capture's texture is its grey byte repeated in all three channels.
    if (m_store->frameKind == PtFrame && !m_store->colorTexture && m_store->mosaicCode < 0)
        return view(py::dtype::of<uint8_t>(), {h, w}, {3 * w, 3}, rgb);
    return view(py::dtype::of<uint8_t>(), {h, w, 3}, {3 * w, 3, 1}, rgb);
}

py::object Frame::phase() {
    if (m_store->frameKind == XyzmFrame)
        return py::none();
    const py::ssize_t h = height(), w = width(), size = sizeof(float);
    return view(py::dtype::of<float>(), {h, w}, {w * size, size}, m_store->phase.get());
}

py::array Frame::kept(const Region *region) {
    measure();
    if (!region || !region->isSet())
        return m_valid;
    py::array_t<bool> inside({py::ssize_t(height()), py::ssize_t(width())});
    bool *out = inside.mutable_data();
    const float *points = m_xyz.cast<py::array_t<float>>().data();
    const int64_t n = m_store->pixelCount;
    {
        // Points not measured are NaN, which no region keeps.
        py::gil_scoped_release release;
        const RegionTest test(*region);
        for (int64_t i = 0; i < n; ++i)
            out[i] = test.keeps(points + 3 * i);
    }
    return inside;
}

py::array Frame::depth() {
    if (m_depth)
        return m_depth;
    py::array_t<float> depth({py::ssize_t(height()), py::ssize_t(width())});
    float *out = depth.mutable_data();
    {
        py::gil_scoped_release release;
        std::lock_guard<std::mutex> lock(m_mutex);
        depthImage(*m_store, out);
    }
    depth.attr("setflags")(py::arg("write") = false);
    if (!m_depth)
        m_depth = depth;
    return m_depth;
}

py::array Frame::points(const Region *region) {
    return xyz()[kept(region)].cast<py::array>();
}

py::array Frame::colors(const Region *region) {
    const py::ssize_t h = height(), w = width();
    return view(py::dtype::of<uint8_t>(), {h, w, 3}, {3 * w, 3, 1}, m_store->rgbTexture.get())[kept(region)]
        .cast<py::array>();
}

py::object Frame::pointAt(int64_t u, int64_t v) {
    requirePixel(u, v, width(), height());
    std::optional<QVector3D> p;
    {
        // Another thread may hold the frame for a whole triangulation: wait without the GIL.
        py::gil_scoped_release release;
        std::lock_guard<std::mutex> lock(m_mutex);
        p = measuredPoint(*m_store, static_cast<int>(u), static_cast<int>(v));
    }
    if (!p)
        return py::none();
    return py::make_tuple(p->x(), p->y(), p->z());
}

py::dict Frame::facts(const Region *region, bool noise) {
    SurfaceFacts facts;
    float temporalNoise = NAN;
    std::pair<int32_t, int32_t> window;
    QString error;
    bool video = true;
    {
        py::gil_scoped_release release;
        std::lock_guard<std::mutex> lock(m_mutex);
        facts = m_store->measureSurface(region ? *region : Region());
        if (noise) {
            FrameSource source;
            DepthFrames frames(source);
            if (source.open(m_store->filePath, &error)) {
                video = source.isSequence() && source.framesFound() >= 2;
                window = frameWindow(m_index, kNoiseWindow, source.framesFound());
                temporalNoise = video ? medianNoise(frames, m_index, kNoiseWindow, &error) : NAN;
            }
        }
    }
    if (!video)
        throw py::value_error("facts(noise=True) needs a 3D video of two frames or more");
    if (!error.isEmpty())
        raiseReadError(m_store->filePath, error);
    const auto range = [&](int axis) { return py::make_tuple(facts.min[axis], facts.max[axis]); };
    py::dict out;
    out["width"] = width();
    out["height"] = height();
    out["pixels"] = m_store->pixelCount;
    out["valid"] = facts.validCount;
    out["x_range"] = range(0);
    out["y_range"] = range(1);
    out["z_range"] = range(2);
    out["center_of_mass"] = py::make_tuple(facts.mean.x(), facts.mean.y(), facts.mean.z());
    if (noise) {
        out["noise"] = temporalNoise;
        out["noise_frames"] = py::make_tuple(window.first, window.second);
    }
    return out;
}

void Frame::save(const QString &path, const Region *region) {
    const QString ending = QFileInfo(path).suffix().toLower();
    if (!FrameFiles::writesEnding(ending))
        throw py::value_error((path + ": the name must end in .xyzm, .pt or .ply").toStdString());
    const Region cut = region ? *region : Region();
    if (cut.isSet() && !FrameFiles::cutsToRegion(ending))
        throw py::value_error(
            (path + ": a .pt keeps the raw phase of the whole frame, which no region applies to")
                .toStdString());
    QString error;
    bool written = false, empty = false;
    {
        py::gil_scoped_release release;
        std::lock_guard<std::mutex> lock(m_mutex);
        empty = cut.isSet() && !keepsAnyPoint(*m_store, cut);
        written = FrameFiles::saveFrame(path, *m_store, MeshSettings(), cut, &error);
    }
    // An empty file is written as asked, and said: a script must see it.
    if (written && empty &&
        PyErr_WarnEx(PyExc_UserWarning,
                     (path + QStringLiteral(": the region keeps no point of frame %1").arg(m_index))
                         .toUtf8()
                         .constData(),
                     1) < 0)
        throw py::error_already_set();
    // Only a finished frame refuses a writer; every other failure is the disk's.
    if (!written && ending == QLatin1String("pt") && m_store->frameKind == XyzmFrame)
        throw py::value_error((path + ": " + error).toStdString());
    if (!written)
        raiseWriteError(path, error);
}
