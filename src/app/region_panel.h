#pragma once

#include "data/region.h"

#include <QDockWidget>

#include <array>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QPushButton;
struct SurfaceFacts;

// The Region dock: the box's centre, size and angles as numbers, whether the inside or the outside is
// kept, "Fit to frame" and "Clear". The region it sets is cut only while "Cut to this box" is on.
class RegionPanel : public QDockWidget {
    Q_OBJECT

  public:
    explicit RegionPanel(QWidget *parent = nullptr);

    // The region the panel sets; not set while the cut is off.
    Region region() const;
    // Shows the region's numbers and cuts to it (or turns the cut off for a region not set).
    void setRegion(const Region &region);
    // The unturned box around the measured points of `facts`, a little larger so that the points on
    // its faces stay in at any rounding, and the cut on.
    void fitTo(const SurfaceFacts &facts);
    // Turns the cut off; the numbers stay for the next time.
    void clear();

  signals:
    // The region changed: a number, the side kept, or the cut turned on or off.
    void regionChanged(const Region &region);
    // "Fit to frame": the window answers with fitTo.
    void fitRequested();

  private:
    // Emits regionChanged once for changes made together.
    void emitChanged();

    QCheckBox *m_cut = nullptr;
    std::array<QDoubleSpinBox *, 3> m_centre{};
    std::array<QDoubleSpinBox *, 3> m_size{};
    std::array<QDoubleSpinBox *, 3> m_angles{};
    QComboBox *m_keep = nullptr;
    bool m_quiet = false;
};
