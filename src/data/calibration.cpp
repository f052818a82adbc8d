#include "data/calibration.h"

#include "data/scan_frame_store.h"

#include <algorithm>

namespace {

// A 3 x 4 row-major projection split into its left block and its fourth column, narrowed to float.
void splitProjection(const double *p, QMatrix3x3 &a, QVector3D &t) {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            a(r, c) = static_cast<float>(p[4 * r + c]);
        t[r] = static_cast<float>(p[4 * r + 3]);
    }
}

} // namespace

void ScanFrameStore::setCameraProjection(const double *values) {
    std::copy(values, values + 12, cameraProjection);
    splitProjection(cameraProjection, m_Ac, m_Tc);
}

void ScanFrameStore::setProjectorProjection(const double *values) {
    std::copy(values, values + 12, projectorProjection);
    splitProjection(projectorProjection, m_Ap, m_Tp);
}

void ScanFrameStore::setCameraMatrix(const double *values) {
    std::copy(values, values + 9, cameraMatrix);
}

void ScanFrameStore::setProjectorMatrix(const double *values) {
    std::copy(values, values + 9, projectorMatrix);
}

void ScanFrameStore::setCameraCoefficients(const double *values) {
    std::copy(values, values + 5, cameraCoefficients);
}

void ScanFrameStore::setProjectorCoefficients(const double *values) {
    std::copy(values, values + 5, projectorCoefficients);
}

void applyCalibration(ScanFrameStore &store, const CalibrationBlocks &blocks) {
    store.setCameraProjection(blocks.cameraProjection);
    store.setProjectorProjection(blocks.projectorProjection);
    store.setCameraMatrix(blocks.cameraMatrix);
    store.setProjectorMatrix(blocks.projectorMatrix);
    store.setCameraCoefficients(blocks.cameraCoefficients);
    store.setProjectorCoefficients(blocks.projectorCoefficients);
}

CalibrationBlocks storedCalibration(const ScanFrameStore &store) {
    CalibrationBlocks blocks;
    std::copy(store.cameraProjection, store.cameraProjection + 12, blocks.cameraProjection);
    std::copy(store.projectorProjection, store.projectorProjection + 12, blocks.projectorProjection);
    std::copy(store.cameraMatrix, store.cameraMatrix + 9, blocks.cameraMatrix);
    std::copy(store.cameraCoefficients, store.cameraCoefficients + 5, blocks.cameraCoefficients);
    std::copy(store.projectorMatrix, store.projectorMatrix + 9, blocks.projectorMatrix);
    std::copy(store.projectorCoefficients, store.projectorCoefficients + 5, blocks.projectorCoefficients);
    return blocks;
}
