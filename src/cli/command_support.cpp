#include "cli/command_support.h"

#include "data/binary_file.h"
#include "data/frame_source.h"
#include "data/pt_file.h"
#include "data/region.h"
#include "data/scan_format.h"
#include "data/scan_frame_store.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

#include <cmath>
#include <new>

namespace {

// The toolkit's help starts its usage line with the path the program was started by. A user typed
// "pelnor COMMAND", the first argument parsed, which is no argument the help should list.
QString commandHelp(const QCommandLineParser &parser) {
    QString text = parser.helpText();
    const QString started = "Usage: " + QCoreApplication::arguments().constFirst();
    if (text.startsWith(started))
        text.replace(0, started.size(), "Usage: pelnor " + parser.positionalArguments().value(0));
    return text;
}

// "pelnor: message" and where the command's help is.
int usageLine(const QString &command, const QString &message) {
    QTextStream(stderr) << "pelnor: " << message << "\nRun 'pelnor " << command
                        << " --help' for its arguments and options.\n";
    return 2;
}

// The arguments with a bare --hide-jumps given its default, so that the parser, which knows no
// optional values, reads "--hide-jumps" and "--hide-jumps 8" alike. `follower` is the word after a
// bare one that is no number: the parser takes it for a positional argument.
QStringList withJumpFactor(QStringList arguments, QString *follower) {
    const QString bare = QStringLiteral("--hide-jumps");
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments[i] != bare)
            continue;
        bool number = false;
        arguments.value(i + 1).toDouble(&number);
        if (number) {
            arguments[i] += QLatin1Char('=') + arguments.takeAt(i + 1);
        } else {
            arguments[i] += QStringLiteral("=5");
            *follower = arguments.value(i + 1);
        }
    }
    return arguments;
}

// The toolkit's "Unknown option 'x'." in the form of the tool's own messages.
QString asToolMessage(QString text) {
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

} // namespace

int usageError(const QCommandLineParser &parser, const QString &message) {
    return usageLine(parser.positionalArguments().value(0), message);
}

int fileError(const QString &path, const QString &reason) {
    QTextStream(stderr) << "pelnor: " << path << ": " << reason << "\n";
    return 1;
}

const QCommandLineOption kRegionOption(
    QStringLiteral("region"),
    QStringLiteral("Keep only what lies inside the box with corners X0,Y0,Z0 and X1,Y1,Z1, in the scan's "
                   "coordinates (faces included)."),
    QStringLiteral("X0,Y0,Z0,X1,Y1,Z1"));
const QCommandLineOption
    kRegionOutsideOption(QStringLiteral("region-outside"),
                         QStringLiteral("Keep only what lies outside that box, to cut a part away."),
                         QStringLiteral("X0,Y0,Z0,X1,Y1,Z1"));

QString regionOf(const QString &value, bool inside, Region *region) {
    const QString name = inside ? QStringLiteral("--region") : QStringLiteral("--region-outside");
    const QStringList parts = value.split(QLatin1Char(','));
    float numbers[6] = {};
    bool ok = parts.size() == 6;
    for (int i = 0; i < 6 && ok; ++i)
        numbers[i] = parts[i].trimmed().toFloat(&ok);
    if (!ok)
        return name + QStringLiteral(" takes two opposite corners of a box, X0,Y0,Z0,X1,Y1,Z1, for "
                                     "example -200,-200,500,200,200,800");
    *region = Region::fromCorners(QVector3D(numbers[0], numbers[1], numbers[2]),
                                  QVector3D(numbers[3], numbers[4], numbers[5]), inside);
    const QString problem = Region::problem(region->centre, region->size, region->angles);
    return problem.isEmpty() ? problem : name + ": " + problem;
}

QString takeRegion(const QCommandLineParser &parser, Region *region) {
    *region = Region();
    if (parser.isSet(kRegionOption) && parser.isSet(kRegionOutsideOption))
        return QStringLiteral("--region and --region-outside exclude each other: give one box");
    if (parser.isSet(kRegionOption))
        return regionOf(parser.value(kRegionOption), true, region);
    if (parser.isSet(kRegionOutsideOption))
        return regionOf(parser.value(kRegionOutsideOption), false, region);
    return {};
}

void sayRegionKeptNothing(int frame, const QString &path) {
    QTextStream(stderr)
        << QStringLiteral("pelnor: %1: the region keeps no point of frame %2\n").arg(path).arg(frame);
}

const QCommandLineOption
    kFrameOption(QStringLiteral("frame"),
                 QStringLiteral("Frame K of a .ptv sequence, by its index in the file from 0 (default 0, "
                                "the first frame), decoded as playback decodes it."),
                 QStringLiteral("K"));

bool frameNumber(const QCommandLineParser &parser, int *frame) {
    *frame = 0;
    if (!parser.isSet(kFrameOption))
        return true;
    bool ok = false;
    *frame = parser.value(kFrameOption).toInt(&ok);
    return ok && *frame >= 0;
}

