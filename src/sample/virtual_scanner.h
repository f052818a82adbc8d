#pragma once

#include "data/calibration.h"

#include <cstdint>
#include <vector>

// One frame as the virtual scanner sees it, with the truth it was made from.
struct SyntheticCapture {
    int32_t width = 0;
    int32_t height = 0;
    CalibrationBlocks calibration;
    std::vector<float> phase;      // projector row of each measured point, 0 elsewhere
    std::vector<uint8_t> mosaic;   // RGGB camera image, 0 exactly where nothing was measured
    std::vector<uint8_t> rgb;      // the surface colour behind each pixel, 0 where nothing was measured
    std::vector<float> xyz;        // the surface point behind each pixel, (0, 0, 0) where none
    std::vector<uint8_t> measured; // 1 where the camera sees a surface that the projector lights
    std::vector<uint8_t> surface;  // which shape of the scene a measured pixel sees, from 1; 0 elsewhere
};

// A structured-light scanner made of numbers: a camera at the origin looking along +z and a
// projector 180 units below it, tilted up to the scene, filming smooth shapes in front of a void.
// The phase of a pixel is the projector row that lights the surface point the pixel sees, so
// triangulating it with the calibration gives that point back.
class VirtualScanner {
  public:
    // Studio: shapes around the optical axis in front of a tilted backdrop. OffCentre: one shape
    // 170 units to the right of the axis, nothing behind it. CentreHole: the studio with a dark
    // patch at the image centre where nothing is measured. Approach: a flat disc facing the camera
    // comes nearer by kApproachSpeed units a second (for kApproachSeconds, then goes back) in front
    // of a still wall, and every phase carries the noise of a real camera, kPhaseNoise projector
    // rows (standard deviation), new at every frame.
    enum Scene { Studio, OffCentre, CentreHole, Approach };
    static constexpr double kApproachSpeed = 30.0;
    static constexpr double kApproachSeconds = 4.0;
    static constexpr double kPhaseNoise = 0.1;

    VirtualScanner(int32_t width, int32_t height, Scene scene = Studio);

    // The scene at the given time in seconds: the shapes turn and breathe as time goes on.
    SyntheticCapture capture(double time) const;
    const CalibrationBlocks &calibration() const { return m_calibration; }

  private:
    int32_t m_width;
    int32_t m_height;
    Scene m_scene;
    double m_camera[3][4];
    double m_projector[3][4];
    double m_projectorCentre[3];
    CalibrationBlocks m_calibration;
};
