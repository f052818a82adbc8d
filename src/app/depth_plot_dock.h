#pragma once

#include <QColor>
#include <QDockWidget>
#include <QPoint>
#include <QVector>

#include <vector>

class DepthPlotView;
class QLabel;
class QPushButton;

// The dock "Depth over time": the depth of each pinned pixel against time over the whole 3D video
// (the median of the 5 x 5 block around it, as `pelnor series` gives it), with a gap where nothing
// is measured, filled in as the background reading hands the frames over. A cursor marks the frame
// on screen; a click on the plot asks for the frame under it; Export CSV writes what is plotted.
// Drawn with Qt Charts.
class DepthPlotDock : public QDockWidget {
    Q_OBJECT

  public:
    static constexpr int kMostPins = 8;

    explicit DepthPlotDock(QWidget *parent = nullptr);

    // Another video, of `frames` frames at `rate` per second: the pins go.
    void setVideo(int frames, double rate);
    // Pins a pixel in the next colour; false when kMostPins are pinned already (or it is pinned).
    bool addPin(const QPoint &pixel);
    void clearPins();
    const QVector<QPoint> &pins() const { return m_pins; }
    QVector<QColor> colours() const;
    // Depths found for `pixels` from frame `first` on, frame by frame, pixel by pixel.
    void addValues(const QVector<QPoint> &pixels, int first, const QVector<float> &values);
    // The depth of pin `pin` in frame `frame`: NaN where nothing is measured or nothing is known yet.
    float value(int pin, int frame) const;
    // Frames known for every pin, from frame 0.
    int framesKnown() const;
    // The pins whose depths are not yet known for every frame.
    QVector<QPoint> unfinishedPins() const;
    // The cursor at the frame on screen.
    void showFrame(int frame);
    // Writes the frames known as `pelnor series` writes them; false with the reason.
    bool writeCsv(const QString &path, QString *error) const;

  signals:
    void pinsChanged();
    void seekRequested(int frame);
    void exportRequested();

  private:
    void replot(int pin);
    void fitAxes();
    void showPinList();

    DepthPlotView *m_view;
    QLabel *m_pinList;
    QPushButton *m_export;
    QVector<QPoint> m_pins;
    std::vector<std::vector<float>> m_values;
    std::vector<int> m_filled;
    int m_frames = 0;
    double m_rate = 0.0;
};
