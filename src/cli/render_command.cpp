#include "cli/command_support.h"
#include "cli/commands.h"
#include "cli/frame_export.h"

#include "data/binary_file.h"
#include "data/calibration.h"
#include "data/frame_source.h"
#include "data/output_name.h"
#include "data/scan_frame_store.h"
#include "render/color_legend.h"
#include "render/detail_level.h"
#include "render/frame_renderer.h"
#include "render/headless_context.h"
#include "render/scene_numbers.h"
#include "render/view_state.h"
#include "video/video_writer.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <QTextStream>

#include <future>
#include <memory>
#include <new>

#include <cmath>
#include <csignal>

#include <unistd.h>

namespace {

QByteArray timeLimitMessage;

// A thumbnailer must never hang a file manager: when the time is up the render ends at once.
void stopAtTimeLimit(int) {
    const ssize_t written =
        write(STDERR_FILENO, timeLimitMessage.constData(), size_t(timeLimitMessage.size()));
    static_cast<void>(written);
    _exit(1);
}

void armTimeLimit(const QString &in, int seconds) {
    timeLimitMessage =
        QStringLiteral("pelnor: %1: the render took longer than its time limit of %2 s and was stopped\n")
            .arg(in)
            .arg(seconds)
            .toLocal8Bit();
    struct sigaction action = {};
    action.sa_handler = stopAtTimeLimit;
    sigemptyset(&action.sa_mask);
    sigaction(SIGALRM, &action, nullptr);
    alarm(static_cast<unsigned>(seconds));
}

// Writes the image in the format its ending names, replacing an existing file only once the new
// one is complete.
bool saveImage(const QImage &image, const QString &path, QString *error) {
    QSaveFile file(path);
    QImageWriter writer(&file, QFileInfo(path).suffix().toLower().toLatin1());
    if (file.open(QIODevice::WriteOnly) && writer.write(image) && file.commit())
        return true;
    *error = writer.error() != QImageWriter::UnknownError ? writer.errorString() : file.errorString();
    return false;
}

// The first frame of an export brings the calibration and the framing (statistics) that the later
// frames of a sequence keep, so the camera holds still as in playback.
void takeCalibrationAndFraming(ScanFrameStore &to, const ScanFrameStore &from) {
    if (to.frameKind != XyzmFrame)
        applyCalibration(to, storedCalibration(from));
    to.boundingBoxMin = from.boundingBoxMin;
    to.boundingBoxMax = from.boundingBoxMax;
    to.boundingBoxSize = from.boundingBoxSize;
    to.centerOfMass = from.centerOfMass;
}

} // namespace

