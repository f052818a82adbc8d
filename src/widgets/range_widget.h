#pragma once

#include <QWidget>

#include <cstdint>

// A slider with two handles over one range, for choosing a span such as a depth window. The
// handles are not ordered: the first may sit above the second.
class RangeWidget : public QWidget {
    Q_OBJECT

  public:
    explicit RangeWidget(Qt::Orientation orientation = Qt::Horizontal, QWidget *parent = nullptr);

    Qt::Orientation orientation() const { return m_orientation; }
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    int firstValue() const { return m_firstValue; }
    int secondValue() const { return m_secondValue; }

    QSize minimumSizeHint() const override;

  signals:
    void firstValueChanged(int firstValue);
    void secondValueChanged(int secondValue);
    void rangeChanged(int min, int max);
    void sliderPressed();
    void sliderReleased();

  public slots:
    void setFirstValue(int firstValue);
    void setSecondValue(int secondValue);
    void setMinimum(int min);
    void setMaximum(int max);
    void setRange(int min, int max);
    void setOrientation(Qt::Orientation orientation);

  protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

  private:
    enum Handle { NoHandle, FirstHandle, SecondHandle };
    // Length of the groove in pixels along the orientation, and the pixel of a value on it.
    int grooveLength() const;
    int64_t span() const;
    int position(int value) const;
    int valueAt(const QPoint &point) const;
    QRect handleRect(int value) const;

    Qt::Orientation m_orientation;
    int m_minimum = 0;
    int m_maximum = 100;
    int m_firstValue = 0;
    int m_secondValue = 100;
    Handle m_dragged = NoHandle;
};
