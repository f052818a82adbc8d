#include "data/region.h"

#include "data/finite_points.h"
#include "data/scan_frame_store.h"

#include <cmath>

namespace {

QString number(float value) {
    return QString::number(static_cast<double>(value), 'g', 6);
}

QString triple(const QVector3D &v, const QString &separator) {
    return number(v.x()) + separator + number(v.y()) + separator + number(v.z());
}

} // namespace

Region Region::fromCorners(const QVector3D &a, const QVector3D &b, bool keepInside) {
    Region region;
    // Halved before adding, so that corners near the largest float still have a finite centre.
    region.centre = a / 2.0f + b / 2.0f;
    region.size = QVector3D(std::fabs(b.x() - a.x()), std::fabs(b.y() - a.y()), std::fabs(b.z() - a.z()));
    region.keepInside = keepInside;
    return region;
}

QString Region::problem(const QVector3D &centre, const QVector3D &size, const QVector3D &angles) {
    if (!isFinite(centre) || !isFinite(size) || !isFinite(angles))
        return QStringLiteral("every number of a region must be finite");
    if (!(size.x() > 0.0f && size.y() > 0.0f && size.z() > 0.0f))
        return QStringLiteral("the box has no volume: it must be longer than 0 along x, y and z");
    return {};
}

QMatrix4x4 Region::worldToBox() const {
    QMatrix4x4 m;
    m.scale(2.0f / size.x(), 2.0f / size.y(), 2.0f / size.z());
    m.rotate(-angles.x(), 1.0f, 0.0f, 0.0f);
    m.rotate(-angles.y(), 0.0f, 1.0f, 0.0f);
    m.rotate(-angles.z(), 0.0f, 0.0f, 1.0f);
    m.translate(-centre);
    return m;
}

QMatrix4x4 Region::boxToWorld() const {
    QMatrix4x4 m;
    m.translate(centre);
    m.rotate(angles.z(), 0.0f, 0.0f, 1.0f);
    m.rotate(angles.y(), 0.0f, 1.0f, 0.0f);
    m.rotate(angles.x(), 1.0f, 0.0f, 0.0f);
    m.scale(size / 2.0f);
    return m;
}

QString Region::describe() const {
    return (keepInside ? QStringLiteral("inside") : QStringLiteral("outside")) +
           QStringLiteral(" the box at (") + triple(centre, QStringLiteral(", ")) + QStringLiteral("), ") +
           triple(size, QStringLiteral(" x ")) + QStringLiteral(", turned (") +
           triple(angles, QStringLiteral(", ")) + QStringLiteral(") degrees");
}

RegionTest::RegionTest(const Region &region) : m_set(region.isSet()), m_inside(region.keepInside) {
    if (!m_set)
        return;
    const QMatrix4x4 m = region.worldToBox();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            m_rows[4 * r + c] = m(r, c);
}

bool RegionTest::keeps(const float *p) const {
    if (!isFinite(p))
        return false;
    if (!m_set)
        return true;
    bool inside = true;
    for (int r = 0; r < 3; ++r) {
        const float *row = m_rows + 4 * r;
        inside = inside && std::fabs(row[0] * p[0] + row[1] * p[1] + row[2] * p[2] + row[3]) <= 1.0f;
    }
    return inside == m_inside;
}

int64_t cutToRegion(ScanFrameStore &store, const Region &region) {
    const RegionTest test(region);
    int64_t kept = 0;
    for (int64_t i = 0; i < store.pixelCount; ++i) {
        if (!store.mask[i])
            continue;
        float *p = store.xyz.get() + 3 * i;
        if (test.keeps(p)) {
            ++kept;
            continue;
        }
        if (test.keepsAll())
            continue;
        store.mask[i] = 0;
        p[0] = p[1] = p[2] = 0.0f;
        uint8_t *colour = store.rgbTexture.get() + 3 * i;
        colour[0] = colour[1] = colour[2] = 0;
    }
    return kept;
}

bool keepsAnyPoint(const ScanFrameStore &store, const Region &region) {
    const RegionTest test(region);
    const bool fromPhase = store.frameKind != XyzmFrame;
    for (int64_t i = 0; i < store.pixelCount; ++i) {
        if (!store.mask[i])
            continue;
        if (!fromPhase && test.keeps(store.xyz.get() + 3 * i))
            return true;
        if (fromPhase &&
            test.keeps(store.phaseToCoordinate(static_cast<float>(i % store.width),
                                               static_cast<float>(i / store.width), store.phase[i])))
            return true;
    }
    return false;
}
