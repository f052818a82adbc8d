#pragma once

#include "cli/frame_export.h"
#include "data/output_name.h"
#include "data/region.h"
#include "render/camera_view.h"
#include "render/depth_colors.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

// What `pelnor render` is asked for, read from its arguments. A new option is one member here, one
// entry of the options' table in render_options.cpp and a mention in the tool's help (main.cpp).
struct RenderOptions {
    QString in;
    QString out;
    // The files OUT names: one, or one a frame.
    OutputName outFiles;
    // OUT ends in .mp4: every frame goes into one video.
    bool video = false;
    FrameSpan span;
    QSize picture;
    // The view's mesh type (shaded, wireframe, points) and material (solid, texture, the ramps).
    int style = 0;
    int color = 0;
    // The view's light slider, 0 to 100.
    int light = 13;
    // Asked for and drawn: only a colouring with a scale (depth, change, noise) has a legend.
    bool legend = false;
    bool transparent = false;
    // Seconds before the render is stopped; 0 for no limit.
    int timeLimit = 0;
    bool hideJumps = false;
    float jumpFactor = 5.0f;
    // Eye-dome lighting of the style drawn, asked for with its strength (0 for none); without
    // --edl the Points style has it at the default strength, as in the viewer.
    bool eyeDomeGiven = false;
    float eyeDomeStrength = 1.0f;
    // Points this many pixels wide, or 0 for as wide as the distance to their neighbours.
    int pointPixels = 0;
    // Degrees about the picture's horizontal and vertical axes.
    float turnX = 0.0f;
    float turnY = 0.0f;
    // The ramps' depths: given (NEAR to FAR), fitted to the first frame's measured depths (or to
    // each frame's, the scale "this frame" of a session), fitted to every frame of the file at once,
    // or, with none of these, the first frame's framing box.
    bool givenDepths = false;
    bool fitDepths = false;
    bool fitEachFrame = false;
    bool sequenceDepths = false;
    float nearDepth = 0.0f;
    float farDepth = 0.0f;
    // Only the surface it keeps is drawn.
    Region region;
    // What the Change colouring compares each frame with: the frame before it (referenceFrame -1 and
    // meanFrames 0), frame referenceFrame, or the mean of the first meanFrames frames.
    int32_t referenceFrame = -1;
    int32_t meanFrames = 0;
    // The change that takes the full colour (the top of the Noise ramp); 0 for four times the noise.
    float changeRange = 0.0f;
    // What the legend says of the scale.
    DepthScale depthScale = DepthScale::FirstFrame;
    // A view file (--view) and a session (--session): the camera placed as they say, after the
    // framing; a session also sets the colour scale where --depth-range does not.
    QString viewFile;
    QString sessionFile;
    std::optional<CameraView> camera;
};

// Reads render's arguments (its name first) into `options`: -1 to go on, else the exit status, its
// help shown or what is wrong with the arguments told.
int readRenderOptions(const QStringList &arguments, RenderOptions *options);
