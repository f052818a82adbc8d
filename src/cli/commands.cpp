#include "cli/commands.h"

#include "cli/command_support.h"
#include "cli/frame_export.h"
#include "cli/progress_line.h"

#include "data/binary_file.h"
#include "data/frame_files.h"
#include "data/frame_source.h"
#include "data/output_name.h"
#include "data/pt_file.h"
#include "data/ptv_frame_decoder.h"
#include "data/region.h"
#include "data/scan_frame_store.h"
#include "geometry/depth_maps.h"
#include "geometry/file_info_rows.h"
#include "geometry/measured_point.h"
#include "render/scan_session.h"
#include "sample/sample_files.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextStream>

#include <cmath>
#include <new>

int runInfo(const QStringList &arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Prints the facts of a scan frame."));
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("A .xyzm, .pt or .ptv file."));
    parser.addOption(kFrameOption);
    const QCommandLineOption pixelOption(QStringLiteral("pixel"),
                                         QStringLiteral("Also print the point measured at column U, row V."),
                                         QStringLiteral("U,V"));
    parser.addOption(pixelOption);
    parser.addOption(kRegionOption);
    parser.addOption(kRegionOutsideOption);
    const QCommandLineOption noiseOption(
        QStringLiteral("noise"),
        QStringLiteral("Also print the temporal noise of a 3D video: the median over the frame of each "
                       "pixel's depth deviation over 30 frames from the frame (reads them all)."));
    parser.addOption(noiseOption);
    const int status = parse(parser, arguments, {QStringLiteral("FILE")});
    if (status >= 0)
        return status;
    int frame = 0;
    if (!frameNumber(parser, &frame))
        return usageError(parser, QStringLiteral("--frame takes a frame number, from 0"));
    Region region;
    const QString regionProblem = takeRegion(parser, &region);
    if (!regionProblem.isEmpty())
        return usageError(parser, regionProblem);
    QPoint pixel;
    const bool pixelAsked = parser.isSet(pixelOption);
    if (pixelAsked && !pixelArgument(parser.value(pixelOption), &pixel))
        return usageError(parser, QStringLiteral("--pixel takes a column and a row, for example 320,240"));
    const QString path = parser.positionalArguments().at(1);
    ScanFrameStore store{ScanFrameStore::NoFrame{}};
    QString error;
    HeaderFacts facts;
    if (!loadScan(store, path, frame, &error, &facts))
        return fileError(path, error);
    const int u = pixel.x(), v = pixel.y();
    if (pixelAsked && (u >= store.width || v >= store.height))
        return usageError(parser, outsideFrame(pixel, store.width, store.height));
    QPair<QString, QString> noiseRow;
    if (parser.isSet(noiseOption)) {
        FrameSource source;
        if (!source.open(path, &error))
            return fileError(path, error);
        if (!source.isSequence() || source.framesFound() < 2)
            return usageError(parser, QStringLiteral("--noise needs a 3D video of two frames or more"));
        DepthFrames frames(source);
        const float noise = medianNoise(frames, frame, kNoiseWindow, &error);
        if (!error.isEmpty())
            return fileError(path, error);
        const auto [first, last] = frameWindow(frame, kNoiseWindow, source.framesFound());
        noiseRow = noiseInfoRow(noise, first, last);
    }
    computeFrameStatistics(store);
    QTextStream out(stdout);
    for (const auto &row : fileInfoRows(store, region))
        out << row.first << ' ' << row.second << '\n';
    if (!noiseRow.first.isEmpty())
        out << noiseRow.first << ' ' << noiseRow.second << '\n';
    for (const QString &line : facts.lines)
        out << line << '\n';
    if (pixelAsked) {
        // Nine digits give every float back exactly.
        out << QStringLiteral("Point at pixel (%1, %2): ").arg(u).arg(v);
        const std::optional<QVector3D> p = measuredPoint(store, u, v);
        if (p && RegionTest(region).keeps(*p))
            out << QString::number(double(p->x()), 'g', 9) << ' ' << QString::number(double(p->y()), 'g', 9)
                << ' ' << QString::number(double(p->z()), 'g', 9) << '\n';
        else
            out << (p ? "outside the region\n" : "nothing measured\n");
    }
    return 0;
}

