#pragma once

#include <QMatrix3x3>
#include <QString>
#include <QVector3D>

#include <cstdint>
#include <memory>
#include <vector>

struct Region;

// Frame kinds: where the frame in the store came from.
enum FrameKind : int32_t { XyzmFrame = 0, PtFrame = 1, PtvFrame = 2 };

// Facts of the measured surface: the measured pixels with a finite point, the exact extremes of
// their points and their mean; all zero when nothing was measured.
struct SurfaceFacts {
    int64_t validCount = 0;
    QVector3D min;
    QVector3D max;
    QVector3D mean;
};

// The record of one frame: its pixel buffers, the scanner's calibration, the statistics the camera
// is placed from, and the file it came from. Plain public members; the operations in src/geometry/
// work on them in place. How a mesh is built from it and how it is drawn are the builders' and the
// renderer's business: nothing of either is kept here, so a frame once read can be shared, unchanged,
// by a cache, a view and whatever compares frames.
class ScanFrameStore {
  public:
    ScanFrameStore();
    // A store that holds no frame yet (0 x 0, no buffers), for one a load or a decode fills at once:
    // it spares the zero-filled start-up frame of the viewer's own store.
    struct NoFrame {};
    explicit ScanFrameStore(NoFrame);

    // Allocates each absent buffer at the size for the current pixelCount; present buffers stay.
    void allocateFrameBuffers();
    // Releases every buffer, so nothing of the old frame survives.
    void releaseFrameBuffers();
    // Exchanges the frame with another store's: size, kind and buffers. Calibration, statistics and
    // file identity stay where they are.
    void swapFrame(ScanFrameStore &other);
    // A copy of the whole record, buffers and all, for a frame that is shared and must be changed
    // (triangulated for a save, say). Throws std::bad_alloc where the memory is not there.
    ScanFrameStore duplicate() const;

    // Calibration (calibration.cpp). Each takes the first of 12, 12, 9, 9, 5 and 5 doubles.
    void setCameraProjection(const double *values);
    void setProjectorProjection(const double *values);
    void setCameraMatrix(const double *values);
    void setProjectorMatrix(const double *values);
    void setCameraCoefficients(const double *values);
    void setProjectorCoefficients(const double *values);

    // Triangulation (triangulation.cpp), single precision throughout.
    QVector3D phaseToCoordinate(float u, float v, float phase) const;
    // Its z alone, the same to the bit, at a third of the cost.
    float phaseToDepth(float u, float v, float phase) const;
    // The point at (u, v) with the mean phase of the valid pixels of the 4 x 4 window there,
    // clipped to the frame; not finite when the window holds no valid pixel with a finite phase.
    QVector3D triangulateAveraged(float u, float v) const;
    // Fills xyz for the whole frame, allocating it where absent (a sequence frame holds none until
    // asked); pixels without a measurement get (0, 0, 0). Throws std::bad_alloc where the memory is
    // not there.
    void computeCoordinatesFromPhase();
    static QMatrix3x3 inverse3x3(const QMatrix3x3 &e);

    // Statistics (geometry_statistics.cpp): bounding box and centre of mass of the frame. The box's
    // x and y extents lie across the axis of the frame's camera (frameCamera), its z range along z.
    void computeCoordinateStatistics();
    void computePhaseStatistics();
    void resetStatistics();
    // Every measured pixel, not a sample (surface_facts.cpp); phase frames are triangulated on the
    // worker threads. The framing estimates above stay the view's own.
    SurfaceFacts measureSurface() const;
    // The same over the points the region keeps.
    SurfaceFacts measureSurface(const Region &region) const;
    // The z of every measured pixel where it is finite and the region keeps the point, NaN elsewhere:
    // pixelCount values into `z` (the depths the colour ramps follow, for their percentiles:
    // depth_distribution.h).
    void measureDepths(float *z, const Region &region) const;

    // Statistics
    QVector3D boundingBoxMin;
    QVector3D boundingBoxMax;
    QVector3D boundingBoxSize;
    QVector3D centerOfMass;

    // Single-precision calibration, the working copy for triangulation and the vertex program.
    QVector3D m_Tc;
    QVector3D m_Tp;
    QMatrix3x3 m_Ac;
    QMatrix3x3 m_Ap;

    // File identity
    QString fileName;
    QString filePath;

    // Calibration exactly as the last header held it, written back when saving a PT file.
    double cameraProjection[12] = {};
    double projectorProjection[12] = {};
    double cameraMatrix[9] = {};
    double projectorMatrix[9] = {};
    double cameraCoefficients[5] = {};
    double projectorCoefficients[5] = {};

    // Frame
    int32_t width = 640;
    int32_t height = 480;
    int32_t pixelCount = 640 * 480;
    int32_t frameKind = XyzmFrame;
    uint8_t colorTexture = 0;
    // How the one-byte texture of a PT frame is to be read: 0 or more a colour mosaic,
    // negative plain grey. Kept so that saving gives the same frame back.
    int32_t mosaicCode = 1;

    std::unique_ptr<uint8_t[]> rgbTexture;
    std::unique_ptr<uint8_t[]> monoTexture;
    std::unique_ptr<uint8_t[]> mask;
    std::unique_ptr<float[]> xyz;
    std::unique_ptr<float[]> phase;
};
