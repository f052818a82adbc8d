#include "app/timeline_bar.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QVBoxLayout>

namespace {

// The width of `widest` written with every digit an 8, so the readout's numbers can change frame by
// frame without moving what stands beside them.
int widthOf(QLabel *label, QString widest) {
    for (QChar &c : widest)
        if (c.isDigit())
            c = QLatin1Char('8');
    const QString shown = label->text();
    label->ensurePolished();
    label->setText(widest);
    const int width = label->sizeHint().width();
    label->setText(shown);
    return width;
}

void fixWidth(QLabel *label, const QString &widest) {
    label->setFixedWidth(widthOf(label, widest));
}

constexpr int kSpacing = 12;
const QMargins kRowMargins(11, 0, 11, 6);
// A row of the readout alone is closer set, and ends where its text ends.
constexpr int kReadoutSpacing = 8;
const QMargins kReadoutMargins(11, 0, 0, 6);

} // namespace

TimelineSlider::TimelineSlider(QWidget *parent) : QSlider(Qt::Horizontal, parent) {}

void TimelineSlider::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton && maximum() > minimum()) {
        QStyleOptionSlider option;
        initStyleOption(&option);
        const QRect groove =
            style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
        const QRect handle =
            style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
        if (!handle.contains(event->pos())) {
            // The handle's centre goes to the pointer, so the base class then drags it from there.
            const int span = groove.width() - handle.width();
            const int x = event->pos().x() - groove.x() - handle.width() / 2;
            setValue(QStyle::sliderValueFromPosition(minimum(), maximum(), x, span, option.upsideDown));
        }
    }
    QSlider::mousePressEvent(event);
}

void TimelineSlider::setLoop(int first, int last) {
    m_loopFirst = first;
    m_loopLast = last;
    explain();
}

void TimelineSlider::setReference(int frame) {
    m_reference = frame;
    explain();
}

void TimelineSlider::explain() {
    QStringList said;
    if (m_loopFirst >= 0)
        said << QStringLiteral("Loop: frames %1 to %2").arg(m_loopFirst).arg(m_loopLast);
    if (m_reference >= 0)
        said << QStringLiteral("Reference of the change: frame %1").arg(m_reference);
    setToolTip(said.join(QLatin1Char('\n')));
    update();
}

// The loop range is a band under the groove, from the handle's centre at its first frame to its
// centre at the last.
void TimelineSlider::paintEvent(QPaintEvent *event) {
    QSlider::paintEvent(event);
    if (m_loopFirst < 0 && m_reference < 0)
        return;
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const auto centre = [&](int frame) {
        return groove.x() + handle.width() / 2 +
               QStyle::sliderPositionFromValue(minimum(), maximum(), frame, groove.width() - handle.width(),
                                               option.upsideDown);
    };
    constexpr int kBand = 3;
    QPainter painter(this);
    if (m_loopFirst >= 0)
        painter.fillRect(QRect(QPoint(centre(m_loopFirst) - 1, height() - kBand),
                               QPoint(centre(m_loopLast) + 1, height() - 1)),
                         QColor(0x3d, 0xae, 0xe9));
    // The reference: a small orange wedge pointing down at its frame from the top edge.
    if (m_reference >= 0) {
        const int x = centre(m_reference);
        const QPoint wedge[] = {{x - 4, 0}, {x + 4, 0}, {x, 5}};
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xf5, 0x9e, 0x0b));
        painter.drawPolygon(wedge, 3);
    }
}

