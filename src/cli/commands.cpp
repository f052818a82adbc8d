#include "cli/commands.h"

#include "data/file_info_rows.h"
#include "data/ply_file.h"
#include "data/pt_file.h"
#include "data/scan_frame_store.h"
#include "data/xyzm_file.h"
#include "sample/sample_files.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

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

// Loads a scan file the way the viewer opens it: by its ending, then its mesh and statistics.
bool loadScan(ScanFrameStore &store, const QString &path, QString *error, HeaderFacts *facts) {
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
        if (facts) {
            const QString texture =
                header.colorTexture ? QStringLiteral("three bytes per pixel")
                : header.mosaicCode >= 0
                    ? QStringLiteral("one byte per pixel, colour mosaic (mosaic code %1)")
                          .arg(header.mosaicCode)
                    : QStringLiteral("one byte per pixel, grey (mosaic code %1)").arg(header.mosaicCode);
            facts->lines << QStringLiteral("Format: PT") << QStringLiteral("Version: %1").arg(header.version)
                         << "Capture time: " + QString::fromLatin1(header.captureTime, 16)
                         << "Texture: " + texture
                         << "Camera projection: " + numbers(header.calibration.cameraProjection, 12)
                         << "Projector projection: " + numbers(header.calibration.projectorProjection, 12);
        }
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
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("A .xyzm or .pt file."));
    const int status = parse(parser, arguments, 1);
    if (status >= 0)
        return status;
    const QString path = parser.positionalArguments().at(1);
    ScanFrameStore store;
    QString error;
    HeaderFacts facts;
    if (!loadScan(store, path, &error, &facts))
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
    parser.addPositionalArgument(QStringLiteral("IN"), QStringLiteral("A .xyzm or .pt file."));
    parser.addPositionalArgument(QStringLiteral("OUT"), QStringLiteral("A .xyzm, .pt or .ply file."));
    const int status = parse(parser, arguments, 2);
    if (status >= 0)
        return status;
    const QString in = parser.positionalArguments().at(1);
    const QString out = parser.positionalArguments().at(2);
    const QString ending = QFileInfo(out).suffix().toLower();
    if (ending != QLatin1String("xyzm") && ending != QLatin1String("pt") && ending != QLatin1String("ply"))
        return usageError(parser, QStringLiteral("OUT must end in .xyzm, .pt or .ply"));

    ScanFrameStore store;
    QString error;
    if (!loadScan(store, in, &error, nullptr))
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
    parser.addPositionalArgument(QStringLiteral("OUT"), QStringLiteral("A .pt or .xyzm file."));
    parser.addOption({QStringLiteral("size"), QStringLiteral("Frame size, default 640x480."),
                      QStringLiteral("WxH"), QStringLiteral("640x480")});
    const int status = parse(parser, arguments, 1);
    if (status >= 0)
        return status;
    const QRegularExpressionMatch size = QRegularExpression(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"))
                                             .match(parser.value(QStringLiteral("size")));
    const int width = size.captured(1).toInt(), height = size.captured(2).toInt();
    if (!size.hasMatch() || width < 1 || height < 1)
        return usageError(parser, QStringLiteral("--size takes WxH, for example 1280x1024"));
    const QString path = parser.positionalArguments().at(1);
    const QString ending = QFileInfo(path).suffix().toLower();
    if (ending != QLatin1String("pt") && ending != QLatin1String("xyzm"))
        return usageError(parser, QStringLiteral("OUT must end in .pt or .xyzm"));
    QString error;
    if (!writeSampleFile(path, width, height, &error))
        return fileError(path, error);
    return 0;
}
