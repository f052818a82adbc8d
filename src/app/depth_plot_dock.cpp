#include "app/depth_plot_dock.h"

#include "geometry/depth_maps.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSaveFile>
#include <QTextStream>
#include <QVBoxLayout>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>

QT_CHARTS_USE_NAMESPACE

namespace {

// Eight colours told apart at a glance, none of them the grey, blue or red of the Change colouring.
const QColor kPinColours[DepthPlotDock::kMostPins] = {
    QColor(0x2c, 0xa0, 0x2c), QColor(0xff, 0x7f, 0x0e), QColor(0x94, 0x67, 0xbd), QColor(0x17, 0xbe, 0xcf),
    QColor(0xe3, 0x77, 0xc2), QColor(0xbc, 0xbd, 0x22), QColor(0x8c, 0x56, 0x4b), QColor(0x1f, 0x77, 0xb4)};

} // namespace

// The chart, with the cursor drawn over it and a click taken as a seek.
class DepthPlotView : public QChartView {
  public:
    explicit DepthPlotView(QWidget *parent) : QChartView(new QChart, parent) {
        setRenderHint(QPainter::Antialiasing);
        // The cursor is drawn over the chart: every change repaints the whole picture, so that no
        // piece of an old cursor stays behind.
        setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
        chart()->legend()->hide();
        chart()->setMargins(QMargins(4, 4, 4, 4));
        chart()->addAxis(m_x, Qt::AlignBottom);
        chart()->addAxis(m_y, Qt::AlignLeft);
        m_x->setTitleText(QStringLiteral("time (s)"));
        m_y->setTitleText(QStringLiteral("depth (units)"));
        m_x->setLabelFormat(QStringLiteral("%g"));
        m_y->setLabelFormat(QStringLiteral("%g"));
        // Few labels, so that they stay whole in a low dock.
        m_y->setTickCount(4);
        setMinimumHeight(200);
    }
    QValueAxis *m_x = new QValueAxis;
    QValueAxis *m_y = new QValueAxis;
    // Per pin: its runs of measured frames, and the frames measured alone.
    std::vector<std::vector<QXYSeries *>> m_series;
    double m_cursor = -1.0;
    std::function<void(double)> clicked;

  protected:
    void drawForeground(QPainter *painter, const QRectF &rect) override {
        QChartView::drawForeground(painter, rect);
        if (m_cursor < 0.0)
            return;
        const QRectF area = chart()->plotArea();
        const double x = chart()->mapToPosition(QPointF(m_cursor, m_y->min())).x();
        if (x < area.left() - 0.5 || x > area.right() + 0.5)
            return;
        painter->save();
        painter->setPen(QPen(QColor(0x40, 0x40, 0x40), 1.5, Qt::DashLine));
        painter->drawLine(chart()->mapToScene(QPointF(x, area.top())),
                          chart()->mapToScene(QPointF(x, area.bottom())));
        painter->restore();
    }
    void mousePressEvent(QMouseEvent *event) override {
        const QPointF inChart = chart()->mapFromScene(mapToScene(event->pos()));
        if (event->button() == Qt::LeftButton && chart()->plotArea().contains(inChart) && clicked)
            clicked(chart()->mapToValue(inChart).x());
        QChartView::mousePressEvent(event);
    }
};

DepthPlotDock::DepthPlotDock(QWidget *parent)
    : QDockWidget(parent), m_view(new DepthPlotView(this)), m_pinList(new QLabel(this)),
      m_export(new QPushButton(tr("Export CSV..."), this)) {
    setObjectName(QStringLiteral("depthPlotDock"));
    setWindowTitle(tr("Depth over time"));
    m_view->setObjectName(QStringLiteral("depthPlotView"));
    m_pinList->setObjectName(QStringLiteral("pinList"));
    m_export->setObjectName(QStringLiteral("exportSeriesButton"));
    m_export->setToolTip(tr("Write the depths plotted, frame by frame, as comma-separated values"));
    m_export->setEnabled(false);
    auto *contents = new QWidget(this);
    auto *rows = new QVBoxLayout(contents);
    auto *top = new QHBoxLayout;
    top->addWidget(m_pinList, 1);
    top->addWidget(m_export);
    rows->addLayout(top);
    rows->addWidget(m_view, 1);
    setWidget(contents);
    showPinList();
    connect(m_export, &QPushButton::clicked, this, &DepthPlotDock::exportRequested);
    m_view->clicked = [this](double seconds) {
        emit seekRequested(static_cast<int>(std::lround(m_rate > 0.0 ? seconds * m_rate : seconds)));
    };
}

void DepthPlotDock::setVideo(int frames, double rate) {
    m_frames = frames;
    m_rate = rate;
    clearPins();
    m_view->m_x->setRange(0.0, std::max(frames - 1, 1) / (rate > 0.0 ? rate : 1.0));
    m_view->m_x->applyNiceNumbers();
}

QVector<QColor> DepthPlotDock::colours() const {
    QVector<QColor> colours;
    for (int i = 0; i < m_pins.size(); ++i)
        colours << kPinColours[i];
    return colours;
}

bool DepthPlotDock::addPin(const QPoint &pixel) {
    if (m_pins.size() >= kMostPins || m_pins.contains(pixel))
        return false;
    m_pins << pixel;
    m_values.emplace_back(size_t(m_frames), NAN);
    m_filled.push_back(0);
    m_view->m_series.emplace_back();
    showPinList();
    emit pinsChanged();
    return true;
}