TimelineBar::TimelineBar(QWidget *parent)
    : QWidget(parent), m_slider(new TimelineSlider(this)), m_frameLabel(new QLabel(this)),
      m_timeLabel(new QLabel(this)), m_paceLabel(new QLabel(this)), m_shortLabel(new QLabel(this)),
      m_speedBox(new QComboBox(this)) {
    m_slider->setObjectName(QStringLiteral("timelineSlider"));
    m_frameLabel->setObjectName(QStringLiteral("frameLabel"));
    m_timeLabel->setObjectName(QStringLiteral("timeLabel"));
    m_paceLabel->setObjectName(QStringLiteral("paceLabel"));
    m_shortLabel->setObjectName(QStringLiteral("shortLabel"));
    m_slider->setPageStep(1);
    // The window's Left and Right step the frames; the slider itself never takes the keys.
    m_slider->setFocusPolicy(Qt::NoFocus);
    // The note of a file cut short has a line of its own under the slider: beside it, showing the
    // note took the slider's length, however short the note.
    auto *rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    m_sliderRow = new QHBoxLayout;
    m_readoutRow = new QHBoxLayout;
    rows->addLayout(m_sliderRow);
    rows->addLayout(m_readoutRow);
    m_sliderRow->setContentsMargins(kRowMargins);
    m_sliderRow->setSpacing(kSpacing);
    m_readoutRow->setContentsMargins(kReadoutMargins);
    m_readoutRow->setSpacing(kReadoutSpacing);
    rows->addWidget(m_shortLabel);
    m_shortLabel->setContentsMargins(kRowMargins);
    m_slider->setMinimumWidth(kSliderMinimum);
    m_sliderRow->addWidget(m_slider, 1);
    for (QLabel *label : {m_frameLabel, m_timeLabel, m_paceLabel})
        m_sliderRow->addWidget(label);
    m_speedBox->setObjectName(QStringLiteral("speedBox"));
    for (int step = 0; step < PlaybackSpeed::kSteps; ++step)
        m_speedBox->addItem(PlaybackSpeed::textOf(step));
    m_speedBox->setCurrentIndex(PlaybackSpeed::kNormal);
    m_speedBox->setToolTip(
        QStringLiteral("Playback speed: [ halves it, ] doubles it, Backspace plays at 1\u00d7"));
    m_speedBox->setFocusPolicy(Qt::NoFocus);
    // As narrow as its texts, not as wide as the style's boxes, and never narrower: the slider keeps
    // the length.
    m_speedBox->setStyleSheet(QStringLiteral("QComboBox { min-width: 0px; }"));
    m_speedBox->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_sliderRow->addWidget(m_speedBox);
    connect(m_speedBox, QOverload<int>::of(&QComboBox::activated), this, &TimelineBar::speedChosen);
    connect(m_slider, &QSlider::valueChanged, this, [this](int value) {
        showFrame(value);
        emit frameRequested(value);
    });
    connect(m_slider, &QSlider::sliderPressed, this, [this] { emit scrubbing(true); });
    connect(m_slider, &QSlider::sliderReleased, this, [this] { emit scrubbing(false); });
}

void TimelineBar::setSequence(int frames, int promised, double rate) {
    // The same sequence again (a seek that read an unchanged header) keeps the readout as it is.
    if (frames == m_frames && promised == m_promised && rate == m_rate)
        return;
    m_frames = frames;
    m_promised = promised;
    m_rate = rate;
    {
        const QSignalBlocker blocker(m_slider);
        m_slider->setRange(0, qMax(0, frames - 1));
    }
    m_shortLabel->setText(QStringLiteral("%1 of %2 frames complete").arg(frames).arg(promised));
    m_shortLabel->setVisible(frames < promised);
    // The longest each readout says for this sequence: the last frame, the whole time to the
    // millisecond, and a pace of up to twice the fastest rate asked for (a thousand frames a second
    // at least) at the longest speed.
    const double total = rate > 0.0 ? frames / rate : 0.0;
    fixWidth(m_frameLabel, QStringLiteral("Frame %1 / %1").arg(frames));
    fixWidth(m_timeLabel, QStringLiteral("%1 s / %2 s").arg(total, 0, 'f', 3).arg(total, 0, 'f', 2));
    QString asked;
    for (int step = 0; step < PlaybackSpeed::kSteps; ++step) {
        const QString text = QString::number(rate * PlaybackSpeed::factorOf(step), 'g', 4);
        asked = text.size() > asked.size() ? text : asked;
    }
    const QString pace =
        QStringLiteral("%1 fps shown / %2 fps").arg(QString::number(qMax(1000.0, 8.0 * rate), 'f', 1), asked);
    m_paceWidth = widthOf(m_paceLabel, pace + QStringLiteral(" (%1)").arg(PlaybackSpeed::textOf(0)));
    m_shortPaceWidth = widthOf(m_paceLabel, pace);
    // The narrowest the bar gets: the slider and the speed control on one row, the readout on the next.
    const int readout = kReadoutMargins.left() + m_frameLabel->width() + m_timeLabel->width() +
                        m_shortPaceWidth + 2 * kReadoutSpacing;
    const int slider =
        kRowMargins.left() + kRowMargins.right() + kSliderMinimum + kSpacing + m_speedBox->sizeHint().width();
    setMinimumWidth(qMax(readout, slider));
    arrange();
    showPace(-1.0);
    showFrame(m_slider->value());
}

