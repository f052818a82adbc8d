#pragma once

#include <pybind11/pybind11.h>

namespace py = pybind11;

// pelnor.Region: the box a frame's points, colours and facts can be cut to, as the viewer's Region
// panel and the tool's --region set it.
void bindRegion(py::module_ &module);