int runConvert(const QStringList &arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes frames of IN in the format of OUT's ending. Frames are numbered by their index in the "
        "file, from 0. An OUT with a frame number, such as 'frames/walk_%04d.ply', writes one file per "
        "frame, named by that index."));
    parser.addPositionalArgument(QStringLiteral("IN"), QStringLiteral("A .xyzm, .pt or .ptv file."));
    parser.addPositionalArgument(
        QStringLiteral("OUT"), QStringLiteral("A .xyzm, .pt or .ply file; %d or %04d in it numbers frames."));
    parser.addOption(kFrameOption);
    parser.addOption(kFramesOption);
    parser.addOption(kHideJumpsOption);
    parser.addOption(kRegionOption);
    parser.addOption(kRegionOutsideOption);
    const QCommandLineOption sessionOption(
        QStringLiteral("session"),
        QStringLiteral("Cut to the region of the viewer's session in FILE (Views, \"Export session...\") "
                       "where --region and --region-outside give none; the session is checked whole before "
                       "anything is read."),
        QStringLiteral("FILE"));
    parser.addOption(sessionOption);
    const int status = parse(parser, arguments, {QStringLiteral("IN"), QStringLiteral("OUT")});
    if (status >= 0)
        return status;
    const QString in = parser.positionalArguments().at(1);
    OutputName out;
    QString error;
    if (!out.parse(parser.positionalArguments().at(2), &error))
        return usageError(parser, error);
    const QString ending = out.ending();
    if (!FrameFiles::writesEnding(ending))
        return usageError(parser, QStringLiteral("OUT must end in .xyzm, .pt or .ply"));
    FrameSpan span;
    error = frameSpanArguments(parser, out.numbered(), &span);
    if (!error.isEmpty())
        return usageError(parser, error);
    bool hideJumps = false;
    float jumpFactor = 5.0f;
    if (!takeHideJumps(parser, &hideJumps, &jumpFactor))
        return usageError(parser, kJumpFactorProblem);
    if (hideJumps && ending != QLatin1String("ply"))
        return usageError(parser, QStringLiteral("--hide-jumps needs a .ply OUT: only a mesh has triangles"));
    Region region;
    error = takeRegion(parser, &region);
    if (!error.isEmpty())
        return usageError(parser, error);
    // A session is read whole, or the export stops at its first wrong key; its region cuts where no
    // box is given.
    ScanSession session;
    if (parser.isSet(sessionOption) && !session.readFile(parser.value(sessionOption), &error))
        return fileError(parser.value(sessionOption), error);
    if (session.region && !region.isSet())
        region = *session.region;
    // Said, not refused: a script converting every capture with one box gets its .pt files whole.
    if (region.isSet() && !FrameFiles::cutsToRegion(ending))
        QTextStream(stderr) << "pelnor: the region does not apply to a .pt, which keeps the raw phase of "
                               "the whole frame\n";

    MeshSettings settings;
    settings.hideDepthJumps = hideJumps;
    settings.depthJumpFactor = jumpFactor;
    const FrameFiles files(out, settings, region);
    // A frame the region keeps nothing of is written, empty, and said; the tool then ends with 1.
    bool emptied = false;
    const auto write = [&](int32_t frame, MeshedFrame &shaped, QString *reason) {
        if (shaped.regionKeptNothing) {
            sayRegionKeptNothing(frame, out.pathFor(frame));
            emptied = true;
        }
        return files.write(frame, shaped, reason);
    };
    // A folder that cannot take the one file is named before anything is read.
    if (!out.numbered() && !readyFolderOf(out.pathFor(0), false, &error))
        return fileError(out.pathFor(0), error);
    FrameSource source;
    if (!source.open(in, &error) || !fitFrameSpan(source, in, &span, &error))
        return fileError(in, error);
    // Reading, decoding and triangulating run a frame ahead of the writing.
    const auto prepare = [&](int32_t frame, MeshedFrame &shaped, QString *reason) {
        if (!source.readFrame(frame, shaped.frame, reason)) {
            *reason = in + ": " + *reason;
            return false;
        }
        files.shape(shaped);
        return true;
    };
    const int outcome = exportFrames(span, prepare, write);
    return outcome == 0 && emptied ? 1 : outcome;
}

