#include "cli/commands.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTextStream>

namespace {

const char kUsage[] = "Usage: pelnor COMMAND [OPTIONS]\n"
                      "\n"
                      "Commands:\n"
                      "  info FILE [--frame K]          print the facts of a scan frame\n"
                      "  convert IN OUT [--frame K]     write the frame of IN as .xyzm, .pt or .ply\n"
                      "  sample OUT [--size WxH] [--frames N] [--rate FPS]\n"
                      "                                 write a synthetic capture (.pt, .xyzm or .ptv)\n"
                      "\n"
                      "Run 'pelnor COMMAND --help' for the options of a command.\n";

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    // The core's debug lines serve the viewer's log; a script wants only the answer.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    QCoreApplication::setApplicationName(QStringLiteral("pelnor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PELNOR_VERSION));
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const QString command = arguments.value(0);
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
    QTextStream(stderr) << (command.isEmpty() ? QString() : "pelnor: unknown command '" + command + "'\n")
                        << kUsage;
    return 2;
}
