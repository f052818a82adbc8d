#include "cli/commands.h"
#include "support/allocator_tuning.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTextStream>

#include <memory>

namespace {

const char kUsage[] =
    "Usage: pelnor COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  info FILE [--frame K] [--pixel U,V] [--noise] [--region BOX | --region-outside BOX]\n"
    "                                 print the facts of a scan frame\n"
    "  convert IN OUT [--frame K | --frames A-B] [--hide-jumps [K]]\n"
    "                 [--region BOX | --region-outside BOX] [--session FILE]\n"
    "                                 write frames of IN as .xyzm, .pt or .ply\n"
    "  sample OUT [--size WxH] [--frames N] [--rate FPS] [--scene S]\n"
    "                                 write a synthetic capture (.pt, .xyzm or .ptv)\n"
    "  render IN OUT [--size WxH|N] [--style S] [--color C] [--light L] [--legend]\n"
    "                [--depth-range NEAR,FAR|fit|sequence] [--turn AX,AY | --view FILE]\n"
    "                [--session FILE] [--hide-jumps [K]] [--edl [STRENGTH]]\n"
    "                [--point-size PIXELS|auto] [--transparent] [--time-limit S]\n"
    "                [--frame K | --frames A-B] [--region BOX | --region-outside BOX]\n"
    "                [--reference previous|K|mean:N] [--change-range R]\n"
    "                                 draw frames of IN as the viewer does, into images or an .mp4 video\n"
    "  series FILE --pixel U,V [--pixel U,V ...] [--window K] [--frames A-B] [-o OUT.csv]\n"
    "                                 write the depth at pixels over the frames of a 3D video as CSV\n"
    "\n"
    "Frames are numbered by their index in the file, from 0; --frame defaults to 0, the first frame.\n"
    "An OUT with a frame number, such as 'frames/walk_%04d.ply', writes one file per frame, named by\n"
    "that index, for every frame of the file or those --frames picks.\n"
    "A BOX is X0,Y0,Z0,X1,Y1,Z1, two opposite corners in the scan's coordinates: --region keeps what\n"
    "lies inside it, --region-outside what lies outside, in the facts, the files and the pictures alike.\n"
    "\n"
    "Run 'pelnor COMMAND --help' for the options of a command.\n";

} // namespace

int main(int argc, char *argv[]) {
    keepLargeAllocations();
    // Taken before any application object exists: the toolkit would take --style and other
    // options of its own from them.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QString command = arguments.value(0);
    // Rendering starts its painting application itself, once its input has been read.
    std::unique_ptr<QCoreApplication> app(
        command == QLatin1String("render") ? nullptr : new QCoreApplication(argc, argv));
    // The core's debug lines serve the viewer's log; a script wants only the answer.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    QCoreApplication::setApplicationName(QStringLiteral("pelnor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PELNOR_VERSION));
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        QTextStream(stdout) << kUsage;
        return 0;
    }
    if (command == QLatin1String("--version") || command == QLatin1String("-v")) {
        QTextStream(stdout) << "pelnor " << PELNOR_VERSION << "\n";
        return 0;
    }
    if (command == QLatin1String("info"))
        return runInfo(arguments);
    if (command == QLatin1String("convert"))
        return runConvert(arguments);
    if (command == QLatin1String("sample"))
        return runSample(arguments);
    if (command == QLatin1String("render"))
        return runRender(arguments, argv[0]);
    if (command == QLatin1String("series"))
        return runSeries(arguments);
    QTextStream(stderr) << "pelnor: "
                        << (command.isEmpty()
                                ? QStringLiteral(
                                      "a command is needed: info, convert, sample, render or series")
                                : "unknown command '" + command + "'")
                        << "\nRun 'pelnor --help' for the commands and their options.\n";
    return 2;
}