int runRender(const QStringList &arguments, char *program) {
    // The toolkit gets the program name only. A plain application serves the usage text while the
    // input is checked; the one that paints starts once the input is read.
    int toolkitArgc = 1;
    char *toolkitArgv[] = {program, nullptr};
    auto core = std::make_unique<QCoreApplication>(toolkitArgc, toolkitArgv);
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
    parser.addOption(
        {QStringLiteral("size"),
         QStringLiteral(
             "Image size WxH, or N for a square N pixels wide; default 800x600 (even for a video)."),
         QStringLiteral("WxH"), QStringLiteral("800x600")});
    parser.addOption({QStringLiteral("style"), QStringLiteral("shaded (default), wireframe or points."),
                      QStringLiteral("STYLE"), QStringLiteral("shaded")});
    parser.addOption({QStringLiteral("color"),
                      QStringLiteral("solid (default), texture, depth, jet, magma or viridis."),
                      QStringLiteral("COLOR"), QStringLiteral("solid")});
    parser.addOption({QStringLiteral("light"), QStringLiteral("Light intensity 0 to 100, default 13."),
                      QStringLiteral("LIGHT"), QStringLiteral("13")});
    parser.addOption(kFrameOption);
    parser.addOption(
        {QStringLiteral("legend"),
         QStringLiteral("Draw the colour legend of a depth colouring, as the viewer shows it.")});
    parser.addOption({QStringLiteral("transparent"),
                      QStringLiteral("Leave the background transparent where no surface is drawn.")});
    parser.addOption(kFramesOption);
    const QCommandLineOption timeLimitOption(
        QStringLiteral("time-limit"),
        QStringLiteral("Stop with an error once the render has run for SECONDS (a thumbnailer's guard)."),
        QStringLiteral("SECONDS"));
    parser.addOption(timeLimitOption);
    parser.addOption(kHideJumpsOption);
    const QCommandLineOption turnOption(
        QStringLiteral("turn"),
        QStringLiteral("Turn the model by AX and AY degrees about the picture's horizontal and vertical axes "
                       "before drawing, as a mouse drag would, to look at it from the side."),
        QStringLiteral("AX,AY"));
    parser.addOption(turnOption);
    const QCommandLineOption depthRangeOption(
        QStringLiteral("depth-range"),
        QStringLiteral(
            "Spread the depth colours over depths NEAR to FAR, so that renders of different captures "
            "share one scale, or with 'fit' over the depths the first frame measures (the range File "
            "Info shows). By default they span the first frame's framing box."),
        QStringLiteral("NEAR,FAR|fit"));
    parser.addOption(depthRangeOption);
    const int status = parse(parser, withJumpFactor(arguments), 2);
    if (status >= 0)
        return status;

    int width = 0, height = 0;
    // A file manager asks for a thumbnail by one edge.
    QString size = parser.value(QStringLiteral("size"));
    if (!size.contains(QLatin1Char('x')))
        size += QLatin1Char('x') + size;
    if (!parseSize(size, &width, &height))
        return usageError(parser, QStringLiteral("--size takes WxH or N, for example 1024x768 or 256"));
    const QStringList styles = {"shaded", "wireframe", "points"};
    const QStringList colors = {"solid", "texture", "depth", "jet", "magma", "viridis"};
    const int style = styles.indexOf(parser.value(QStringLiteral("style")));
    const int color = colors.indexOf(parser.value(QStringLiteral("color")));
    bool lightOk = false;
    const int light = parser.value(QStringLiteral("light")).toInt(&lightOk);
    if (style < 0)
        return usageError(parser, QStringLiteral("--style takes shaded, wireframe or points"));
    if (color < 0)
        return usageError(parser,
                          QStringLiteral("--color takes solid, texture, depth, jet, magma or viridis"));
    if (!lightOk || light < 0 || light > 100)
        return usageError(parser, QStringLiteral("--light takes a number from 0 to 100"));
    bool limitOk = true;
    const int timeLimit = parser.isSet(timeLimitOption) ? parser.value(timeLimitOption).toInt(&limitOk) : 0;
    if (!limitOk || timeLimit < 0 || timeLimit > 86400)
        return usageError(parser, QStringLiteral("--time-limit takes whole seconds, for example 20"));
    bool hideJumps = false;
    float jumpFactor = 5.0f;
    if (!takeHideJumps(parser, &hideJumps, &jumpFactor))
        return usageError(parser, QStringLiteral("--hide-jumps takes a factor above 0, for example 5"));
    const QStringList turn = parser.value(turnOption).split(QLatin1Char(','));
    bool turnXOk = true, turnYOk = true;
    const float turnX = parser.isSet(turnOption) ? turn.value(0).toFloat(&turnXOk) : 0.0f;
    const float turnY = parser.isSet(turnOption) ? turn.value(1).toFloat(&turnYOk) : 0.0f;
    if (!turnXOk || !turnYOk || (parser.isSet(turnOption) && turn.size() != 2) || !std::isfinite(turnX) ||
        !std::isfinite(turnY))
        return usageError(parser, QStringLiteral("--turn takes two angles in degrees, for example 0,60"));

    const QString depthRange = parser.value(depthRangeOption);
    const bool fitDepths = depthRange == QLatin1String("fit");
    const QStringList depths = depthRange.split(QLatin1Char(','));
    bool nearOk = false, farOk = false;
    const float nearDepth = depths.value(0).toFloat(&nearOk), farDepth = depths.value(1).toFloat(&farOk);
    const bool givenDepths = parser.isSet(depthRangeOption) && !fitDepths;
    if (givenDepths && (depths.size() != 2 || !nearOk || !farOk || !std::isfinite(nearDepth) ||
                        !std::isfinite(farDepth) || !(nearDepth < farDepth)))
        return usageError(parser, QStringLiteral("--depth-range takes NEAR,FAR, two depths with NEAR the "
                                                 "smaller, for example 500,900, or fit"));

    const QString in = parser.positionalArguments().at(1);
    OutputName out;
    QString error;
    if (!out.parse(parser.positionalArguments().at(2), &error))
        return usageError(parser, error);
    const bool video = out.ending() == QLatin1String("mp4");
    if (video && out.numbered())
        return usageError(parser, QStringLiteral("a video is one file: OUT.mp4 takes no frame number"));
    if (video && (width % 2 || height % 2))
        return usageError(parser,
                          QStringLiteral("--size of a video takes even numbers, for example 1280x720"));
    if (!video && !QImageWriter::supportedImageFormats().contains(out.ending().toLatin1()))
        return usageError(parser, QStringLiteral("OUT must end in .mp4 or an image format such as .png"));
    FrameSpan span;
    error = frameSpanArguments(parser, out.numbered() || video, &span);
    if (!error.isEmpty())
        return usageError(parser, error);

    if (!video && !out.numbered() && !readyFolderOf(out.pathFor(0), false, &error))
        return fileError(out.pathFor(0), error);
    if (timeLimit > 0)
        armTimeLimit(in, timeLimit);
    FrameSource source;
    if (!source.open(in, &error) || !fitFrameSpan(source, in, &span, &error))
        return fileError(in, error);
    // A rate no video can hold is told before any frame is drawn.
    if (video && source.isSequence() && !VideoWriter::rateFits(source.frameRate(), &error))
        return fileError(in, error);
    const QSize picture(width, height);
    const bool transparent = parser.isSet(QStringLiteral("transparent"));
    const bool legend = parser.isSet(QStringLiteral("legend")) && ColorLegend::coloursByDepth(color);
    // OpenGL comes from a headless EGL context, and pictures are written without the toolkit's GUI
    // side. Only a legend's text needs fonts, so a GUI application: on the offscreen platform, which
    // needs no display either. A thumbnail in a sandbox thus never waits on a font scan.
    char platform[] = "-platform", offscreen[] = "offscreen";
    int guiArgc = 3;
    char *guiArgv[] = {program, platform, offscreen, nullptr};
    std::unique_ptr<QGuiApplication> gui;
    if (legend) {
        core.reset();
        qputenv("QT_QPA_OFFSCREEN_NO_GLX", "1");
        gui = std::make_unique<QGuiApplication>(guiArgc, guiArgv);
    }
    ViewState view;
    view.lightIntensity = lightForSlider(light);
    // Kept within a turn, as dragging keeps it.
    view.rotation = QVector3D(std::fmod(turnX, 360.0f), std::fmod(turnY, 360.0f), 0.0f);
    view.transparentBackground = transparent;
    // Reading, decoding and the mesh build run a frame ahead of drawing and writing.
    int stride = 1;
    const auto prepare = [&](int32_t frame, ScanFrameStore &next, QString *reason) {
        if (!source.readFrame(frame, next, reason)) {
            *reason = in + ": " + *reason;
            return false;
        }
        next.hideDepthJumps = hideJumps;
        next.depthJumpFactor = jumpFactor;
        // A picture much smaller than the frame (a thumbnail) is drawn from as many samples as it
        // shows, taken from the first frame's framing, which the later ones keep.
        if (frame == span.first) {
            next.frameKind == XyzmFrame ? next.computeCoordinateStatistics() : next.computePhaseStatistics();
            ViewState framed = view;
            frameView(next, framed);
            stride = DetailLevel::screenStride(next, framed, picture);
        }
        if (next.frameKind == XyzmFrame)
            next.buildCoordinateMesh(stride);
        else
            next.buildPhaseMesh(stride);
        return true;
    };
    // The first frame is read and built while OpenGL starts.
    ScanFrameStore first{ScanFrameStore::NoFrame{}};
    QString firstReason;
    std::future<bool> firstReady = std::async(std::launch::async, [&] {
        try {
            return prepare(span.first, first, &firstReason);
        } catch (const std::bad_alloc &) {
            firstReason = in + ": " + outOfMemoryMessage(first.width, first.height);
            return false;
        }
    });
    HeadlessContext gl;
    FrameRenderer renderer;
    const bool drawing = gl.create(picture, &error) && renderer.initialize(&error);
    const bool firstOk = firstReady.get();
    if (!drawing)
        return fileError(parser.positionalArguments().at(2), error);
    const auto prepareAhead = [&](int32_t frame, ScanFrameStore &next, QString *reason) {
        if (frame != span.first)
            return prepare(frame, next, reason);
        next = std::move(first);
        *reason = firstReason;
        return firstOk;
    };
    ScanFrameStore store{ScanFrameStore::NoFrame{}};
    store.meshType = style;
    store.materialType = color;
    // A range given stands for every frame, as one the viewer's sliders set.
    if (givenDepths) {
        view.colorZrange = QVector3D(nearDepth, farDepth, 0.0f);
        store.depthRangeTaken = true;
    }
    VideoWriter writer;
    // A single frame plays for a second.
    const double rate = source.isSequence() ? static_cast<double>(source.frameRate()) : 1.0;
    if (video && !(readyFolderOf(out.pathFor(0), true, &error) &&
                   writer.open(out.pathFor(0), width, height, rate, &error)))
        return fileError(out.pathFor(0), error);

    const auto draw = [&](int32_t frame, ScanFrameStore &next, QString *reason) {
        store.swapFrame(next);
        if (frame == span.first) {
            takeCalibrationAndFraming(store, next);
            store.fileName = QFileInfo(in).fileName();
            // As the viewer's fit: the first frame's measured depths, kept by the frames after it. A
            // frame that measures nothing keeps the framing box's range, as the viewer keeps its own.
            const SurfaceFacts measured = fitDepths ? store.measureSurface() : SurfaceFacts();
            if (measured.validCount > 0) {
                view.colorZrange = QVector3D(measured.min.z(), measured.max.z(), 0.0f);
                store.depthRangeTaken = true;
            }
        }
        // The camera and the colours are placed as the viewer places them for the frame it shows.
        frameView(store, view);
        takeFirstDepthRange(store, view);
        const QString path = out.pathFor(frame);
        bool drawn = renderer.upload(store, reason);
        if (drawn) {
            renderer.draw(store, view, picture);
            drawn = gl.checkDrawing(reason);
        }
        if (!drawn) {
            *reason = path + ": " + *reason;
            return false;
        }
        QImage image = renderer.readImage(picture, transparent);
        if (legend) {
            ColorLegend scale;
            scale.setRange(view.colorZrange.x(), view.colorZrange.y());
            QPainter painter(&image);
            scale.paint(painter, picture, color, sceneDecimals(store));
        }
        if (video) {
            image = std::move(image).convertToFormat(QImage::Format_RGB32);
            if (writer.addFrame(image.constBits(), image.bytesPerLine(), reason))
                return true;
        } else if (readyFolderOf(path, true, reason) && saveImage(image, path, reason)) {
            return true;
        }
        *reason = path + ": " + *reason;
        return false;
    };
    const int outcome = exportFrames(span, prepareAhead, draw, video ? out.pathFor(0) : QString());
    if (outcome != 0 || !video)
        return outcome; // an unfinished video is dropped with the writer, leaving no file behind
    return writer.finish(&error) ? 0 : fileError(out.pathFor(0), error);
}
