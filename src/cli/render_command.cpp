#include "cli/command_support.h"
#include "cli/commands.h"
#include "cli/frame_export.h"
#include "cli/frame_pictures.h"
#include "cli/picture_output.h"
#include "cli/render_frames.h"
#include "cli/render_options.h"
#include "sequence/sequence_depths.h"

#include <QGuiApplication>

#include <memory>

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

QtMessageHandler toolkitMessages = nullptr;

// The toolkit warns when the session names no runtime folder (under cron, in a sandbox, over a bare
// ssh). A render uses none, and a script reading its errors should read the tool's own alone.
void withoutRuntimeFolderWarning(QtMsgType type, const QMessageLogContext &context, const QString &text) {
    if (!text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        toolkitMessages(type, context, text);
}

// OpenGL comes from a headless EGL context, and pictures are written without the toolkit's GUI
// side. Only a legend's text needs fonts, so a GUI application: on the offscreen platform, which
// needs no display either. A thumbnail in a sandbox thus never waits on a font scan.
std::unique_ptr<QGuiApplication> startFontApplication(char *program) {
    static char platform[] = "-platform", offscreen[] = "offscreen";
    static int argc = 3;
    static char *argv[] = {program, platform, offscreen, nullptr};
    qputenv("QT_QPA_OFFSCREEN_NO_GLX", "1");
    toolkitMessages = qInstallMessageHandler(withoutRuntimeFolderWarning);
    return std::make_unique<QGuiApplication>(argc, argv);
}

} // namespace

int runRender(const QStringList &arguments, char *program) {
    // The toolkit gets the program name only. A plain application serves the help while the
    // arguments are read; the one that paints starts once the input is read.
    int toolkitArgc = 1;
    char *toolkitArgv[] = {program, nullptr};
    auto core = std::make_unique<QCoreApplication>(toolkitArgc, toolkitArgv);
    RenderOptions options;
    const int status = readRenderOptions(arguments, &options);
    if (status >= 0)
        return status;

    QString error;
    if (!options.video && !options.outFiles.numbered() &&
        !readyFolderOf(options.outFiles.pathFor(0), false, &error))
        return fileError(options.outFiles.pathFor(0), error);
    if (options.timeLimit > 0)
        armTimeLimit(options.in, options.timeLimit);
    RenderFrames frames(options);
    bool misuse = false;
    if (!frames.open(&options.span, &error, &misuse))
        return misuse ? usageLine(QStringLiteral("render"), error) : fileError(options.in, error);
    // One scale for every frame: the whole file's depths, measured before the first is drawn.
    if (options.sequenceDepths) {
        SequenceDepths depths;
        if (!measureSequenceDepths(options.in, options.region, &depths, &error))
            return fileError(options.in, error);
        options.givenDepths = true;
        options.nearDepth = depths.nearDepth;
        options.farDepth = depths.farDepth;
    }
    std::unique_ptr<QGuiApplication> gui;
    if (options.legend) {
        core.reset();
        gui = startFontApplication(program);
    }

    // The first frame is read and built while OpenGL starts.
    FramePictures pictures(options);
    pictures.setValueRange(frames.values().range(), frames.values().neutral());
    frames.startFirst(renderView(options));
    const bool drawing = pictures.start(&error);
    frames.waitForFirst();
    if (!drawing)
        return fileError(options.out, error);
    PictureOutput output(options);
    if (!output.open(frames.rate(), &error))
        return fileError(output.pathFor(0), error);

    const auto prepare = [&frames](int32_t frame, MeshedFrame &next, QString *reason) {
        return frames.prepare(frame, next, reason);
    };
    // A frame the region keeps nothing of is drawn, empty, and said; the tool then ends with 1.
    bool emptied = false;
    const auto draw = [&](int32_t frame, MeshedFrame &next, QString *reason) {
        if (next.regionKeptNothing) {
            sayRegionKeptNothing(frame, output.pathFor(frame));
            emptied = true;
        }
        QImage image;
        if (pictures.draw(frame, next, &image, reason) && output.write(frame, std::move(image), reason))
            return true;
        *reason = output.pathFor(frame) + ": " + *reason;
        return false;
    };
    const int outcome =
        exportFrames(options.span, prepare, draw, options.video ? output.pathFor(0) : QString());
    if (outcome != 0)
        return outcome; // an unfinished video is dropped with the output, leaving no file behind
    if (!output.finish(&error))
        return fileError(output.pathFor(0), error);
    return emptied ? 1 : 0;
}
