#include "app/region_panel.h"

#include "data/scan_frame_store.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace {

constexpr double kLargest = 1e6;

// One row of three numbers, named "<name>X", "<name>Y" and "<name>Z" for the tests' sake.
std::array<QDoubleSpinBox *, 3> numberRow(QGridLayout *grid, int row, const QString &label,
                                          const QString &name, double lowest, double highest, int decimals,
                                          const QString &tip) {
    auto *title = new QLabel(label);
    title->setToolTip(tip);
    grid->addWidget(title, row, 0);
    std::array<QDoubleSpinBox *, 3> boxes{};
    const char axes[] = "XYZ";
    for (int a = 0; a < 3; ++a) {
        auto *box = new QDoubleSpinBox;
        box->setObjectName(name + QLatin1Char(axes[a]));
        box->setRange(lowest, highest);
        box->setDecimals(decimals);
        box->setToolTip(tip);
        // Typed numbers count once they are entered; the arrows count at once.
        box->setKeyboardTracking(false);
        box->setButtonSymbols(QAbstractSpinBox::NoButtons);
        box->setMinimumWidth(36);
        box->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        grid->addWidget(box, row, a + 1);
        boxes[static_cast<size_t>(a)] = box;
    }
    return boxes;
}

QVector3D valuesOf(const std::array<QDoubleSpinBox *, 3> &boxes) {
    return QVector3D(static_cast<float>(boxes[0]->value()), static_cast<float>(boxes[1]->value()),
                     static_cast<float>(boxes[2]->value()));
}

void showValues(const std::array<QDoubleSpinBox *, 3> &boxes, const QVector3D &values) {
    for (int a = 0; a < 3; ++a)
        boxes[static_cast<size_t>(a)]->setValue(static_cast<double>(values[a]));
}

} // namespace

RegionPanel::RegionPanel(QWidget *parent) : QDockWidget(tr("Region"), parent) {
    setObjectName(QStringLiteral("regionDock"));
    setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    auto *contents = new QWidget(this);
    auto *grid = new QGridLayout(contents);
    // Narrow enough to stand beside the view on the other side from the settings in a window 900 wide.
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setHorizontalSpacing(4);

    m_cut = new QCheckBox(tr("Cut to this box"));
    m_cut->setObjectName(QStringLiteral("regionCutCheckBox"));
    m_cut->setToolTip(tr("Draw, pick, measure and save only what the region keeps"));
    grid->addWidget(m_cut, 0, 0, 1, 4);
    for (int a = 0; a < 3; ++a) {
        auto *axis = new QLabel(QString(QLatin1Char("xyz"[a])));
        axis->setAlignment(Qt::AlignCenter);
        grid->addWidget(axis, 1, a + 1);
    }
    const QString units = tr("in the scan's units");
    m_centre = numberRow(grid, 2, tr("Centre"), QStringLiteral("regionCentre"), -kLargest, kLargest, 2,
                         tr("The box's centre, x, y and z, %1").arg(units));
    m_size = numberRow(grid, 3, tr("Size"), QStringLiteral("regionSize"), 0.01, kLargest, 2,
                       tr("The box's edges along its own axes, %1").arg(units));
    m_angles = numberRow(grid, 4, tr("Angles"), QStringLiteral("regionAngles"), -360.0, 360.0, 1,
                         tr("Degrees the box is turned about x, then y, then z"));
    showValues(m_size, QVector3D(100.0f, 100.0f, 100.0f));

    grid->addWidget(new QLabel(tr("Keep")), 5, 0);
    m_keep = new QComboBox;
    m_keep->setObjectName(QStringLiteral("regionKeepComboBox"));
    m_keep->addItems({tr("inside"), tr("outside")});
    m_keep->setToolTip(tr("Keep what lies inside the box, or cut it away and keep the rest"));
    grid->addWidget(m_keep, 5, 1, 1, 3);

    auto *fit = new QPushButton(tr("Fit to frame"));
    fit->setObjectName(QStringLiteral("regionFitButton"));
    fit->setToolTip(tr("The box around every point the frame on screen measures"));
    auto *clearButton = new QPushButton(tr("Clear"));
    clearButton->setObjectName(QStringLiteral("regionClearButton"));
    clearButton->setToolTip(tr("Keep the whole frame again"));
    grid->addWidget(fit, 6, 0, 1, 2);
    grid->addWidget(clearButton, 6, 2, 1, 2);
    grid->setRowStretch(7, 1);
    setWidget(contents);

    connect(m_cut, &QCheckBox::toggled, this, &RegionPanel::emitChanged);
    for (const auto &row : {m_centre, m_size, m_angles})
        for (QDoubleSpinBox *box : row)
            connect(box, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, [this] {
                // Numbers change the picture only while the cut is on.
                if (m_cut->isChecked())
                    emitChanged();
            });
    connect(m_keep, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this] {
        if (m_cut->isChecked())
            emitChanged();
    });
    connect(fit, &QPushButton::clicked, this, &RegionPanel::fitRequested);
    connect(clearButton, &QPushButton::clicked, this, &RegionPanel::clear);
}

Region RegionPanel::region() const {
    if (!m_cut->isChecked())
        return Region();
    Region region;
    region.centre = valuesOf(m_centre);
    region.size = valuesOf(m_size);
    region.angles = valuesOf(m_angles);
    region.keepInside = m_keep->currentIndex() == 0;
    return region;
}

void RegionPanel::setRegion(const Region &region) {
    m_quiet = true;
    if (region.isSet()) {
        showValues(m_centre, region.centre);
        showValues(m_size, region.size);
        showValues(m_angles, region.angles);
        m_keep->setCurrentIndex(region.keepInside ? 0 : 1);
    }
    m_cut->setChecked(region.isSet());
    m_quiet = false;
    emitChanged();
}

void RegionPanel::fitTo(const SurfaceFacts &facts) {
    const QVector3D extent = facts.max - facts.min;
    // The panel's two decimals round the numbers: the margin holds the outermost points in.
    const float margin = std::max(0.01f, 0.001f * std::max({extent.x(), extent.y(), extent.z()}));
    Region box = Region::fromCorners(facts.min, facts.max);
    box.size += QVector3D(2.0f * margin, 2.0f * margin, 2.0f * margin);
    box.keepInside = m_keep->currentIndex() == 0;
    setRegion(box);
}

void RegionPanel::clear() {
    m_cut->setChecked(false);
}

void RegionPanel::emitChanged() {
    if (!m_quiet)
        emit regionChanged(region());
}