int runSample(const QStringList &arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes a synthetic capture of a virtual camera and projector filming smooth shapes."));
    parser.addPositionalArgument(QStringLiteral("OUT"), QStringLiteral("A .pt, .xyzm or .ptv file."));
    parser.addOption({QStringLiteral("size"), QStringLiteral("Frame size, default 640x480."),
                      QStringLiteral("WxH"), QStringLiteral("640x480")});
    parser.addOption({QStringLiteral("frames"), QStringLiteral("Frames of a .ptv sequence, default 30."),
                      QStringLiteral("N"), QStringLiteral("30")});
    parser.addOption({QStringLiteral("rate"),
                      QStringLiteral("Frames per second of a .ptv sequence, default 15."),
                      QStringLiteral("FPS"), QStringLiteral("15")});
    parser.addOption(
        {QStringLiteral("scene"),
         QStringLiteral(
             "studio (default), off-centre (one shape beside the optical axis) or "
             "centre-hole (the studio with nothing measured at the image centre) or approach (a disc "
             "coming nearer to the camera in front of a still wall, with a camera's noise)."),
         QStringLiteral("SCENE"), QStringLiteral("studio")});
    const int status = parse(parser, arguments, {QStringLiteral("OUT")});
    if (status >= 0)
        return status;
    int width = 0, height = 0;
    if (!parseSize(parser.value(QStringLiteral("size")), &width, &height))
        return usageError(parser, QStringLiteral("--size takes WxH, for example 1280x1024"));
    // No sample the readers would refuse.
    QString tooLarge;
    if (!checkFrameSize(width, height, &tooLarge))
        return usageError(parser, "--size: " + tooLarge);
    bool framesOk = false, rateOk = false;
    const int frames = parser.value(QStringLiteral("frames")).toInt(&framesOk);
    const float rate = parser.value(QStringLiteral("rate")).toFloat(&rateOk);
    if (!framesOk || frames < 1 || !rateOk || !(rate > 0.0f) || !std::isfinite(rate))
        return usageError(parser,
                          QStringLiteral("--frames takes a count of at least 1 and --rate a rate above 0"));
    VirtualScanner::Scene kind = VirtualScanner::Studio;
    if (!sceneNamed(parser.value("scene"), &kind))
        return usageError(parser,
                          QStringLiteral("--scene takes studio, off-centre, centre-hole or approach"));
    const QString path = parser.positionalArguments().at(1);
    const QString ending = QFileInfo(path).suffix().toLower();
    if (!writesSampleEnding(ending))
        return usageError(parser, QStringLiteral("OUT must end in .pt, .xyzm or .ptv"));
    QString error;
    if (!readyFolderOf(path, false, &error))
        return fileError(path, error);
    // A long sequence shows the exports' progress line on a terminal.
    ProgressLine progress(ending == QLatin1String("ptv") ? frames : 1);
    const bool written = writeSample(path, width, height, frames, rate, &error, kind,
                                     [&progress](int32_t frame) { progress.step(frame, frame + 1); });
    progress.finish();
    return written ? 0 : fileError(path, error);
}

