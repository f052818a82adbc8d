#include "cli/render_options.h"

#include "cli/command_support.h"
#include "render/color_legend.h"
#include "render/scan_session.h"
#include "render/view_state.h"

#include <QCommandLineParser>
#include <QImageWriter>
#include <QRegularExpression>

#include <cmath>
#include <vector>

namespace {

// One option of render: as its help shows it, and how its value goes into the options, returning
// what is wrong with a value it refuses. An option with a default is taken also when not given, one
// without only when given; one without `take` is read once OUT is known.
struct RenderOption {
    QCommandLineOption option;
    QString (*take)(const QString &value, RenderOptions &options);
};

const QStringList kStyles = {"shaded", "wireframe", "points"};
const QStringList kColors = {"solid", "texture", "depth", "jet", "magma", "viridis", "change", "noise"};

QString takeSize(const QString &value, RenderOptions &options) {
    // A file manager asks for a thumbnail by one edge.
    const QString size = value.contains(QLatin1Char('x')) ? value : value + QLatin1Char('x') + value;
    int width = 0, height = 0;
    if (!parseSize(size, &width, &height))
        return QStringLiteral("--size takes WxH or N, for example 1024x768 or 256");
    options.picture = QSize(width, height);
    return {};
}

QString takeStyle(const QString &value, RenderOptions &options) {
    options.style = kStyles.indexOf(value);
    return options.style < 0 ? QStringLiteral("--style takes shaded, wireframe or points") : QString();
}

QString takeColor(const QString &value, RenderOptions &options) {
    options.color = kColors.indexOf(value);
    return options.color < 0
               ? QStringLiteral("--color takes solid, texture, depth, jet, magma, viridis, change or noise")
               : QString();
}

QString takeReference(const QString &value, RenderOptions &options) {
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^(?:previous|(\\d{1,9})|mean:(\\d{1,9}))$")).match(value);
    options.referenceFrame = match.captured(1).isEmpty() ? -1 : match.captured(1).toInt();
    options.meanFrames = match.captured(2).toInt();
    return match.hasMatch() && (match.captured(2).isEmpty() || options.meanFrames > 0)
               ? QString()
               : QStringLiteral("--reference takes previous, a frame number K or mean:N (N frames from 0)");
}

QString takeChangeRange(const QString &value, RenderOptions &options) {
    bool ok = false;
    options.changeRange = value.toFloat(&ok);
    return ok && options.changeRange > 0.0f && std::isfinite(options.changeRange)
               ? QString()
               : QStringLiteral("--change-range takes a change of depth above 0, for example 2.5");
}

QString takeLight(const QString &value, RenderOptions &options) {
    bool ok = false;
    options.light = value.toInt(&ok);
    return ok && options.light >= 0 && options.light <= 100
               ? QString()
               : QStringLiteral("--light takes a number from 0 to 100");
}

QString takeTimeLimit(const QString &value, RenderOptions &options) {
    bool ok = false;
    options.timeLimit = value.toInt(&ok);
    return ok && options.timeLimit >= 0 && options.timeLimit <= 86400
               ? QString()
               : QStringLiteral("--time-limit takes whole seconds, for example 20");
}

QString takeHideJumps(const QString &value, RenderOptions &options) {
    options.hideJumps = true;
    return jumpFactorOf(value, &options.jumpFactor) ? QString() : kJumpFactorProblem;
}

QString takeEyeDome(const QString &value, RenderOptions &options) {
    bool ok = false;
    options.eyeDomeGiven = true;
    options.eyeDomeStrength = value.toFloat(&ok);
    return ok && options.eyeDomeStrength >= 0.0f && options.eyeDomeStrength <= 5.0f ? QString()
                                                                                    : kEdlStrengthProblem;
}

QString takePointSize(const QString &value, RenderOptions &options) {
    const bool automatic = value == QLatin1String("auto");
    bool ok = false;
    options.pointPixels = automatic ? kAutomaticPointSize : value.toInt(&ok);
    return automatic || (ok && options.pointPixels >= 1 && options.pointPixels <= 64)
               ? QString()
               : QStringLiteral("--point-size takes auto or whole pixels from 1 to 64");
}

QString takeTurn(const QString &value, RenderOptions &options) {
    const QStringList turn = value.split(QLatin1Char(','));
    bool xOk = false, yOk = false;
    options.turnX = turn.value(0).toFloat(&xOk);
    options.turnY = turn.value(1).toFloat(&yOk);
    return xOk && yOk && turn.size() == 2 && std::isfinite(options.turnX) && std::isfinite(options.turnY)
               ? QString()
               : QStringLiteral("--turn takes two angles in degrees, for example 0,60");
}

QString takeDepthRange(const QString &value, RenderOptions &options) {
    options.fitDepths = value == QLatin1String("fit");
    options.sequenceDepths = value == QLatin1String("sequence");
    if (options.fitDepths || options.sequenceDepths)
        return {};
    const QStringList depths = value.split(QLatin1Char(','));
    bool nearOk = false, farOk = false;
    options.nearDepth = depths.value(0).toFloat(&nearOk);
    options.farDepth = depths.value(1).toFloat(&farOk);
    options.givenDepths = true;
    return depths.size() == 2 && nearOk && farOk && std::isfinite(options.nearDepth) &&
                   std::isfinite(options.farDepth) && options.nearDepth < options.farDepth
               ? QString()
               : QStringLiteral("--depth-range takes NEAR,FAR, two depths with NEAR the smaller, for "
                                "example 500,900, fit or sequence");
}

QString takeRegionInside(const QString &value, RenderOptions &options) {
    return regionOf(value, true, &options.region);
}

// --region is taken first: both given is one box too many.
QString takeRegionOutside(const QString &value, RenderOptions &options) {
    if (options.region.isSet())
        return QStringLiteral("--region and --region-outside exclude each other: give one box");
    return regionOf(value, false, &options.region);
}

// In the order the help lists them and their values are checked. Made on first use: the options
// shared with other commands are made before main starts, in no order.
const std::vector<RenderOption> &renderOptions() {
    static const std::vector<RenderOption> options = {
        {{QStringLiteral("size"),
          QStringLiteral(
              "Image size WxH, or N for a square N pixels wide; default 800x600 (even for a video)."),
          QStringLiteral("WxH"), QStringLiteral("800x600")},
         takeSize},
        {{QStringLiteral("style"), QStringLiteral("shaded (default), wireframe or points."),
          QStringLiteral("STYLE"), QStringLiteral("shaded")},
         takeStyle},
        {{QStringLiteral("color"),
          QStringLiteral("solid (default), texture, depth, jet, magma, viridis, change (each pixel's depth "
                         "minus its depth in --reference: blue nearer, red farther) or noise (each pixel's "
                         "temporal noise over 30 frames from the frame); change and noise need a 3D video."),
          QStringLiteral("COLOR"), QStringLiteral("solid")},
         takeColor},
        {{QStringLiteral("reference"),
          QStringLiteral("What --color change compares each frame with: previous (default: the frame "
                         "before it), frame K, or mean:N, the mean depth of the first N frames."),
          QStringLiteral("previous|K|mean:N")},
         takeReference},
        {{QStringLiteral("change-range"),
          QStringLiteral("The change of depth that takes --color change's full colour either way (and the "
                         "top of --color noise's ramp); by default four times the video's median temporal "
                         "noise. One range holds for every frame of a render."),
          QStringLiteral("R")},
         takeChangeRange},
        {{QStringLiteral("light"), QStringLiteral("Light intensity 0 to 100, default 13."),
          QStringLiteral("LIGHT"), QStringLiteral("13")},
         takeLight},
        {kFrameOption, nullptr},
        {{QStringLiteral("legend"),
          QStringLiteral("Draw the colour legend of a depth colouring, as the viewer shows it.")},
         [](const QString &, RenderOptions &options) {
             options.legend = true;
             return QString();
         }},
        {{QStringLiteral("transparent"),
          QStringLiteral("Leave the background transparent where no surface is drawn.")},
         [](const QString &, RenderOptions &options) {
             options.transparent = true;
             return QString();
         }},
        {kFramesOption, nullptr},
        {{QStringLiteral("time-limit"),
          QStringLiteral("Stop with an error once the render has run for SECONDS (a thumbnailer's guard)."),
          QStringLiteral("SECONDS")},
         takeTimeLimit},
        {kHideJumpsOption, takeHideJumps},
        {{QStringLiteral("edl"),
          QStringLiteral(
              "Eye-dome lighting: darken each pixel by how far its neighbours stand in front of "
              "it, which outlines silhouettes and creases, at STRENGTH from 0 (none) to 5 (default "
              "1). The points style has it unless --edl 0 is given."),
          QStringLiteral("STRENGTH")},
         takeEyeDome},
        {{QStringLiteral("point-size"),
          QStringLiteral("Points PIXELS wide (1 to 64), or 'auto' (default): as wide as the distance to "
                         "their neighbours, so that a cloud seen close stays closed."),
          QStringLiteral("PIXELS|auto"), QStringLiteral("auto")},
         takePointSize},
        {{QStringLiteral("turn"),
          QStringLiteral("Turn the model by AX and AY degrees about the picture's horizontal and vertical "
                         "axes before drawing, as a mouse drag would, to look at it from the side."),
          QStringLiteral("AX,AY")},
         takeTurn},
        {{QStringLiteral("depth-range"),
          QStringLiteral("Spread the depth colours over depths NEAR to FAR, so that renders of different "
                         "captures share one scale; with 'fit' over the bulk of the depths the first frame "
                         "measures (the 1st to the 99th percentile), with 'sequence' over the bulk of the "
                         "depths of every frame of the file, so that each frame of a 3D video is drawn on "
                         "the same scale. By default they span the first frame's framing box."),
          QStringLiteral("NEAR,FAR|fit|sequence")},
         takeDepthRange},
        {kRegionOption, takeRegionInside},
        {kRegionOutsideOption, takeRegionOutside},
        {{QStringLiteral("view"),
          QStringLiteral("Place the camera as the view in FILE says, a view the viewer copied (Views, \"Copy "
                         "view\") and saved as a file."),
          QStringLiteral("FILE")},
         [](const QString &value, RenderOptions &options) {
             options.viewFile = value;
             return QString();
         }},
        {{QStringLiteral("session"),
          QStringLiteral("Draw as the viewer's session in FILE (Views, \"Export session...\") left the scan: "
                         "its view on screen, colour scale and region, where --view, --depth-range and "
                         "--region do not say otherwise."),
          QStringLiteral("FILE")},
         [](const QString &value, RenderOptions &options) {
             options.sessionFile = value;
             return QString();
         }},
    };
    return options;
}

// IN and OUT, and what OUT allows of the options taken before it.
QString takeInAndOut(const QCommandLineParser &parser, RenderOptions &options) {
    options.in = parser.positionalArguments().at(1);
    options.out = parser.positionalArguments().at(2);
    QString error;
    if (!options.outFiles.parse(options.out, &error))
        return error;
    options.video = options.outFiles.ending() == QLatin1String("mp4");
    if (options.video && options.outFiles.numbered())
        return QStringLiteral("a video is one file: OUT.mp4 takes no frame number");
    if (options.video && (options.picture.width() % 2 || options.picture.height() % 2))
        return QStringLiteral("--size of a video takes even numbers, for example 1280x720");
    if (!options.video &&
        !QImageWriter::supportedImageFormats().contains(options.outFiles.ending().toLatin1()))
        return QStringLiteral("OUT must end in .mp4 or an image format such as .png");
    options.legend = options.legend && ColorLegend::hasScale(options.color);
    if (!options.viewFile.isEmpty() && parser.isSet(QStringLiteral("turn")))
        return QStringLiteral("--turn and --view both place the camera: give one of them");
    return frameSpanArguments(parser, options.outFiles.numbered() || options.video, &options.span);
}

// The colour scale a session keeps, where --depth-range gave none.
void takeSessionColours(const SessionColours &colours, RenderOptions &options) {
    switch (colours.scale) {
    case DepthScale::FirstFrame:
        break;
    case DepthScale::ThisFrame:
        options.fitDepths = options.fitEachFrame = true;
        break;
    case DepthScale::Sequence:
        options.sequenceDepths = true;
        break;
    case DepthScale::Fixed:
        options.givenDepths = true;
        options.nearDepth = colours.nearDepth;
        options.farDepth = colours.farDepth;
        break;
    }
}

// The view and session files, read once the arguments are known: what they say, or the file and the
// key that is wrong.
bool readViewFiles(const QCommandLineParser &parser, RenderOptions &options, QString *path, QString *error) {
    if (!options.sessionFile.isEmpty()) {
        ScanSession session;
        *path = options.sessionFile;
        if (!session.readFile(options.sessionFile, error))
            return false;
        if (session.camera && !parser.isSet(QStringLiteral("turn")))
            options.camera = session.camera;
        if (session.colours && !parser.isSet(QStringLiteral("depth-range")))
            takeSessionColours(*session.colours, options);
        if (session.region && !options.region.isSet())
            options.region = *session.region;
        // The reference the Change colouring was set to in the viewer.
        if (session.reference && !parser.isSet(QStringLiteral("reference"))) {
            options.referenceFrame = session.reference->frame;
            options.meanFrames = session.reference->meanFrames;
        }
    }
    if (!options.viewFile.isEmpty()) {
        CameraView view;
        *path = options.viewFile;
        if (!view.readFile(options.viewFile, error))
            return false;
        options.camera = view;
    }
    const bool oneFrame = !options.video && !options.outFiles.numbered();
    options.depthScale = options.givenDepths                                       ? DepthScale::Fixed
                         : options.sequenceDepths                                  ? DepthScale::Sequence
                         : options.fitEachFrame || (options.fitDepths && oneFrame) ? DepthScale::ThisFrame
                                                                                   : DepthScale::FirstFrame;
    return true;
}

} // namespace

