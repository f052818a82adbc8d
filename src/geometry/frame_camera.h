#pragma once

#include <QMatrix3x3>
#include <QVector3D>

class ScanFrameStore;

// The camera that measured a frame, in the frame's own coordinates. A scan need not be saved in its
// camera's coordinates: a turntable's or a calibration board's frame moves and turns them, and a
// calibration may put its origin anywhere. What depends on the distance from the camera (the
// depth-jump rule, the level of detail, the framing) takes its depth from here: depth is z in the
// camera's coordinates, positive in front of it.
struct FrameCamera {
    // Calibration: a raw frame's camera projection. Fitted: a pinhole camera fitted to a finished
    // frame's grid of points. AlongZ: none was found; the camera is taken at the origin looking
    // along +z, as the frame's coordinates stand.
    enum Source { Calibration, Fitted, AlongZ };

    Source source = AlongZ;
    QVector3D centre;
    // The camera's own axes in the frame's coordinates, a right-handed turn: x, y (along the image's
    // rows, downwards) and z, the axis the camera looks along.
    QVector3D xAxis{1.0f, 0.0f, 0.0f};
    QVector3D yAxis{0.0f, 1.0f, 0.0f};
    QVector3D axis{0.0f, 0.0f, 1.0f};
    // Pixels per unit of the image plane at unit depth; 0 where unknown.
    float focalPixels = 0.0f;

    bool found() const { return source != AlongZ; }
    // The camera at the origin looking along +z with its rows along +y: depth is exactly z.
    bool atOrigin() const;
    float depth(const QVector3D &point) const;
    // depth() of `count` points given as separate coordinate arrays, the same bit for bit.
    void depths(const float *x, const float *y, const float *z, int count, float *out) const;
    // A point of the frame in the camera's coordinates.
    QVector3D toCamera(const QVector3D &point) const;
};

// The camera of the frame in the store: a raw frame's from its calibration; a finished frame's
// fitted to a sample of at most about 128 x 128 measured pixels, each of which looks along one ray
// of the camera (a projection matrix by linear least squares, refitted once without the pixels it
// explains worst). A fit that the points do not determine (too few, all on one plane, no
// perspective) or that puts points behind the camera finds none. A camera found within a
// thousandth of the origin and of the z axis is the origin's, so that a frame saved in its camera's
// coordinates keeps depth exactly z.
FrameCamera frameCamera(const ScanFrameStore &store);

// The focal length in pixels of the camera whose projection has the left 3 x 3 block `cameraBlock`:
// the geometric mean of its two focal lengths, from the first two rows' cross products with the
// third (any scale of the projection cancels).
double cameraFocalLength(const QMatrix3x3 &cameraBlock);
