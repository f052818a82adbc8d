#include "cli/commands.h"

#include "data/file_info_rows.h"
#include "data/ply_file.h"
#include "data/pt_file.h"
#include "data/ptv_frame_decoder.h"
#include "data/scan_frame_store.h"
#include "data/xyzm_file.h"
#include "sample/sample_files.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

#include <cmath>

namespace {

// What a file's header said beyond the frame itself, for `info`.
struct HeaderFacts {
    QStringList lines;
};

int usageError(QCommandLineParser &parser, const QString &message) {
    QTextStream(stderr) << "pelnor: " << message << "\n\n" << parser.helpText();
    return 2;
}

int fileError(const QString &path, const QString &reason) {
    QTextStream(stderr) << "pelnor: " << path << ": " << reason << "\n";
    return 1;
}

const QCommandLineOption
    kFrameOption(QStringLiteral("frame"),
                 QStringLiteral("Frame K of a .ptv sequence (default 1), decoded as playback does."),
                 QStringLiteral("K"));

// --frame as a frame number, -1 when not given; false for a value that is no frame number.
bool frameNumber(const QCommandLineParser &parser, int *frame) {
    *frame = -1;
    if (!parser.isSet(kFrameOption))
        return true;
    bool ok = false;
    *frame = parser.value(kFrameOption).toInt(&ok);
    return ok && *frame >= 0;
}

// Parses the command's options; returns -1 to go on, else the exit status.
int parse(QCommandLineParser &parser, const QStringList &arguments, int positionalCount) {
    parser.addHelpOption();
    if (!parser.parse(QStringList{QStringLiteral("pelnor")} + arguments))
        return usageError(parser, parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        QTextStream(stdout) << parser.helpText();
        return 0;
    }
    if (parser.positionalArguments().size() != positionalCount + 1)
        return usageError(parser, QStringLiteral("wrong number of arguments"));
    return -1;
}

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

QStringList calibrationFacts(const CalibrationBlocks &calibration) {
    return {"Camera projection: " + numbers(calibration.cameraProjection, 12),
            "Projector projection: " + numbers(calibration.projectorProjection, 12)};
}

// Opens a sequence and decodes one of its frames as playback does. frame -1 picks the first frame
// playback shows.
bool loadSequenceFrame(ScanFrameStore &store, const QString &path, int frame, QString *error,
                       HeaderFacts *facts) {
    PTVReader reader;
    std::FILE *file = nullptr;
    if (!reader.openStream(path, file, error))
        return false;
    PtvHeader header;
    PtvFrameDecoder decoder;
    const bool loaded =
        reader.readHeader(file, header, error) && beginPtvSequence(store, header, error) &&
        decoder.decodeFrame(file, header, frame < 0 ? nextPtvFrame(0, header.framesFound) : frame, store,
                            error);
    reader.closeStream(file);
    if (loaded && facts) {
        facts->lines << QStringLiteral("Format: PTV") << QStringLiteral("Version: %1").arg(header.version)
                     << "Capture time: " + QString::fromLatin1(header.captureTime, 16)
                     << QStringLiteral("Frame rate: %1").arg(static_cast<double>(header.frameRate))
                     << QStringLiteral("Frame count: %1").arg(header.frameCount);
        const QString shortBy = shortSequenceMessage(header);
        if (!shortBy.isEmpty())
            facts->lines << "Frames found: " + QString::number(header.framesFound) + " (" + shortBy + ")";
        facts->lines << (header.colorTexture ? QStringLiteral("Texture: three bytes per pixel")
                                             : QStringLiteral("Texture: one byte per pixel, colour mosaic"))
                     << calibrationFacts(header.calibration);
    }
    return loaded;
}

// Loads a scan file the way the viewer opens it: by its ending, then its mesh and statistics.
bool loadScan(ScanFrameStore &store, const QString &path, int frame, QString *error, HeaderFacts *facts) {
    const QString ending = QFileInfo(path).suffix().toLower();
    if (ending == QLatin1String("xyzm")) {
        if (!loadXYZMFile(store, path, error, nullptr))
            return false;
        if (facts)
            facts->lines << QStringLiteral("Format: XYZM");
    } else if (ending == QLatin1String("pt")) {
        PtHeader header;
        if (!loadPtFile(store, path, error, &header))
            return false;
        if (facts)
            facts->lines << QStringLiteral("Format: PT") << QStringLiteral("Version: %1").arg(header.version)
                         << "Capture time: " + QString::fromLatin1(header.captureTime, 16)
                         << "Texture: " + textureKind(header.colorTexture, header.mosaicCode)
                         << calibrationFacts(header.calibration);
    } else if (ending == QLatin1String("ptv")) {
        if (!loadSequenceFrame(store, path, frame, error, facts))
            return false;
    } else {
        if (error)
            *error = QStringLiteral("unknown file ending (expected .xyzm, .pt or .ptv)");
        return false;
    }
    store.fileName = QFileInfo(path).fileName();
    store.filePath = QFileInfo(path).absoluteFilePath();
    if (store.frameKind == XyzmFrame) {
        store.buildCoordinateMesh();
    } else {
        store.computePhaseStatistics();
        store.buildPhaseMesh();
    }
    return true;
}

} // namespace

