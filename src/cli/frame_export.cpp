#include "cli/frame_export.h"

#include "cli/command_support.h"
#include "cli/progress_line.h"
#include "data/frame_source.h"

#include <QRegularExpression>
#include <QTextStream>

#include <csignal>

namespace {

volatile std::sig_atomic_t interruptedBy = 0;

void noteInterrupt(int signal) {
    interruptedBy = signal;
}

// While an export runs, Ctrl+C or a polite kill ends it between two frames, so that the file in
// hand is dropped whole instead of leaving its temporary behind. A second signal ends the process
// at once.
class InterruptBetweenFrames {
  public:
    InterruptBetweenFrames() {
        interruptedBy = 0;
        struct sigaction action = {};
        action.sa_handler = noteInterrupt;
        action.sa_flags = SA_RESETHAND | SA_RESTART;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &m_int);
        sigaction(SIGTERM, &action, &m_term);
    }
    ~InterruptBetweenFrames() {
        sigaction(SIGINT, &m_int, nullptr);
        sigaction(SIGTERM, &m_term, nullptr);
    }
    int signal() const { return interruptedBy; }

  private:
    struct sigaction m_int = {};
    struct sigaction m_term = {};
};

} // namespace

const QCommandLineOption kFramesOption(
    QStringLiteral("frames"),
    QStringLiteral("Frames A to B, by index in the file from 0, for an OUT with a frame number or a "
                   "video (default every frame of the file)."),
    QStringLiteral("A-B"));

QString frameSpanArguments(const QCommandLineParser &parser, bool many, FrameSpan *span) {
    *span = FrameSpan();
    if (!many) {
        if (parser.isSet(kFramesOption))
            return QStringLiteral("--frames needs an OUT with a frame number, such as walk_%04d.ply, or "
                                  "a video");
        int frame = 0;
        if (!frameNumber(parser, &frame))
            return QStringLiteral("--frame takes a frame number, from 0");
        span->first = span->last = frame;
        return {};
    }
    if (parser.isSet(kFrameOption))
        return QStringLiteral("--frame picks one frame for one file; use --frames A-B with a numbered "
                              "OUT or a video");
    if (!parser.isSet(kFramesOption))
        return {};
    return frameRangeArgument(parser.value(kFramesOption), span);
}

QString frameRangeArgument(const QString &value, FrameSpan *span) {
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^(\\d{1,9})(?:-(\\d{1,9}))?$")).match(value);
    span->first = match.captured(1).toInt();
    span->last = match.captured(2).isEmpty() ? span->first : match.captured(2).toInt();
    if (!match.hasMatch() || span->last < span->first)
        return QStringLiteral("--frames takes A-B, two frame numbers from 0 with A not above B");
    return {};
}

bool fitFrameSpan(const FrameSource &source, const QString &path, FrameSpan *span, QString *error) {
    const int32_t found = source.framesFound();
    if (span->first < 0) {
        // A recording cut short is exported as far as it goes; what is missing is said once.
        span->first = 0;
        span->last = found - 1;
        if (!source.shortfall().isEmpty())
            QTextStream(stderr) << "pelnor: " << path << ": " << source.shortfall()
                                << QStringLiteral("; frames 0 to %1 are exported\n").arg(found - 1);
        return true;
    }
    if (span->last < found)
        return true;
    if (error) {
        *error =
            (span->first == span->last
                 ? QStringLiteral("frame %1 is not in the file").arg(span->first)
                 : QStringLiteral("frames %1-%2 are not all in the file").arg(span->first).arg(span->last)) +
            (found == 1 ? QStringLiteral(", which holds one frame, 0")
                        : QStringLiteral(", which holds frames 0 to %1").arg(found - 1));
        if (!source.shortfall().isEmpty())
            *error += " (" + source.shortfall() + ")";
    }
    return false;
}

int exportFrames(const FrameSpan &span, const FramePipeline::Stage &prepare,
                 const FramePipeline::Stage &consume, const QString &oneFile) {
    ProgressLine progress(span.count());
    InterruptBetweenFrames interrupt;
    int32_t done = 0;
    FramePipeline pipeline;
    QString error;
    const bool ok = pipeline.run(
        span.first, span.last, prepare,
        [&](int32_t frame, MeshedFrame &meshed, QString *reason) {
            if (interrupt.signal()) {
                *reason = QStringLiteral("interrupted before frame %1").arg(frame);
                return false;
            }
            if (!consume(frame, meshed, reason))
                return false;
            progress.step(frame, ++done);
            return true;
        },
        &error);
    progress.finish();
    if (ok)
        return 0;
    QTextStream err(stderr);
    err << "pelnor: " << error;
    if (!oneFile.isEmpty())
        err << "; " << oneFile << " is not written";
    else if (done > 0)
        err << (done == 1 ? QStringLiteral("; frame %1 is written").arg(span.first)
                          : QStringLiteral("; frames %1 to %2 are written")
                                .arg(span.first)
                                .arg(span.first + done - 1));
    err << "\n";
    return interrupt.signal() ? 128 + interrupt.signal() : 1;
}
