// The pelnor module: scan files, their frames as NumPy arrays, and the core's writers, for Python.
#include "data/region.h"
#include "python/python_boundary.h"
#include "python/region_binding.h"
#include "python/scan.h"
#include "python/writers.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <utility>

namespace {

std::string repr(const Scan &scan) {
    return QStringLiteral("<pelnor.Scan '%1': %2 %3 of %4 x %5, %6>")
        .arg(scan.path())
        .arg(scan.size())
        .arg(scan.size() == 1 ? "frame" : "frames")
        .arg(scan.width())
        .arg(scan.height())
        .arg(scan.kind())
        .toStdString();
}

FrameIterator frames(const py::object &self, const py::object &start, const py::object &stop,
                     const py::object &step) {
    py::ssize_t first = 0, end = 0, by = 0, count = 0;
    if (!py::reinterpret_steal<py::slice>(PySlice_New(start.ptr(), stop.ptr(), step.ptr()))
             .compute(self.cast<Scan &>().size(), &first, &end, &by, &count))
        throw py::error_already_set();
    return FrameIterator(self, first, by, count);
}

// scan[a:b:c], read at once: the frames frames(a, b, c) would give one at a time.
py::list frameList(Scan &scan, const py::slice &slice) {
    py::ssize_t first = 0, end = 0, by = 0, count = 0;
    if (!slice.compute(scan.size(), &first, &end, &by, &count))
        throw py::error_already_set();
    py::list out;
    for (py::ssize_t k = 0; k < count; ++k)
        out.append(py::cast(scan.frame(first + k * by)));
    return out;
}

} // namespace