int runSeries(const QStringList &arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes the depth of pixels over the frames of a 3D video as comma-separated values: a header "
        "line, then one line a frame with its index, its time in seconds and the depth at each pixel, "
        "empty where nothing is measured. A pixel's depth is the median of the depths measured in the "
        "K x K block around it; depth is the distance along the axis of the scanner's camera."));
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("A .ptv file (or a single frame)."));
    const QCommandLineOption pixelOption(
        QStringLiteral("pixel"), QStringLiteral("Follow column U, row V; give --pixel once for each pixel."),
        QStringLiteral("U,V"));
    const QCommandLineOption windowOption(
        QStringLiteral("window"),
        QStringLiteral(
            "The side of the block around each pixel, an odd number; default 5 (1: the pixel alone)."),
        QStringLiteral("K"), QStringLiteral("5"));
    const QCommandLineOption framesOption(
        QStringLiteral("frames"),
        QStringLiteral("Frames A to B, by index in the file from 0 (default every frame the file holds)."),
        QStringLiteral("A-B"));
    const QCommandLineOption outOption({QStringLiteral("o"), QStringLiteral("output")},
                                       QStringLiteral("Write the values to OUT instead of standard output."),
                                       QStringLiteral("OUT.csv"));
    for (const QCommandLineOption &option : {pixelOption, windowOption, framesOption, outOption})
        parser.addOption(option);
    const int status = parse(parser, arguments, {QStringLiteral("FILE")});
    if (status >= 0)
        return status;
    std::vector<QPoint> pixels;
    for (const QString &value : parser.values(pixelOption)) {
        pixels.emplace_back();
        if (!pixelArgument(value, &pixels.back()))
            return usageError(parser,
                              QStringLiteral("--pixel takes a column and a row, for example 320,240"));
    }
    if (pixels.empty())
        return usageError(parser, QStringLiteral("--pixel U,V is needed: the pixel to follow"));
    bool ok = false;
    const int window = parser.value(windowOption).toInt(&ok);
    if (!ok || window < 1 || window % 2 == 0 || window > 99)
        return usageError(parser, QStringLiteral("--window takes an odd number from 1 to 99, for example 5"));
    FrameSpan span;
    if (parser.isSet(framesOption)) {
        const QString problem = frameRangeArgument(parser.value(framesOption), &span);
        if (!problem.isEmpty())
            return usageError(parser, problem);
    }
    const QString path = parser.positionalArguments().at(1);
    FrameSource source;
    QString error;
    if (!source.open(path, &error))
        return fileError(path, error);
    for (const QPoint &pixel : pixels)
        if (pixel.x() >= source.width() || pixel.y() >= source.height())
            return usageError(parser, outsideFrame(pixel, source.width(), source.height()));
    if (!fitFrameSpan(source, path, &span, &error))
        return fileError(path, error);

    const QString outPath = parser.value(outOption);
    QSaveFile file(outPath);
    file.setDirectWriteFallback(true);
    QFile standardOut;
    QIODevice *device = &file;
    if (outPath.isEmpty()) {
        standardOut.open(stdout, QIODevice::WriteOnly);
        device = &standardOut;
    } else if (!readyFolderOf(outPath, false, &error) || !file.open(QIODevice::WriteOnly)) {
        return fileError(outPath, error.isEmpty() ? file.errorString() : error);
    }
    QTextStream out(device);
    out << seriesHeader(pixels) << '\n';
    ProgressLine progress(span.count());
    DepthFrames frames(source);
    const double rate = source.frameRate();
    const bool read = frames.series(
        pixels, window, span.first, span.last,
        [&](int32_t frame, const float *values) {
            out << seriesLine(frame, rate, values, pixels.size()) << '\n';
            progress.step(frame, frame - span.first + 1);
            return true;
        },
        &error);
    progress.finish();
    out.flush();
    if (!read)
        return fileError(path, error);
    if (!outPath.isEmpty() && !file.commit())
        return fileError(outPath, file.errorString());
    return 0;
}
