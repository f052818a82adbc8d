#include "python/region_binding.h"

#include "data/region.h"

#include <pybind11/operators.h>
#include <pybind11/stl.h>

#include <array>

namespace {

using Triple = std::array<float, 3>;

QVector3D vector(const Triple &t) {
    return QVector3D(t[0], t[1], t[2]);
}

py::tuple triple(const QVector3D &v) {
    return py::make_tuple(v.x(), v.y(), v.z());
}

// A region from its numbers, or ValueError saying why they make none.
Region checked(const Region &region) {
    const QString problem = Region::problem(region.centre, region.size, region.angles);
    if (!problem.isEmpty())
        throw py::value_error(problem.toStdString());
    return region;
}

} // namespace

void bindRegion(py::module_ &module) {
    py::class_<Region>(module, "Region",
                       "A box in the scan's coordinates: the points inside it (faces included), or with "
                       "outside=True those outside it. Region(lo, hi) is the axis-aligned box between two "
                       "opposite corners; Region(centre=..., size=..., angles=...) a box turned by angles "
                       "degrees about the x axis, then the y axis, then the z axis (about its centre). "
                       "Raises ValueError for a box without volume or numbers that are not finite.")
        .def(py::init([](const py::object &lo, const py::object &hi, const py::object &centre,
                         const py::object &size, const Triple &angles, bool outside) {
                 const bool corners = !lo.is_none() && !hi.is_none(),
                            box = !centre.is_none() && !size.is_none();
                 if (corners == box ||
                     (corners ? !centre.is_none() || !size.is_none() : !lo.is_none() || !hi.is_none()))
                     throw py::type_error("Region takes two corners, lo and hi, or a centre and a size");
                 Region region =
                     corners ? Region::fromCorners(vector(lo.cast<Triple>()), vector(hi.cast<Triple>()))
                             : Region{vector(centre.cast<Triple>()), vector(size.cast<Triple>()), QVector3D(),
                                      true};
                 region.angles = vector(angles);
                 region.keepInside = !outside;
                 return checked(region);
             }),
             py::arg("lo") = py::none(), py::arg("hi") = py::none(), py::kw_only(),
             py::arg("centre") = py::none(), py::arg("size") = py::none(),
             py::arg("angles") = Triple{0.0f, 0.0f, 0.0f}, py::arg("outside") = false)
        .def_property_readonly(
            "centre", [](const Region &r) { return triple(r.centre); }, "The box's centre (x, y, z).")
        .def_property_readonly(
            "size", [](const Region &r) { return triple(r.size); }, "Its edges along its own axes.")
        .def_property_readonly(
            "angles", [](const Region &r) { return triple(r.angles); },
            "Degrees about the x, y and z axes, turned in that order.")
        .def_property_readonly(
            "outside", [](const Region &r) { return !r.keepInside; }, "True where the outside is kept.")
        .def(py::self == py::self)
        .def("__repr__",
             [](const Region &r) { return "<pelnor.Region: " + r.describe().toStdString() + ">"; });
}
