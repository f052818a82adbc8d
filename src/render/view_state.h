#pragma once

#include "data/region.h"

#include <QMatrix4x4>
#include <QSize>
#include <QVector3D>

#include <cstdint>

class ScanFrameStore;

// How the surface is drawn and how it is coloured; the codes of the window's lists.
enum MeshType : int32_t { Shaded = 0, Wireframe = 1, PointCloud = 2 };
enum MaterialType : int32_t { Solid = 0, Texture = 1, Depth = 2, Jet = 3, Magma = 4, Viridis = 5 };

// The box and centre the camera is placed from, which the vertex program's spike cut reads too: the
// statistics of the frame the view was framed on. A sequence keeps its first frame's while it plays,
// so the camera holds still.
struct Framing {
    QVector3D boxMin;
    QVector3D boxMax;
    QVector3D boxSize;
    QVector3D centre;

    static Framing of(const ScanFrameStore &frame);
};

// Everything a picture depends on besides the frame: the style and colouring, the framing, where the
// eye is, how the model is turned and moved, the light, the depth range of the colour ramps, the
// mirror blend and the region. The window's view changes it from the mouse and the keyboard; the
// tool sets it from its options.
struct ViewState {
    int32_t meshType = Shaded;
    int32_t materialType = Solid;
    QVector3D materialColor{1.0f, 220.0f / 255.0f, 165.0f / 255.0f};
    Framing framing;
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
    // The ramps take the depth range of the first frame shown; later frames keep it.
    bool depthRangeTaken = false;
    // Only the surface the region keeps is drawn, cut exactly at the box's faces.
    Region region;
};

// The three matrices of one picture, kept so that picks and overlays use those of the picture shown.
struct ViewMatrices {
    QMatrix4x4 projection;
    QMatrix4x4 view;
    QMatrix4x4 model;
};

// The matrices for a picture of `size` pixels: a 45 degree perspective, the eye looking at the
// centre of the framing, and the model turned about that centre (to its camera's axes, then shown
// turned by -90 degrees about the viewing axis at rest) and then moved.
ViewMatrices viewMatrices(const ViewState &state, QSize size);

// Places the camera on `frame`: the framing becomes the frame's statistics, the model is turned to
// the axes of the camera that measured it (frameCamera), and the eye stands on the axis through its
// centre of mass where the larger extent of its box (across that axis) fills the 45 degree field of
// view.
void frameOn(const ScanFrameStore &frame, ViewState &state);

// Where the light stands: on the eye's side of the centre, at the eye's distance along the camera's
// axis.
QVector3D lightPosition(const ViewState &state);

// The ramps take the depth range of the first framing a view shows; later frames keep the range, so
// the colours of a sequence hold still and the user's slider settings stay.
void takeFirstDepthRange(ViewState &state);

// How long the mirror animation takes to turn the model over.
constexpr int kMirrorMilliseconds = 670;
// The mirror blend `elapsedMs` after a toggle: 0 as loaded, 1 mirrored, never beyond either.
float mirrorBlend(bool towardsMirrored, int64_t elapsedMs);

// Light slider value (0 to 100) to the light factor.
float lightForSlider(int value);
