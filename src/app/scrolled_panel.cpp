#include "app/scrolled_panel.h"

#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>

QScrollArea *scrolledPanel(QWidget *contents) {
    auto *area = new QScrollArea;
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidget(contents);
    area->setMinimumWidth(contents->minimumSizeHint().width() +
                          area->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8);
    return area;
}
