#include "cli/command_support.h"
#include "cli/commands.h"
#include "cli/frame_export.h"
#include "cli/output_name.h"

#include "data/calibration.h"
#include "data/frame_source.h"
#include "data/scan_frame_store.h"
#include "video/video_writer.h"
#include "view/viewer_gl_widget.h"

#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>
#include <QTextStream>

#include <memory>

namespace {

// True when no display is known, so a render cannot get an OpenGL context.
bool renderNeedsDisplay() {
    return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
           qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

int reportNoDisplay() {
    QTextStream(stderr)
        << "pelnor: render draws with OpenGL and needs a display, and none was found (DISPLAY "
           "is not set).\nOn a machine without a screen run it under a virtual one: xvfb-run -a "
           "pelnor render IN OUT.png\n";
    return 1;
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
    // The toolkit gets the program name only. A plain application serves the usage text while
    // the input is checked; the GUI one, which needs a display, starts once the input is read.
    int toolkitArgc = 1;
    char *toolkitArgv[] = {program, nullptr};
    auto core = std::make_unique<QCoreApplication>(toolkitArgc, toolkitArgv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Renders frames of IN through the viewer's 3D view, off screen, into images or a video. Frames "
        "are numbered by their index in the file, from 0. An OUT with a frame number, such as "
        "'frames/walk_%04d.png', writes one image per frame, named by that index; an OUT ending in .mp4 "
        "writes one video of every frame at the file's frame rate."));
    parser.addPositionalArgument(QStringLiteral("render"), QStringLiteral("The command."));
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
    const int status = parse(parser, arguments, 2);
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

    FrameSource source;
    if (!source.open(in, &error) || !fitFrameSpan(source, in, &span, &error))
        return fileError(in, error);
    // A rate no video can hold is told before any frame is drawn.
    if (video && source.isSequence() && !VideoWriter::rateFits(source.frameRate(), &error))
        return fileError(in, error);
    if (renderNeedsDisplay())
        return reportNoDisplay();
    core.reset();
    QApplication app(toolkitArgc, toolkitArgv);
    ScanFrameStore store;
    store.meshType = style;
    store.materialType = color;
    ViewerGLWidget view(store);
    view.resize(width, height);
    view.setControlMethod(ViewerGLWidget::Rotate);
    view.changeLightIntensity(light);
    view.setLegendShown(parser.isSet(QStringLiteral("legend")));
    view.setTransparentBackground(parser.isSet(QStringLiteral("transparent")));
    VideoWriter writer;
    // A single frame plays for a second.
    const double rate = source.isSequence() ? static_cast<double>(source.frameRate()) : 1.0;
    if (video && !writer.open(out.pathFor(0), width, height, rate, &error))
        return fileError(out.pathFor(0), error);

    // Reading, decoding and the mesh build run a frame ahead of drawing and writing.
    const auto prepare = [&](int32_t frame, ScanFrameStore &next, QString *reason) {
        if (!source.readFrame(frame, next, reason)) {
            *reason = in + ": " + *reason;
            return false;
        }
        if (next.frameKind == XyzmFrame) {
            next.buildCoordinateMesh();
        } else {
            if (frame == span.first)
                next.computePhaseStatistics();
            next.buildPhaseMesh();
        }
        return true;
    };
    const auto draw = [&](int32_t frame, ScanFrameStore &next, QString *reason) {
        store.swapFrame(next);
        if (frame == span.first)
            takeCalibrationAndFraming(store, next);
        view.presentFrameGeometry();
        // A top-level view that is never shown still gets its context and draws into its framebuffer.
        QImage image = view.grabFramebuffer();
        const QString path = out.pathFor(frame);
        if (!view.glProblem().isEmpty() || image.isNull()) {
            *reason = path + ": cannot draw with OpenGL here: " +
                      (view.glProblem().isEmpty() ? QStringLiteral("no OpenGL context") : view.glProblem());
            return false;
        }
        if (video) {
            image = std::move(image).convertToFormat(QImage::Format_RGB32);
            if (writer.addFrame(image.constBits(), image.bytesPerLine(), reason))
                return true;
        } else if (saveImage(image, path, reason)) {
            return true;
        }
        *reason = path + ": " + *reason;
        return false;
    };
    const int outcome = exportFrames(span, prepare, draw, video ? out.pathFor(0) : QString());
    if (outcome != 0 || !video)
        return outcome; // an unfinished video is dropped with the writer, leaving no file behind
    return writer.finish(&error) ? 0 : fileError(out.pathFor(0), error);
}