int parse(QCommandLineParser &parser, const QStringList &arguments, const QStringList &positionals) {
    parser.addHelpOption();
    QString follower;
    if (!parser.parse(QStringList{QStringLiteral("pelnor")} + withJumpFactor(arguments, &follower)))
        return usageLine(arguments.value(0), asToolMessage(parser.errorText()));
    if (parser.isSet(QStringLiteral("help"))) {
        QTextStream(stdout) << commandHelp(parser);
        return 0;
    }
    const QStringList given = parser.positionalArguments().mid(1);
    if (given.size() < positionals.size())
        return usageError(parser, "missing " + positionals.mid(given.size()).join(QStringLiteral(" and ")));
    if (given.size() > positionals.size() && !follower.isEmpty() && given.contains(follower))
        return usageError(parser, kJumpFactorProblem + ", not '" + follower + "'");
    if (given.size() > positionals.size())
        return usageError(parser, "unexpected argument '" + given.at(positionals.size()) + "'");
    return -1;
}

bool parseSize(const QString &text, int *width, int *height) {
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$")).match(text);
    *width = size.captured(1).toInt();
    *height = size.captured(2).toInt();
    return size.hasMatch() && *width >= 1 && *height >= 1;
}

const QCommandLineOption kHideJumpsOption(
    QStringLiteral("hide-jumps"),
    QStringLiteral("Leave out the triangles that join surfaces at different depths: an edge longer than K "
                   "pixel footprints at its depth (default 5)."),
    QStringLiteral("K"));

const QString kJumpFactorProblem = QStringLiteral("--hide-jumps takes a factor above 0, for example 5");

bool jumpFactorOf(const QString &value, float *factor) {
    bool ok = false;
    *factor = value.toFloat(&ok);
    return ok && *factor > 0.0f && std::isfinite(*factor);
}

bool takeHideJumps(const QCommandLineParser &parser, bool *hide, float *factor) {
    *hide = parser.isSet(kHideJumpsOption);
    *factor = 5.0f;
    return !*hide || jumpFactorOf(parser.value(kHideJumpsOption), factor);
}

namespace {

QString numbers(const double *values, int count) {
    QStringList text;
    for (int i = 0; i < count; ++i)
        text << QString::number(values[i], 'g', 10);
    return text.join(' ');
}

QString textureKind(uint8_t colorTexture, int32_t mosaicCode) {
    if (colorTexture)
        return QStringLiteral("three bytes per pixel");
    return mosaicCode >= 0
               ? QStringLiteral("one byte per pixel, colour mosaic (mosaic code %1)").arg(mosaicCode)
               : QStringLiteral("one byte per pixel, grey (mosaic code %1)").arg(mosaicCode);
}

// A capture time as the scanner wrote it; a scanner that wrote none leaves zero bytes, which would
// end the line early on a terminal and cut the rest of the facts off for a program reading them.
QString captureTimeText(const char (&time)[16]) {
    return QString::fromLatin1(time, static_cast<int>(qstrnlen(time, sizeof time)));
}

QStringList calibrationFacts(const CalibrationBlocks &calibration) {
    return {"Camera projection: " + numbers(calibration.cameraProjection, 12),
            "Projector projection: " + numbers(calibration.projectorProjection, 12)};
}

// What a sequence's header says, as File Info and the frame's own facts leave it out.
void sequenceFacts(const PtvHeader &header, int frame, HeaderFacts *facts) {
    // Which frame the facts are of, as File Info tells it.
    facts->lines << QStringLiteral("Frame: %1 / %2").arg(frame).arg(header.framesFound);
    facts->lines << QStringLiteral("Format: PTV") << QStringLiteral("Version: %1").arg(header.version)
                 << "Capture time: " + captureTimeText(header.captureTime)
                 << QStringLiteral("Frame rate: %1").arg(static_cast<double>(header.frameRate))
                 << QStringLiteral("Frame count: %1").arg(header.frameCount);
    const QString shortBy = shortSequenceMessage(header);
    if (!shortBy.isEmpty())
        facts->lines << "Frames found: " + QString::number(header.framesFound) + " (" + shortBy + ")";
    facts->lines << (header.colorTexture ? QStringLiteral("Texture: three bytes per pixel")
                                         : QStringLiteral("Texture: one byte per pixel, colour mosaic"))
                 << calibrationFacts(header.calibration);
}

} // namespace

bool loadScan(ScanFrameStore &store, const QString &path, int frame, QString *error, HeaderFacts *facts) {
    const ScanFormat format = scanFormatOf(path);
    if (frame != 0 && format != ScanFormat::Ptv) {
        if (error)
            *error = QStringLiteral("frame %1 is not in the file, which holds one frame, 0").arg(frame);
        return false;
    }
    PtHeader header;
    if (format == ScanFormat::Ptv) {
        FrameSource source;
        if (!source.open(path, error) || !source.readFrame(frame, store, error))
            return false;
        if (facts)
            sequenceFacts(source.sequenceHeader(), frame, facts);
    } else if (!loadFrameFile(store, path, error, &header)) {
        return false;
    } else if (facts && format == ScanFormat::Xyzm) {
        facts->lines << QStringLiteral("Format: XYZM");
    } else if (facts) {
        facts->lines << QStringLiteral("Format: PT") << QStringLiteral("Version: %1").arg(header.version)
                     << "Capture time: " + captureTimeText(header.captureTime)
                     << "Texture: " + textureKind(header.colorTexture, header.mosaicCode)
                     << calibrationFacts(header.calibration);
    }
    store.fileName = QFileInfo(path).fileName();
    store.filePath = QFileInfo(path).absoluteFilePath();
    return true;
}

void computeFrameStatistics(ScanFrameStore &store) {
    if (store.frameKind == XyzmFrame)
        store.computeCoordinateStatistics();
    else
        store.computePhaseStatistics();
}
