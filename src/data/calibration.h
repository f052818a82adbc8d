#pragma once

class ScanFrameStore;

// The six calibration blocks in the order PT and PTV headers hold them (416 bytes).
struct CalibrationBlocks {
    double cameraProjection[12] = {};
    double projectorProjection[12] = {};
    double cameraMatrix[9] = {};
    double cameraCoefficients[5] = {};
    double projectorMatrix[9] = {};
    double projectorCoefficients[5] = {};
};
static_assert(sizeof(CalibrationBlocks) == 416, "calibration blocks are read and written as one block");

// Hands the blocks to the store's six setters in the order a load uses.
void applyCalibration(ScanFrameStore &store, const CalibrationBlocks &blocks);
// The store's double-precision calibration, as a save writes it.
CalibrationBlocks storedCalibration(const ScanFrameStore &store);
