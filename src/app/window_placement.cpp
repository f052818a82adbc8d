#include "app/window_placement.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QSettings>
#include <QWidget>

namespace {

const QString kGeometryKey = QStringLiteral("window/geometry");
const QString kLayoutKey = QStringLiteral("window/layout");

} // namespace

QRect mainWindowGeometry(const QRect &available) {
    const double w = available.width();
    const double h = available.height();
    return QRect(static_cast<int>(0.05 * w), static_cast<int>(0.05 * h), static_cast<int>(0.7 * w),
                 static_cast<int>(0.7 * h));
}

void placeOnPrimaryScreen(QWidget &window) {
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    window.setGeometry(mainWindowGeometry(screen->availableGeometry()));
}

bool restoreWindowLayout(QMainWindow &window) {
    const QSettings settings;
    if (!window.restoreGeometry(settings.value(kGeometryKey).toByteArray()))
        return false;
    window.restoreState(settings.value(kLayoutKey).toByteArray());
    return true;
}

void saveWindowLayout(const QMainWindow &window) {
    QSettings settings;
    settings.setValue(kGeometryKey, window.saveGeometry());
    settings.setValue(kLayoutKey, window.saveState());
}
