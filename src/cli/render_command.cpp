#include "cli/command_support.h"
#include "cli/commands.h"

#include "data/scan_frame_store.h"
#include "view/viewer_gl_widget.h"

#include <QApplication>
#include <QImage>
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

} // namespace

int runRender(const QStringList &arguments, char *program) {
    // The toolkit gets the program name only. A plain application serves the usage text while
    // the input is checked; the GUI one, which needs a display, starts once the input is read.
    int toolkitArgc = 1;
    char *toolkitArgv[] = {program, nullptr};
    auto core = std::make_unique<QCoreApplication>(toolkitArgc, toolkitArgv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Renders the frame of IN through the viewer's 3D view, off screen, into an image."));
    parser.addPositionalArgument(QStringLiteral("render"), QStringLiteral("The command."));
    parser.addPositionalArgument(QStringLiteral("IN"), QStringLiteral("A .xyzm, .pt or .ptv file."));
    parser.addPositionalArgument(QStringLiteral("OUT"),
                                 QStringLiteral("The image; its ending names the format."));
    parser.addOption({QStringLiteral("size"),
                      QStringLiteral("Image size WxH, or N for a square N pixels wide; default 800x600."),
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
    const int status = parse(parser, arguments, 2);
    if (status >= 0)
        return status;

    int width = 0, height = 0, frame = -1;
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
    if (!frameNumber(parser, &frame))
        return usageError(parser, QStringLiteral("--frame takes a frame number"));

    const QString in = parser.positionalArguments().at(1);
    const QString out = parser.positionalArguments().at(2);
    ScanFrameStore store;
    QString error;
    if (!loadScan(store, in, frame, &error, nullptr))
        return fileError(in, error);
    if (renderNeedsDisplay())
        return reportNoDisplay();
    core.reset();
    QApplication app(toolkitArgc, toolkitArgv);
    store.meshType = style;
    store.materialType = color;

    ViewerGLWidget view(store);
    view.resize(width, height);
    view.setControlMethod(ViewerGLWidget::Rotate);
    view.changeLightIntensity(light);
    view.setLegendShown(parser.isSet(QStringLiteral("legend")));
    view.setTransparentBackground(parser.isSet(QStringLiteral("transparent")));
    view.loadFrameGeometry();
    // A top-level view that is never shown still gets its context and draws into its framebuffer.
    const QImage image = view.grabFramebuffer();
    if (!view.glProblem().isEmpty() || image.isNull())
        return fileError(out, QStringLiteral("cannot draw with OpenGL here: %1")
                                  .arg(view.glProblem().isEmpty() ? QStringLiteral("no OpenGL context")
                                                                  : view.glProblem()));
    if (!image.save(out))
        return fileError(out,
                         QStringLiteral("the image could not be written (is the ending an image format?)"));
    return 0;
}
