#pragma once

#include <QMatrix4x4>
#include <QString>
#include <QVector3D>

#include <cstdint>

class ScanFrameStore;

// A box in the scan's coordinates that cuts everything down to what it keeps: the view, picks, the
// facts, saves and renders. Plain numbers, so that whoever keeps it (a session file, Python) copies
// or writes them as they are. The box stands at `centre` with edges `size` long along its own axes,
// turned by `angles` degrees about the scan's x axis, then its y axis, then its z axis. A box
// without volume (any size not above 0, or a number that is not finite) is no region: it keeps
// everything and costs nothing.
struct Region {
    QVector3D centre;
    QVector3D size;
    QVector3D angles;
    // What is kept: the points inside the box (faces included), or those outside it.
    bool keepInside = true;

    // The axis-aligned box between two opposite corners, given in any order.
    static Region fromCorners(const QVector3D &a, const QVector3D &b, bool keepInside = true);
    // Why these numbers make no box, or empty: each must be finite and each size above 0.
    static QString problem(const QVector3D &centre, const QVector3D &size, const QVector3D &angles);

    bool isSet() const { return problem(centre, size, angles).isEmpty(); }
    // From the scan's coordinates into the box's own, where the box is the cube from -1 to 1 on every
    // axis: the one test of the processor and the vertex program alike.
    QMatrix4x4 worldToBox() const;
    // Back from the box's coordinates to the scan's (its corners, for the outline in the view).
    QMatrix4x4 boxToWorld() const;
    // "inside the box at (x, y, z), w x h x d, turned (a, b, c) degrees", six digits a number.
    QString describe() const;

    bool operator==(const Region &other) const {
        return centre == other.centre && size == other.size && angles == other.angles &&
               keepInside == other.keepInside;
    }
    bool operator!=(const Region &other) const { return !(*this == other); }
};

// The region's test with its matrix worked out once, for loops over every pixel of a frame. A point
// that is not finite is never kept: it is no point of the surface, inside or out.
class RegionTest {
  public:
    explicit RegionTest(const Region &region);
    bool keepsAll() const { return !m_set; }
    bool keeps(const float *p) const;
    bool keeps(const QVector3D &p) const {
        const float q[3] = {p.x(), p.y(), p.z()};
        return keeps(q);
    }

  private:
    bool m_set = false;
    bool m_inside = true;
    float m_rows[12] = {};
};

// Marks every measured pixel of a finished frame (xyz present) whose point the region does not keep
// as unmeasured, as the scanner writes one: mask, point and colour 0. Returns the points left. A
// region not set leaves the frame alone.
int64_t cutToRegion(ScanFrameStore &store, const Region &region);
// Whether the region keeps any measured point of the frame (a raw frame is triangulated pixel by pixel
// until one is found).
bool keepsAnyPoint(const ScanFrameStore &store, const Region &region);