int TimelineBar::oneRowWidth() const {
    return kRowMargins.left() + kRowMargins.right() + kSliderMinimum + m_frameLabel->width() +
           m_timeLabel->width() + m_paceWidth + m_speedBox->sizeHint().width() + 4 * kSpacing;
}

void TimelineBar::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    arrange();
}

void TimelineBar::arrange() {
    const bool twoRows = width() < oneRowWidth();
    m_paceLabel->setFixedWidth(twoRows ? m_shortPaceWidth : m_paceWidth);
    if (twoRows == m_twoRows)
        return;
    m_twoRows = twoRows;
    for (QWidget *widget :
         std::initializer_list<QWidget *>{m_frameLabel, m_timeLabel, m_paceLabel, m_speedBox}) {
        m_sliderRow->removeWidget(widget);
        m_readoutRow->removeWidget(widget);
    }
    while (m_readoutRow->count() > 0)
        delete m_readoutRow->takeAt(0);
    QHBoxLayout *readout = twoRows ? m_readoutRow : m_sliderRow;
    for (QLabel *label : {m_frameLabel, m_timeLabel, m_paceLabel})
        readout->addWidget(label);
    if (twoRows)
        m_readoutRow->addStretch(1);
    m_sliderRow->addWidget(m_speedBox);
    showPace(m_pace);
}

void TimelineBar::showFrame(int frame) {
    // While the user holds the handle it stays under the pointer; the readout still follows.
    if (!m_slider->isSliderDown()) {
        const QSignalBlocker blocker(m_slider);
        m_slider->setValue(frame);
    }
    m_frameLabel->setText(QStringLiteral("Frame %1 / %2").arg(frame).arg(m_frames));
    // Frame k is on screen from k / rate seconds into the sequence.
    const double seconds = m_rate > 0.0 ? frame / m_rate : 0.0;
    const double total = m_rate > 0.0 ? m_frames / m_rate : 0.0;
    m_timeLabel->setText(
        QStringLiteral("%1 s / %2 s").arg(seconds, 0, 'f', m_playing ? 2 : 3).arg(total, 0, 'f', 2));
}

void TimelineBar::showPace(double shownPerSecond) {
    m_pace = shownPerSecond;
    const QString rate = QString::number(m_rate * m_speed.factor(), 'g', 4);
    const QString speed =
        m_speed.isNormal() || m_twoRows ? QString() : QStringLiteral(" (%1)").arg(m_speed.text());
    if (shownPerSecond < 0.0)
        m_paceLabel->setText(QStringLiteral("%1 fps").arg(rate) + speed);
    else
        m_paceLabel->setText(
            QStringLiteral("%1 fps shown / %2 fps").arg(shownPerSecond, 0, 'f', 1).arg(rate) + speed);
}

void TimelineBar::showPlaying(bool playing) {
    // Asked on every frame shown; the readout changes its digits only when playing starts or stops.
    if (playing == m_playing)
        return;
    m_playing = playing;
    showFrame(frame());
}

void TimelineBar::showSpeed(const PlaybackSpeed &speed) {
    m_speed = speed;
    m_speedBox->setCurrentIndex(speed.step());
    // A pace measured at another speed says nothing of this one.
    showPace(-1.0);
}

void TimelineBar::showLoop(int first, int last) {
    m_slider->setLoop(first, last);
}

void TimelineBar::showReference(int frame) {
    m_slider->setReference(frame);
}

int TimelineBar::frame() const {
    return m_slider->value();
}
