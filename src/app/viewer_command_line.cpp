#include "app/viewer_command_line.h"

#include <QTextStream>

namespace {

const char kUsage[] =
    "Usage: pelnor-viewer [OPTIONS] [FILE]\n"
    "\n"
    "Shows structured-light scans in an interactive 3D view. FILE, a .xyzm or .pt frame or a .ptv 3D\n"
    "video, is opened at start.\n"
    "\n"
    "Options:\n"
    "  -h, --help     print this help and exit\n"
    "  -v, --version  print the version and exit\n"
    "  --reset-settings\n"
    "                 start as on the first run: forget the window's place and layout, the folders of\n"
    "                 the file dialogs, the recent files and every setting (the sessions kept for\n"
    "                 scans stay)\n"
    "  --             end the options: what follows is FILE, even when it begins with -\n"
    "\n"
    "The GUI toolkit's own options pass, such as -platform NAME, -display DISPLAY, -geometry WxH+X+Y,\n"
    "-style STYLE and -reverse.\n";

// Options of the toolkit (Qt's QGuiApplication and QApplication, and its X11 platform), which it
// takes out of the arguments itself: those followed by a value, and those without one.
const QStringList kToolkitWithValue = {"platform",        "platformpluginpath", "platformtheme", "plugin",
                                       "qwindowgeometry", "qwindowicon",        "qwindowtitle",  "session",
                                       "display",         "geometry",           "style",         "stylesheet",
                                       "qmljsdebugger"};
const QStringList kToolkitAlone = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

const QString kResetSettings = QStringLiteral("--reset-settings");

} // namespace

int answerCommandLine(const QStringList &arguments, QTextStream &out, QTextStream &err) {
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--"))
            break;
        if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            out << kUsage;
            return 0;
        }
        if (argument == QLatin1String("-v") || argument == QLatin1String("--version")) {
            out << "pelnor-viewer " << PELNOR_VERSION << "\n";
            return 0;
        }
        if (!argument.startsWith(QLatin1Char('-')) || argument.size() == 1 || argument == kResetSettings)
            continue;
        // The toolkit reads -name and --name alike, with the value after '=' or as the next argument.
        const QString name =
            argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1).section('=', 0, 0);
        if (kToolkitWithValue.contains(name)) {
            if (!argument.contains(QLatin1Char('=')))
                ++i;
            continue;
        }
        if (kToolkitAlone.contains(name))
            continue;
        err << "pelnor-viewer: unknown option '" << argument << "'\n\n" << kUsage;
        return 2;
    }
    return -1;
}

QString fileArgument(const QStringList &arguments) {
    const int end = arguments.indexOf(QStringLiteral("--"));
    if (end >= 0)
        return arguments.value(end + 1);
    QStringList left = arguments;
    left.removeAll(kResetSettings);
    return left.value(0);
}

bool resetSettingsAsked(const QStringList &arguments) {
    const int at = arguments.indexOf(kResetSettings);
    const int end = arguments.indexOf(QStringLiteral("--"));
    return at >= 0 && (end < 0 || at < end);
}