void DepthPlotDock::clearPins() {
    m_pins.clear();
    m_values.clear();
    m_filled.clear();
    m_view->chart()->removeAllSeries();
    m_view->m_series.clear();
    showPinList();
    emit pinsChanged();
}

void DepthPlotDock::showPinList() {
    QStringList names;
    for (int i = 0; i < m_pins.size(); ++i)
        names << QStringLiteral("<span style='color:%1'>&#9679;</span> %2 (%3, %4)")
                     .arg(kPinColours[i].name())
                     .arg(i + 1)
                     .arg(m_pins[i].x())
                     .arg(m_pins[i].y());
    m_pinList->setText(names.isEmpty() ? tr("Ctrl + click the surface to pin a pixel")
                                       : names.join("&nbsp; "));
    m_export->setEnabled(framesKnown() > 0);
}

void DepthPlotDock::addValues(const QVector<QPoint> &pixels, int first, const QVector<float> &values) {
    const int n = pixels.size();
    if (n == 0)
        return;
    const int frames = values.size() / n;
    for (int j = 0; j < n; ++j) {
        const int pin = m_pins.indexOf(pixels[j]);
        if (pin < 0)
            continue;
        std::vector<float> &mine = m_values[size_t(pin)];
        for (int f = 0; f < frames && first + f < m_frames; ++f)
            mine[size_t(first + f)] = values[f * n + j];
        if (first <= m_filled[size_t(pin)])
            m_filled[size_t(pin)] = std::max(m_filled[size_t(pin)], std::min(first + frames, m_frames));
        replot(pin);
    }
    fitAxes();
    m_export->setEnabled(framesKnown() > 0);
}

float DepthPlotDock::value(int pin, int frame) const {
    if (pin < 0 || pin >= m_pins.size() || frame < 0 || frame >= m_filled[size_t(pin)])
        return NAN;
    return m_values[size_t(pin)][size_t(frame)];
}

int DepthPlotDock::framesKnown() const {
    return m_filled.empty() ? 0 : *std::min_element(m_filled.begin(), m_filled.end());
}

// The pin's runs of measured frames as lines, a frame measured alone as a dot: Qt Charts draws no gap
// in one series.
void DepthPlotDock::replot(int pin) {
    QChart *chart = m_view->chart();
    std::vector<QXYSeries *> &series = m_view->m_series[size_t(pin)];
    for (QXYSeries *old : series) {
        chart->removeSeries(old);
        delete old;
    }
    series.clear();
    const double step = m_rate > 0.0 ? 1.0 / m_rate : 1.0;
    const QColor colour = kPinColours[pin];
    auto *alone = new QScatterSeries;
    alone->setMarkerSize(5.0);
    alone->setColor(colour);
    alone->setBorderColor(colour);
    QVector<QPointF> run;
    const auto endRun = [&] {
        if (run.size() == 1)
            alone->append(run.front());
        if (run.size() > 1) {
            auto *line = new QLineSeries;
            line->setPen(QPen(colour, 2.0));
            line->replace(run);
            series.push_back(line);
        }
        run.clear();
    };
    const std::vector<float> &mine = m_values[size_t(pin)];
    for (int f = 0; f < m_filled[size_t(pin)]; ++f) {
        if (std::isfinite(mine[size_t(f)]))
            run << QPointF(f * step, double(mine[size_t(f)]));
        else
            endRun();
    }
    endRun();
    series.push_back(alone);
    for (QXYSeries *s : series) {
        chart->addSeries(s);
        s->attachAxis(m_view->m_x);
        s->attachAxis(m_view->m_y);
    }
}

void DepthPlotDock::fitAxes() {
    float low = INFINITY, high = -INFINITY;
    for (size_t pin = 0; pin < m_values.size(); ++pin)
        for (int f = 0; f < m_filled[pin]; ++f)
            if (std::isfinite(m_values[pin][size_t(f)]))
                low = std::min(low, m_values[pin][size_t(f)]),
                high = std::max(high, m_values[pin][size_t(f)]);
    if (!(low <= high))
        return;
    const double margin = std::max(0.05 * double(high - low), 0.5);
    m_view->m_y->setRange(double(low) - margin, double(high) + margin);
    m_view->m_y->applyNiceNumbers();
}

QVector<QPoint> DepthPlotDock::unfinishedPins() const {
    QVector<QPoint> unfinished;
    for (int i = 0; i < m_pins.size(); ++i)
        if (m_filled[size_t(i)] < m_frames)
            unfinished << m_pins[i];
    return unfinished;
}

void DepthPlotDock::showFrame(int frame) {
    m_view->m_cursor = m_rate > 0.0 ? frame / m_rate : frame;
    m_view->viewport()->update();
}

bool DepthPlotDock::writeCsv(const QString &path, QString *error) const {
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    QTextStream out(&file);
    out << seriesHeader(std::vector<QPoint>(m_pins.begin(), m_pins.end())) << '\n';
    std::vector<float> row(size_t(m_pins.size()));
    for (int f = 0; f < framesKnown(); ++f) {
        for (int pin = 0; pin < m_pins.size(); ++pin)
            row[size_t(pin)] = m_values[size_t(pin)][size_t(f)];
        out << seriesLine(f, m_rate, row.data(), row.size()) << '\n';
    }
    out.flush();
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}
