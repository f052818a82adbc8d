#include "app/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

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
