#include "python/writers.h"

#include "data/measured_coordinates.h"
#include "data/pt_file.h"
#include "python/python_boundary.h"
#include "sample/sample_files.h"

#include <pybind11/numpy.h>

#include <QFileInfo>

#include <cmath>

namespace {

using Array8 = py::array_t<uint8_t, py::array::c_style | py::array::forcecast>;
using ArrayF = py::array_t<float, py::array::c_style | py::array::forcecast>;

void requireFrameSize(int64_t width, int64_t height) {
    QString error;
    if (!checkFrameSize(width, height, &error))
        throw py::value_error(error.toStdString());
}

} // namespace

void saveXyzm(const QString &path, const py::object &xyzIn, const py::object &textureIn) {
    const ArrayF xyz = ArrayF::ensure(xyzIn);
    if (!xyz || xyz.ndim() != 3 || xyz.shape(2) != 3)
        throw py::value_error("xyz must be an (H, W, 3) array of numbers");
    const int64_t height = xyz.shape(0), width = xyz.shape(1);
    requireFrameSize(width, height);
    Array8 rgb;
    const uint8_t *colours = nullptr;
    if (!textureIn.is_none()) {
        rgb = Array8::ensure(textureIn);
        // A grey texture is shown as that grey in all three channels.
        if (rgb && rgb.ndim() == 2)
            rgb = Array8::ensure(py::module_::import("numpy").attr("dstack")(py::make_tuple(rgb, rgb, rgb)));
        if (!rgb || rgb.ndim() != 3 || rgb.shape(0) != height || rgb.shape(1) != width || rgb.shape(2) != 3)
            throw py::value_error("texture must be an (H, W) or (H, W, 3) array the size of xyz");
        colours = rgb.data();
    }
    QString error;
    bool written = false;
    {
        py::gil_scoped_release release;
        written = writeMeasuredCoordinates(path, xyz.data(), colours, static_cast<int32_t>(width),
                                           static_cast<int32_t>(height), &error);
    }
    if (!written)
        raiseWriteError(path, error);
}

void writeSample(const QString &path, const QString &sceneName, int32_t width, int32_t height, int32_t frames,
                 float rate) {
    VirtualScanner::Scene scene = VirtualScanner::Studio;
    if (!sceneNamed(sceneName, &scene))
        throw py::value_error("scene takes studio, off-centre, centre-hole or approach");
    requireFrameSize(width, height);
    if (frames < 1 || !(rate > 0.0f) || !std::isfinite(rate))
        throw py::value_error("frames takes a count of at least 1 and rate a rate above 0");
    if (!writesSampleEnding(QFileInfo(path).suffix().toLower()))
        throw py::value_error((path + ": the name must end in .pt, .xyzm or .ptv").toStdString());
    QString error;
    bool written = false;
    {
        py::gil_scoped_release release;
        written = writeSample(path, width, height, frames, rate, &error, scene);
    }
    if (!written)
        raiseWriteError(path, error);
}