// The compiled half of the pelnor package, whose __init__.py hands on every name.
PYBIND11_MODULE(_pelnor, m) {
    // Classes and functions take their module's name as they are made: pelnor, as users import them
    // (reprs, signatures, pickle).
    m.attr("__name__") = "pelnor";
    m.attr("__version__") = PELNOR_VERSION;
    m.doc() = "Structured-light scans (.xyzm, .pt, .ptv) as NumPy arrays: every frame of a 3D video by "
              "its index, triangulated by the same code as the Pelnor viewer and the pelnor tool.";

    static const py::handle shortWarning = PyErr_NewExceptionWithDoc(
        "pelnor.ShortSequenceWarning",
        "Warned when a sequence holds fewer frames than its header promises: len() counts the frames "
        "it holds.",
        PyExc_UserWarning, nullptr);
    m.attr("ShortSequenceWarning") = shortWarning;

    bindRegion(m);

    py::class_<Frame>(m, "Frame",
                      "One frame of a scan, read whole. Its arrays stay valid after the frame and the "
                      "scan are gone; the arrays of its properties are read-only (copy one to change it). "
                      "A frame pickles as its file's path and its index, and is read again from the file "
                      "where it is unpickled.")
        .def_property_readonly("index", &Frame::index, "Index of the frame in its file, from 0.")
        .def_property_readonly(
            "path", [](const Frame &frame) { return frame.path().toStdString(); },
            "The absolute path of the file the frame was read from.")
        .def_property_readonly("width", &Frame::width, "Frame width in pixels (columns).")
        .def_property_readonly("height", &Frame::height, "Frame height in pixels (rows).")
        .def_property_readonly("kind", &Frame::kind,
                               "'xyzm' for a finished frame of coordinates; 'pt' or 'ptv' for a raw frame "
                               "of phases, triangulated with the scanner's calibration.")
        .def_property_readonly("xyz", &Frame::xyz,
                               "(H, W, 3) float32 points in scene units, NaN where nothing was measured. "
                               "Equal bit for bit to what `pelnor convert` writes to .xyzm for the frame.")
        .def_property_readonly("valid", &Frame::valid, "(H, W) bool: measured, with a finite point.")
        .def_property_readonly("depth", &Frame::depth,
                               "(H, W) float32 depth along the axis of the camera that measured the frame "
                               "(its calibration's, or the camera fitted to a finished frame's grid of "
                               "points; z where none fits), NaN where nothing was measured.")
        .def_property_readonly("texture", &Frame::texture,
                               "(H, W, 3) uint8 colours as the viewer shows them; (H, W) for a grey capture.")
        .def_property_readonly("phase", &Frame::phase,
                               "(H, W) float32 phases of a raw frame (a sequence frame smoothed as playback "
                               "smooths it); None for a finished frame.")
        .def("points", &Frame::points, py::arg("region") = py::none(),
             "(N, 3) float32: the points of the valid pixels, row by row; with a Region, those it keeps.")
        .def("colors", &Frame::colors, py::arg("region") = py::none(),
             "(N, 3) uint8: the colours of the same pixels as points(region).")
        .def("point_at", &Frame::pointAt, py::arg("u"), py::arg("v"),
             "The point (x, y, z) measured at column u, row v, or None where nothing was measured. "
             "Raises IndexError for a pixel outside the frame.")
        .def("facts", &Frame::facts, py::arg("region") = py::none(),
             "The facts File Info shows, measured over every valid pixel (with a Region, every one it "
             "keeps): width, height, pixels, valid, x_range, y_range, z_range (each (min, max)) and "
             "center_of_mass.")
        .def(
            "save",
            [](Frame &frame, const py::object &path, const Region *region) {
                frame.save(pathArgument(path), region);
            },
            py::arg("path"), py::arg("region") = py::none(),
            "Writes the frame as .xyzm, .pt or .ply, by the name's ending, as the viewer's Save does; "
            "with a Region, only the points it keeps (a UserWarning when it keeps none). A finished "
            "frame holds no phase to write as .pt, and a .pt takes no region (ValueError); a file that "
            "cannot be written raises OSError.")
        // A frame travels to another process as its file and index, and is read again there.
        .def(py::pickle(
            [](const Frame &frame) { return py::make_tuple(frame.path().toStdString(), frame.index()); },
            [](const py::tuple &state) {
                Scan scan(pathArgument(state[0]));
                return scan.frame(state[1].cast<int64_t>());
            }))
        .def(
            "__repr__",
            [](const Frame &frame) {
                return QStringLiteral("<pelnor.Frame %1: %2 x %3, %4>")
                    .arg(frame.index())
                    .arg(frame.width())
                    .arg(frame.height())
                    .arg(frame.kind())
                    .toStdString();
            },
            "The frame's index, size and kind.");

    py::class_<FrameIterator>(m, "FrameIterator", "Frames of a scan, each read as the loop reaches it.")
        .def(
            "__iter__", [](py::object self) { return self; }, "The iterator itself.")
        .def("__next__", &FrameIterator::next, "The next frame, read now; StopIteration after the last.");

    py::class_<Scan>(m, "Scan",
                     "An open scan file: its frames by index, read and decoded when asked for. Made by "
                     "pelnor.open(). Threads may read the same scan; each read releases the GIL. A scan "
                     "pickles as its file's absolute path and is opened again where it is unpickled, "
                     "raising FileNotFoundError there if the file has gone.")
        .def_property_readonly(
            "path", [](const Scan &scan) { return scan.path().toStdString(); }, "The file's path.")
        .def("__len__", &Scan::size, "Frames the file holds (fewer than header_frame_count when cut short).")
        .def_property_readonly("header_frame_count", &Scan::promised,
                               "Frames the file's header promises; 1 for a single frame.")
        .def_property_readonly(
            "shortfall",
            [](const Scan &scan) -> py::object {
                if (scan.shortfall().isEmpty())
                    return py::none();
                return py::str(scan.shortfall().toStdString());
            },
            "Why the file holds fewer frames than its header promises, or None.")
        .def_property_readonly("width", &Scan::width, "Frame width in pixels.")
        .def_property_readonly("height", &Scan::height, "Frame height in pixels.")
        .def_property_readonly("rate", &Scan::rate,
                               "Frames per second of a sequence; 0.0 for a single frame.")
        .def_property_readonly("kind", &Scan::kind, "'xyzm', 'pt' or 'ptv': the kind of the file's frames.")
        .def_property_readonly("calibration", &Scan::calibration,
                               "{'camera': (3, 4), 'projector': (3, 4)} float64 projection matrices of "
                               "the scanner; None for an .xyzm file, which carries none.")
        .def("__getitem__", &Scan::frame, py::arg("index"),
             "The frame at an index in the file, from 0; a negative index counts back from the end. "
             "Raises IndexError outside the frames the file holds.")
        .def("__getitem__", &frameList, py::arg("indices"),
             "scan[start:stop:step]: a list of the frames scan.frames(start, stop, step) gives, every one "
             "read now; loop over scan.frames() to hold one frame at a time.")
        .def(
            "__iter__",
            [](const py::object &self) { return frames(self, py::none(), py::none(), py::none()); },
            "Every frame of the file, in order.")
        .def("frames", &frames, py::arg("start") = py::none(), py::arg("stop") = py::none(),
             py::arg("step") = py::none(),
             "The frames with the indices range(len(scan))[start:stop:step] would give, read one at a "
             "time as the loop reaches them.")
        .def("__repr__", &repr, "The file's path, frame count, size and kind.")
        // A scan travels to another process as its path, and is opened again there.
        .def(py::pickle(
            [](const Scan &scan) { return py::make_tuple(scan.absolutePath().toStdString()); },
            [](const py::tuple &state) { return std::make_unique<Scan>(pathArgument(state[0])); }));

    m.def(
        "open",
        [](const py::object &path) {
            auto scan = std::make_unique<Scan>(pathArgument(path));
            const QString shortBy = scan->shortfall();
            if (!shortBy.isEmpty() &&
                PyErr_WarnEx(shortWarning.ptr(), (scan->path() + ": " + shortBy).toUtf8().constData(), 1) < 0)
                throw py::error_already_set();
            return scan;
        },
        py::arg("path"),
        "Opens a .xyzm, .pt or .ptv file; a single frame is a scan of one. A sequence holding fewer "
        "frames than its header promises opens with the frames it holds and a ShortSequenceWarning. "
        "Raises FileNotFoundError, PermissionError or another OSError for a file that cannot be opened, "
        "and ValueError, saying what is wrong, for a broken one.");

    m.def(
        "save_xyzm",
        [](const py::object &path, const py::object &xyz, const py::object &texture) {
            saveXyzm(pathArgument(path), xyz, texture);
        },
        py::arg("path"), py::arg("xyz"), py::arg("texture") = py::none(),
        "Writes (H, W, 3) points as an .xyzm frame the viewer opens: a pixel with any coordinate "
        "not finite is written unmeasured. texture: None (white), (H, W) grey or (H, W, 3) uint8.");

    m.def(
        "sample",
        [](const py::object &path, const std::string &scene, std::pair<int32_t, int32_t> size, int32_t frames,
           float rate) {
            writeSample(pathArgument(path), QString::fromStdString(scene), size.first, size.second, frames,
                        rate);
        },
        py::arg("path"), py::arg("scene") = "studio", py::arg("size") = std::make_pair(640, 480),
        py::arg("frames") = 30, py::arg("rate") = 15.0f,
        "Writes a synthetic capture (.pt, .xyzm) or 3D video (.ptv) of the virtual scanner, as "
        "`pelnor sample` does. scene: 'studio', 'off-centre' or 'centre-hole'; size: (width, height).");

    m.attr("__name__") = "pelnor._pelnor";
}
