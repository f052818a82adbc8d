#include "widgets/range_widget.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

constexpr int kHandleSize = 12;
constexpr int kGrooveThickness = 4;

} // namespace

RangeWidget::RangeWidget(Qt::Orientation orientation, QWidget *parent)
    : QWidget(parent), m_orientation(orientation) {
    setMouseTracking(false);
}

QSize RangeWidget::minimumSizeHint() const {
    return m_orientation == Qt::Horizontal ? QSize(4 * kHandleSize, kHandleSize + 4)
                                           : QSize(kHandleSize + 4, 4 * kHandleSize);
}

void RangeWidget::setFirstValue(int firstValue) {
    m_firstValue = std::max(std::min(firstValue, m_maximum), m_minimum);
    emit firstValueChanged(m_firstValue);
    update();
}

void RangeWidget::setSecondValue(int secondValue) {
    m_secondValue = std::max(std::min(secondValue, m_maximum), m_minimum);
    emit secondValueChanged(m_secondValue);
    update();
}

void RangeWidget::setMaximum(int max) {
    if (max < m_minimum) {
        m_maximum = m_minimum;
        m_minimum = max;
    } else {
        m_maximum = max;
    }
    update();
    if (m_firstValue > m_maximum) {
        m_firstValue = m_maximum;
        emit firstValueChanged(m_firstValue);
        update();
    }
    if (m_secondValue > m_maximum) {
        m_secondValue = m_maximum;
        emit secondValueChanged(m_secondValue);
        update();
    }
    emit rangeChanged(m_minimum, m_maximum);
}

void RangeWidget::setMinimum(int min) {
    if (min > m_maximum) {
        m_minimum = m_maximum;
        m_maximum = min;
    } else {
        m_minimum = min;
    }
    update();
    if (m_firstValue < m_minimum) {
        m_firstValue = m_minimum;
        emit firstValueChanged(m_firstValue);
        update();
    }
    if (m_secondValue < m_minimum) {
        m_secondValue = m_minimum;
        emit secondValueChanged(m_secondValue);
        update();
    }
    emit rangeChanged(m_minimum, m_maximum);
}

void RangeWidget::setRange(int min, int max) {
    setMinimum(min);
    setMaximum(max);
}

void RangeWidget::setOrientation(Qt::Orientation orientation) {
    if (orientation == m_orientation)
        return;
    m_orientation = orientation;
    update();
}

int RangeWidget::grooveLength() const {
    return std::max(1, (m_orientation == Qt::Horizontal ? width() : height()) - kHandleSize);
}

// Spans and offsets in 64 bits: from INT_MIN to INT_MAX is more than an int holds.
int64_t RangeWidget::span() const {
    return static_cast<int64_t>(m_maximum) - m_minimum;
}

int RangeWidget::position(int value) const {
    const double fraction = span() == 0 ? 0.0
                                        : static_cast<double>(static_cast<int64_t>(value) - m_minimum) /
                                              static_cast<double>(span());
    return kHandleSize / 2 + static_cast<int>(fraction * grooveLength() + 0.5);
}

int RangeWidget::valueAt(const QPoint &point) const {
    const int along = (m_orientation == Qt::Horizontal ? point.x() : point.y()) - kHandleSize / 2;
    const double fraction = std::clamp(static_cast<double>(along) / grooveLength(), 0.0, 1.0);
    return static_cast<int>(m_minimum + static_cast<int64_t>(fraction * static_cast<double>(span()) + 0.5));
}

QRect RangeWidget::handleRect(int value) const {
    const int p = position(value) - kHandleSize / 2;
    return m_orientation == Qt::Horizontal ? QRect(p, (height() - kHandleSize) / 2, kHandleSize, kHandleSize)
                                           : QRect((width() - kHandleSize) / 2, p, kHandleSize, kHandleSize);
}

void RangeWidget::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &colours = palette();
    const bool horizontal = m_orientation == Qt::Horizontal;
    const QRect groove =
        horizontal
            ? QRect(kHandleSize / 2, (height() - kGrooveThickness) / 2, grooveLength(), kGrooveThickness)
            : QRect((width() - kGrooveThickness) / 2, kHandleSize / 2, kGrooveThickness, grooveLength());
    painter.fillRect(groove, colours.color(QPalette::Mid));
    // The span between the handles in the highlight colour, whichever handle is lower.
    const int low = position(std::min(m_firstValue, m_secondValue));
    const int high = position(std::max(m_firstValue, m_secondValue));
    const QRect span = horizontal ? QRect(low, groove.top(), high - low, kGrooveThickness)
                                  : QRect(groove.left(), low, kGrooveThickness, high - low);
    painter.fillRect(span, colours.color(QPalette::Highlight));
    painter.setPen(colours.color(QPalette::Dark));
    painter.setBrush(colours.color(QPalette::Button));
    painter.drawEllipse(handleRect(m_firstValue));
    painter.drawEllipse(handleRect(m_secondValue));
}

void RangeWidget::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    // The handle nearer to the press follows the pointer; the second wins a tie so that two
    // handles at the maximum can still be pulled apart downwards.
    const int at = m_orientation == Qt::Horizontal ? event->x() : event->y();
    const int toFirst = std::abs(at - position(m_firstValue));
    const int toSecond = std::abs(at - position(m_secondValue));
    m_dragged = toFirst < toSecond ? FirstHandle : SecondHandle;
    emit sliderPressed();
    mouseMoveEvent(event);
}

void RangeWidget::mouseMoveEvent(QMouseEvent *event) {
    if (m_dragged == FirstHandle)
        setFirstValue(valueAt(event->pos()));
    else if (m_dragged == SecondHandle)
        setSecondValue(valueAt(event->pos()));
}

void RangeWidget::mouseReleaseEvent(QMouseEvent *event) {
    if (m_dragged == NoHandle || event->button() != Qt::LeftButton)
        return;
    m_dragged = NoHandle;
    emit sliderReleased();
}
