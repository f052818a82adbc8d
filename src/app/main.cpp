#include "app/scan_file_names.h"
#include "app/viewer_command_line.h"
#include "app/viewer_window.h"
#include "app/window_placement.h"
#include "support/allocator_tuning.h"
#include "view/viewer_log.h"

#include <QApplication>
#include <QFile>
#include <QSettings>
#include <QSurfaceFormat>
#include <QTextStream>
#include <QVector>

#include <cstdio>
#include <cstdlib>

namespace {

void applyStyleSheet(QApplication &app) {
    QFile file(QStringLiteral(":qdarkstyle/style.qss"));
    if (!file.exists()) {
        qCDebug(viewerLog).noquote() << "Style sheet file not found, unable to set stylesheet.";
        return;
    }
    qCDebug(viewerLog).noquote() << "Style sheet file found, setting the style.";
    file.open(QFile::ReadOnly | QFile::Text);
    QTextStream stream(&file);
    app.setStyleSheet(stream.readAll());
}

// While the toolkit looks for its display, what it says is held back: where it finds none it would
// end the program with an abort and advice to reinstall it, and one line saying what to do serves
// better. Anything else it says comes out as it would have.
struct HeldMessage {
    QtMsgType type;
    QString category;
    QString text;
};
QVector<HeldMessage> heldMessages;

// The messages held back while the toolkit started, said now as they would have been.
void sayHeldMessages() {
    qInstallMessageHandler(nullptr);
    const QByteArray file = QByteArrayLiteral(__FILE__);
    for (const HeldMessage &held : qAsConst(heldMessages)) {
        const QByteArray category = held.category.toLatin1();
        const QMessageLogContext context(file.constData(), 0, nullptr, category.constData());
        qt_message_output(held.type, context, held.text);
    }
    heldMessages.clear();
}

void holdBackWhileStarting(QtMsgType type, const QMessageLogContext &context, const QString &text) {
    if (type != QtFatalMsg) {
        heldMessages.push_back(
            {type, QString::fromLatin1(context.category ? context.category : "default"), text});
        return;
    }
    const QString noDisplay = QStringLiteral("could not connect to display");
    for (const HeldMessage &held : qAsConst(heldMessages)) {
        if (!held.text.startsWith(noDisplay))
            continue;
        const QString name = held.text.mid(noDisplay.size()).trimmed();
        QTextStream(stderr) << "pelnor-viewer: "
                            << (name.isEmpty() ? QStringLiteral("no display (DISPLAY is not set)")
                                               : QStringLiteral("could not open display ") + name)
                            << "; the viewer needs one: run it under a virtual one with 'xvfb-run -a "
                               "pelnor-viewer', or draw pictures without one with 'pelnor render'\n";
        std::fflush(stderr);
        std::_Exit(1);
    }
    sayHeldMessages();
    qt_message_output(type, context, text);
}

} // namespace

int main(int argc, char *argv[]) {
    // Help, the version and a wrong option are answered before the toolkit looks for a display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    {
        QTextStream out(stdout), err(stderr);
        const int answered = answerCommandLine(arguments, out, err);
        if (answered >= 0)
            return answered;
    }
    keepLargeAllocations();
    Q_INIT_RESOURCE(icons);
    Q_INIT_RESOURCE(style);
    QCoreApplication::setAttribute(Qt::AA_DisableHighDpiScaling, true);
    qInstallMessageHandler(holdBackWhileStarting);
    QApplication app(argc, argv);
    sayHeldMessages();
    QApplication::setApplicationVersion(QStringLiteral(PELNOR_VERSION));
    // What the viewer remembers between runs lives under the program's own name.
    QApplication::setOrganizationName(QStringLiteral("pelnor"));
    QApplication::setApplicationName(QStringLiteral("pelnor-viewer"));
    if (resetSettingsAsked(arguments))
        QSettings().clear();
    // Lets the desktop match the window with its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("pelnor-viewer"));
    applyStyleSheet(app);

    QSurfaceFormat format;
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    QSurfaceFormat::setDefaultFormat(format);

    qRegisterMetaType<QVector<int>>();
    qRegisterMetaType<QVector<float>>();

    ViewerWindow window;
    const bool restored = restoreWindowLayout(window);
    window.show();
    if (!restored)
        placeOnPrimaryScreen(window);
    // Without a window manager nothing else makes the window active, and its keys would wait for a click.
    window.activateWindow();

    // QApplication has taken its own options out of argv by now.
    QStringList left;
    for (int i = 1; i < argc; ++i)
        left << QString::fromUtf8(argv[i]);
    const QString path = fileArgument(left);
    if (isScanFileEnding(scanFileEnding(path)))
        window.openFile(path);
    return app.exec();
}