int runInfo(const QStringList &arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Prints the facts of a scan frame."));
    parser.addPositionalArgument(QStringLiteral("info"), QStringLiteral("The command."));
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("A .xyzm, .pt or .ptv file."));
    parser.addOption(kFrameOption);
    const int status = parse(parser, arguments, 1);
    if (status >= 0)
        return status;
    int frame = -1;
    if (!frameNumber(parser, &frame))
        return usageError(parser, QStringLiteral("--frame takes a frame number"));
    const QString path = parser.positionalArguments().at(1);
    ScanFrameStore store;
    QString error;
    HeaderFacts facts;
    if (!loadScan(store, path, frame, &error, &facts))
        return fileError(path, error);
    QTextStream out(stdout);
    for (const auto &row : fileInfoRows(store))
        out << row.first << ' ' << row.second << '\n';
    for (const QString &line : facts.lines)
        out << line << '\n';
    return 0;
}

int runConvert(const QStringList &arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes the frame of IN in the format of OUT's ending."));
    parser.addPositionalArgument(QStringLiteral("convert"), QStringLiteral("The command."));
    parser.addPositionalArgument(QStringLiteral("IN"), QStringLiteral("A .xyzm, .pt or .ptv file."));
    parser.addPositionalArgument(QStringLiteral("OUT"), QStringLiteral("A .xyzm, .pt or .ply file."));
    parser.addOption(kFrameOption);
    const int status = parse(parser, arguments, 2);
    if (status >= 0)
        return status;
    int frame = -1;
    if (!frameNumber(parser, &frame))
        return usageError(parser, QStringLiteral("--frame takes a frame number"));
    const QString in = parser.positionalArguments().at(1);
    const QString out = parser.positionalArguments().at(2);
    const QString ending = QFileInfo(out).suffix().toLower();
    if (ending != QLatin1String("xyzm") && ending != QLatin1String("pt") && ending != QLatin1String("ply"))
        return usageError(parser, QStringLiteral("OUT must end in .xyzm, .pt or .ply"));

    ScanFrameStore store;
    QString error;
    if (!loadScan(store, in, frame, &error, nullptr))
        return fileError(in, error);
    bool written = false;
    if (ending == QLatin1String("xyzm")) {
        written = saveXYZMFile(store, out, &error, nullptr);
    } else if (ending == QLatin1String("pt")) {
        written = savePtFile(store, out, &error);
    } else {
        // PLY carries 3D points with normals: a phase frame is triangulated as the XYZM save does.
        if (store.frameKind != XyzmFrame)
            store.computeCoordinatesFromPhase();
        store.buildCoordinateMesh();
        written = writePlyFile(out, store, &error);
    }
    return written ? 0 : fileError(out, error);
}

int runSample(const QStringList &arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes a synthetic capture of a virtual camera and projector filming smooth shapes."));
    parser.addPositionalArgument(QStringLiteral("sample"), QStringLiteral("The command."));
    parser.addPositionalArgument(QStringLiteral("OUT"), QStringLiteral("A .pt, .xyzm or .ptv file."));
    parser.addOption({QStringLiteral("size"), QStringLiteral("Frame size, default 640x480."),
                      QStringLiteral("WxH"), QStringLiteral("640x480")});
    parser.addOption({QStringLiteral("frames"), QStringLiteral("Frames of a .ptv sequence, default 30."),
                      QStringLiteral("N"), QStringLiteral("30")});
    parser.addOption({QStringLiteral("rate"),
                      QStringLiteral("Frames per second of a .ptv sequence, default 15."),
                      QStringLiteral("FPS"), QStringLiteral("15")});
    const int status = parse(parser, arguments, 1);
    if (status >= 0)
        return status;
    const QRegularExpressionMatch size = QRegularExpression(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"))
                                             .match(parser.value(QStringLiteral("size")));
    const int width = size.captured(1).toInt(), height = size.captured(2).toInt();
    if (!size.hasMatch() || width < 1 || height < 1)
        return usageError(parser, QStringLiteral("--size takes WxH, for example 1280x1024"));
    bool framesOk = false, rateOk = false;
    const int frames = parser.value(QStringLiteral("frames")).toInt(&framesOk);
    const float rate = parser.value(QStringLiteral("rate")).toFloat(&rateOk);
    if (!framesOk || frames < 1 || !rateOk || !(rate > 0.0f) || !std::isfinite(rate))
        return usageError(parser,
                          QStringLiteral("--frames takes a count of at least 1 and --rate a rate above 0"));
    const QString path = parser.positionalArguments().at(1);
    const QString ending = QFileInfo(path).suffix().toLower();
    if (ending != QLatin1String("pt") && ending != QLatin1String("xyzm") && ending != QLatin1String("ptv"))
        return usageError(parser, QStringLiteral("OUT must end in .pt, .xyzm or .ptv"));
    QString error;
    const bool written = ending == QLatin1String("ptv")
                             ? writeSampleSequence(path, width, height, frames, rate, &error)
                             : writeSampleFile(path, width, height, &error);
    return written ? 0 : fileError(path, error);
}