int readRenderOptions(const QStringList &arguments, RenderOptions *options) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Renders frames of IN through the viewer's 3D view, off screen, into images or a video. Frames "
        "are numbered by their index in the file, from 0. An OUT with a frame number, such as "
        "'frames/walk_%04d.png', writes one image per frame, named by that index; an OUT ending in .mp4 "
        "writes one video of every frame at the file's frame rate."));
    parser.addPositionalArgument(QStringLiteral("IN"), QStringLiteral("A .xyzm, .pt or .ptv file."));
    parser.addPositionalArgument(
        QStringLiteral("OUT"),
        QStringLiteral("An image, its ending naming the format (%d or %04d in it numbers frames), or a .mp4 "
                       "video."));
    for (const RenderOption &option : renderOptions())
        parser.addOption(option.option);
    const int status = parse(parser, arguments, {QStringLiteral("IN"), QStringLiteral("OUT")});
    if (status >= 0)
        return status;
    for (const RenderOption &option : renderOptions()) {
        if (!option.take || !(parser.isSet(option.option) || !option.option.defaultValues().isEmpty()))
            continue;
        const QString problem = option.take(parser.value(option.option), *options);
        if (!problem.isEmpty())
            return usageError(parser, problem);
    }
    const QString problem = takeInAndOut(parser, *options);
    if (!problem.isEmpty())
        return usageError(parser, problem);
    QString path, error;
    return readViewFiles(parser, *options, &path, &error) ? -1 : fileError(path, error);
}
