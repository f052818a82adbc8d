#pragma once

#include <QMatrix4x4>
#include <QSize>
#include <QVector3D>

class ScanFrameStore;

// Everything a picture depends on besides the frame: where the eye is, how the model is turned and
// moved, the light, the depth range of the colour ramps and the mirror blend. The window's view
// changes it from the mouse and the keyboard; the tool sets it from its options.
struct ViewState {
    // Degrees about the x, y and z axes, each kept within (-360, 360).
    QVector3D rotation;
    // Pan in x and y, zoom in z.
    QVector3D translation;
    QVector3D cameraOrigin;
    // The turn from the frame's axes to those of the camera that measured it (frameCamera), applied
    // about the centre before everything else, so that the eye looks at the frame as that camera did
    // wherever the frame's coordinates put it. The identity for a frame in its camera's coordinates.
    QMatrix4x4 scannerTurn;
    // Low end (depth value 1) and high end (depth value 0) of the ramps; z is always 0.
    QVector3D colorZrange;
    // Diffuse light factor, 0 to 10; 0 shows the base colour unlit.
    float lightIntensity = 1.3f;
    // 0 as loaded to 1 mirrored about the centre's depth.
    float mirrorBlend = 0.0f;
    // Where the mirror animation is heading (the programs take it and do not use it).
    bool mirrored = false;
    // Clears to no colour at all where no surface is drawn, so a picture can lie on any page.
    bool transparentBackground = false;
};

// The three matrices of one picture, kept so that picks and overlays use those of the picture shown.
struct ViewMatrices {
    QMatrix4x4 projection;
    QMatrix4x4 view;
    QMatrix4x4 model;
};

// The matrices for a picture of `size` pixels: a 45 degree perspective, the eye looking at the
// centre of mass, and the model turned about that centre (to its camera's axes, then shown turned by
// -90 degrees about the viewing axis at rest) and then moved.
ViewMatrices viewMatrices(const ScanFrameStore &store, const ViewState &state, QSize size);

// Frames the frame in the store: the turn to its camera's axes, and the eye on the axis through the
// centre of mass where the larger extent of its box (across that axis) fills the 45 degree field of
// view.
void frameView(const ScanFrameStore &store, ViewState &state);

// Where the light stands: on the eye's side of the centre, at the eye's distance along the
// camera's axis.
QVector3D lightPosition(const ScanFrameStore &store, const ViewState &state);

// The ramps take the depth range of the first frame a store shows; later frames keep the range, so
// the colours of a sequence hold still and the user's slider settings stay.
void takeFirstDepthRange(ScanFrameStore &store, ViewState &state);

// Light slider value (0 to 100) to the light factor.
float lightForSlider(int value);
