#include "widgets/range_widget.h"

#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <limits>

class TestRangeWidget : public QObject {
    Q_OBJECT

  private slots:
    // From 10..100 with handles at 50 and 80: handles stay in range, a bound beyond the other swaps
    // them, and a handle that moves says so before the range does.
    void settersKeepTheHandlesInRange_data() {
        QTest::addColumn<QString>("setter");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QStringList>("signals");
        QTest::newRow("maximum below the minimum")
            << "maximum" << 5 << "5 10 10 10" << QStringList{"first 10", "second 10", "range 5 10"};
        QTest::newRow("minimum above the maximum") << "minimum" << 150 << "100 150 100 100"
                                                   << QStringList{"first 100", "second 100", "range 100 150"};
        QTest::newRow("minimum past one handle")
            << "minimum" << 60 << "60 100 60 80" << QStringList{"first 60", "range 60 100"};
        QTest::newRow("handle beyond the range")
            << "first" << 500 << "10 100 100 80" << QStringList{"first 100"};
    }
    void settersKeepTheHandlesInRange() {
        QFETCH(QString, setter);
        QFETCH(int, value);
        RangeWidget w;
        w.setRange(10, 100);
        w.setFirstValue(50);
        w.setSecondValue(80);
        QStringList log;
        connect(&w, &RangeWidget::firstValueChanged, [&log](int v) { log << QString("first %1").arg(v); });
        connect(&w, &RangeWidget::secondValueChanged, [&log](int v) { log << QString("second %1").arg(v); });
        connect(&w, &RangeWidget::rangeChanged,
                [&log](int a, int b) { log << QString("range %1 %2").arg(a).arg(b); });
        setter == "maximum"   ? w.setMaximum(value)
        : setter == "minimum" ? w.setMinimum(value)
                              : w.setFirstValue(value);
        QTEST(
            QString("%1 %2 %3 %4").arg(w.minimum()).arg(w.maximum()).arg(w.firstValue()).arg(w.secondValue()),
            "state");
        QTEST(log, "signals");
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

        w.setOrientation(Qt::Horizontal); // already so: nothing to redo
        QSignalSpy pressed(&w, &RangeWidget::sliderPressed);
        QSignalSpy released(&w, &RangeWidget::sliderReleased);
        // Grab the second handle at the right end and pull it to the middle.
        QTest::mousePress(&w, Qt::LeftButton, Qt::NoModifier, QPoint(206, 15));
        QMouseEvent move(QEvent::MouseMove, QPoint(106, 15), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &move);
        QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, QPoint(106, 15));
        QVERIFY(pressed.count() == 1 && released.count() == 1 && w.secondValue() == middle &&
                w.firstValue() == low);

        // The nearer handle moves; the values go through the setters, so they stay in range.
        QTest::mousePress(&w, Qt::LeftButton, Qt::NoModifier, QPoint(10, 15));
        QMouseEvent past(QEvent::MouseMove, QPoint(-80, 15), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &past);
        QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, QPoint(-80, 15));
        QCOMPARE(w.firstValue(), low);

        w.setOrientation(Qt::Vertical); // upright, the span between the handles runs down from the top
        QVERIFY(w.orientation() == Qt::Vertical &&
                w.minimumSizeHint().height() > w.minimumSizeHint().width());
        w.resize(30, 212);
        const QImage image = w.grab().toImage();
        QCOMPARE(image.pixel(15, 60), w.palette().color(QPalette::Highlight).rgb()); // between the handles
        QCOMPARE(image.pixel(15, 160), w.palette().color(QPalette::Mid).rgb());      // beyond the second
    }
};

QTEST_MAIN(TestRangeWidget)
#include "test_range_widget.moc"
