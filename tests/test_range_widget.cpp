#include "widgets/range_widget.h"

#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {

// Signals as (name, values) in the order they came.
struct Recorder {
    QStringList log;
    explicit Recorder(RangeWidget &w) {
        QObject::connect(&w, &RangeWidget::firstValueChanged,
                         [this](int v) { log << QString("first %1").arg(v); });
        QObject::connect(&w, &RangeWidget::secondValueChanged,
                         [this](int v) { log << QString("second %1").arg(v); });
        QObject::connect(&w, &RangeWidget::rangeChanged,
                         [this](int a, int b) { log << QString("range %1 %2").arg(a).arg(b); });
    }
};

} // namespace

class TestRangeWidget : public QObject {
    Q_OBJECT

  private slots:
    void settersKeepTheHandlesInRange() {
        RangeWidget w;
        w.setRange(10, 100);
        w.setFirstValue(50);
        w.setSecondValue(80);
        Recorder r(w);
        w.setMaximum(5); // below the minimum: the ends swap
        QCOMPARE(w.minimum(), 5);
        QCOMPARE(w.maximum(), 10);
        QCOMPARE(r.log, (QStringList{"first 10", "second 10", "range 5 10"}));

        RangeWidget up;
        up.setRange(0, 100);
        up.setFirstValue(20);
        up.setSecondValue(120);
        QCOMPARE(up.secondValue(), 100);
        Recorder u(up);
        up.setMinimum(150);
        QCOMPARE(up.minimum(), 100);
        QCOMPARE(up.maximum(), 150);
        QCOMPARE(up.firstValue(), 100);
        QCOMPARE(u.log, (QStringList{"first 100", "range 100 150"}));

        RangeWidget swapped;
        swapped.setRange(0, 100);
        Recorder s(swapped);
        swapped.setRange(10, 5);
        QCOMPARE(s.log.filter("range"), (QStringList{"range 10 100", "range 5 10"}));

        Recorder again(swapped);
        swapped.setFirstValue(500);
        swapped.setFirstValue(500);
        QCOMPARE(again.log, (QStringList{"first 10", "first 10"}));
        QCOMPARE(swapped.firstValue(), 10);
    }

    // The widest range spans more than an int holds: it paints and drags like any other.
    void orientationAndDragging_data() {
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("high");
        QTest::newRow("0 to 100") << 0 << 100;
        QTest::newRow("whole int range")
            << std::numeric_limits<int>::min() << std::numeric_limits<int>::max();
    }

    void orientationAndDragging() {
        QFETCH(int, low);
        QFETCH(int, high);
        const int middle = int(low + std::llround(0.5 * (double(high) - low)));
        RangeWidget w(Qt::Horizontal);
        w.setRange(low, high);
        w.setFirstValue(low);
        w.setSecondValue(high);
        w.resize(212, 30); // 200 pixels of groove between the handle halves
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        QSignalSpy repaint(&w, &RangeWidget::rangeChanged);
        w.setOrientation(Qt::Horizontal); // unchanged: nothing happens
        QCOMPARE(w.orientation(), Qt::Horizontal);

        QSignalSpy pressed(&w, &RangeWidget::sliderPressed);
        QSignalSpy released(&w, &RangeWidget::sliderReleased);
        // Grab the second handle at the right end and pull it to the middle.
        QTest::mousePress(&w, Qt::LeftButton, Qt::NoModifier, QPoint(206, 15));
        QTest::mouseMove(&w, QPoint(106, 15));
        QMouseEvent move(QEvent::MouseMove, QPoint(106, 15), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &move);
        QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, QPoint(106, 15));
        QCOMPARE(pressed.count(), 1);
        QCOMPARE(released.count(), 1);
        QCOMPARE(w.secondValue(), middle);
        QCOMPARE(w.firstValue(), low);

        // The nearer handle moves; the values go through the setters, so they stay in range.
        QTest::mousePress(&w, Qt::LeftButton, Qt::NoModifier, QPoint(10, 15));
        QMouseEvent past(QEvent::MouseMove, QPoint(-80, 15), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &past);
        QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, QPoint(-80, 15));
        QCOMPARE(w.firstValue(), low);

        w.setOrientation(Qt::Vertical);
        QCOMPARE(w.orientation(), Qt::Vertical);
        QVERIFY(w.minimumSizeHint().height() > w.minimumSizeHint().width());
        QCOMPARE(repaint.count(), 0);
        // Upright, the span between the handles runs down from the top.
        w.resize(30, 212);
        const QImage image = w.grab().toImage();
        QCOMPARE(image.pixel(15, 60), w.palette().color(QPalette::Highlight).rgb()); // between the handles
        QCOMPARE(image.pixel(15, 160), w.palette().color(QPalette::Mid).rgb());      // beyond the second
    }
};

QTEST_MAIN(TestRangeWidget)
#include "test_range_widget.moc"
