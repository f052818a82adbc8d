#pragma once

#include <QVector3D>

#include <cmath>

// A point with a coordinate that is not finite is no point of a surface: it never reaches a mesh,
// a statistic or an exported file.
inline bool isFinite(const float *p) {
    return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

inline bool isFinite(const QVector3D &p) {
    return std::isfinite(p.x()) && std::isfinite(p.y()) && std::isfinite(p.z());
}
