// Mouse and keyboard of the 3D view: drags turn, pan or zoom the model by the chosen control
// method, letter keys switch the drawing and colouring styles.
#include "view/viewer_gl_widget.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTextEdit>
#include <QWheelEvent>

#include <cmath>
#include <functional>

namespace {

constexpr double kDegreesPerPixel = 0.375;
constexpr double kPanPerPixel = 0.33;
constexpr double kZoomPerPixel = 0.67;

float scaled(int pixels, double factor) {
    return static_cast<float>(pixels * factor);
}

bool isDragButton(Qt::MouseButton button) {
    return button == Qt::LeftButton || button == Qt::RightButton;
}

// A widget that takes typed text or numbers: the keys it types are its own.
bool editsText(const QWidget *widget) {
    const auto *combo = qobject_cast<const QComboBox *>(widget);
    return qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QAbstractSpinBox *>(widget) ||
           qobject_cast<const QTextEdit *>(widget) || qobject_cast<const QPlainTextEdit *>(widget) ||
           (combo && combo->isEditable());
}

} // namespace

void ViewerGLWidget::rotateModel(float ax, float ay, float az) {
    const float delta[3] = {ax, ay, az};
    for (int axis = 0; axis < 3; ++axis)
        m_state.rotation[axis] =
            static_cast<float>(std::fmod(static_cast<double>(m_state.rotation[axis] + delta[axis]), 360.0));
    update();
}

void ViewerGLWidget::mousePressEvent(QMouseEvent *event) {
    m_lastMousePos = event->pos();
    if ((event->modifiers() & Qt::ControlModifier) && event->button() == Qt::LeftButton) {
        m_pickGesture = true;
        if (const std::optional<QPoint> pixel =
                pixelAt(event->pos(), QStringLiteral("Nothing pinned: no surface under the cursor")))
            emit pinRequested(*pixel);
        return;
    }
    if ((event->modifiers() & Qt::ShiftModifier) && isDragButton(event->button())) {
        m_pickGesture = true;
        if (event->button() == Qt::LeftButton)
            pickAt(event->pos());
        else
            clearPicks();
        return;
    }
    if (isDragButton(event->button()) && m_controlMethod == Rotate)
        setCursor(Qt::ClosedHandCursor);
}

void ViewerGLWidget::mouseMoveEvent(QMouseEvent *event) {
    const int dx = event->x() - m_lastMousePos.x();
    const int dy = event->y() - m_lastMousePos.y();
    m_lastMousePos = event->pos();
    if (m_pickGesture)
        return;
    // Screen right is world -x for an eye looking along +z, so the model follows the pointer.
    auto panOrZoom = [&] {
        if (m_controlMethod == Translate) {
            m_state.translation.setX(m_state.translation.x() - scaled(dx, kPanPerPixel));
            m_state.translation.setY(m_state.translation.y() - scaled(dy, kPanPerPixel));
            noteMovement();
            update();
        } else if (m_controlMethod == Zoom) {
            m_state.translation.setZ(m_state.translation.z() - scaled(dy, kZoomPerPixel));
            noteMovement();
            update();
        }
    };
    if (event->buttons() & Qt::LeftButton) {
        if (m_controlMethod == Rotate) {
            rotateModel(scaled(-dy, kDegreesPerPixel), scaled(dx, kDegreesPerPixel), 0.0f);
            noteMovement();
        } else {
            panOrZoom();
        }
    }
    if (event->buttons() & Qt::RightButton) {
        if (m_controlMethod == Rotate) {
            rotateModel(0.0f, 0.0f, scaled(dx, kDegreesPerPixel));
            noteMovement();
        } else {
            panOrZoom();
        }
    }
}

void ViewerGLWidget::mouseReleaseEvent(QMouseEvent *event) {
    if (m_pickGesture && event->buttons() == Qt::NoButton)
        m_pickGesture = false;
    else if (isDragButton(event->button()) && m_controlMethod == Rotate)
        setCursor(Qt::OpenHandCursor);
    emit clicked();
}

// The wheel never scrolls a parent. By default it does nothing else either: zoom is a drag, so a
// stray wheel turn changes nothing. Where the user lets it zoom, each notch (120 eighths of a degree;
// finer wheels send parts of one) brings the model the step's share of its distance nearer, along the
// line of sight, so the view's centre stays where it is and a notch back undoes a notch forward.
void ViewerGLWidget::wheelEvent(QWheelEvent *event) {
    event->accept();
    const double notches = event->angleDelta().y() / 120.0;
    if (m_wheelStep <= 0.0 || notches == 0.0)
        return;
    // Where a drag has taken the model's centre past the eye, steps are those of the framing distance.
    const float framed = m_state.framing.centre.z() - m_state.cameraOrigin.z();
    const float distance = framed + m_state.translation.z();
    const double nearer =
        (distance > 0.0f ? distance : framed) * (1.0 - std::pow(1.0 - m_wheelStep, notches));
    m_state.translation.setZ(m_state.translation.z() - static_cast<float>(nearer));
    noteMovement();
    update();
}

// The keys are shortcuts of the view's window, so they answer wherever its focus is: in the dock,
// on the timeline, in the view. A field that edits text or numbers claims the keys it types before
// any shortcut sees them (the toolkit's shortcut override), so "1.5" typed into a number field is the
// field's; Escape, which no field claims, leaves such a field for the view instead of quitting. A
// menu, a list or a dialog open has the keys itself: the window's shortcuts wait.
void ViewerGLWidget::answerKeys() {
    const auto key = [this](const char *sequence, const std::function<void()> &act) {
        auto *shortcut = new QShortcut(QKeySequence(QLatin1String(sequence)), this);
        shortcut->setContext(Qt::WindowShortcut);
        shortcut->setAutoRepeat(false);
        connect(shortcut, &QShortcut::activated, this, act);
    };
    const auto material = [this](int type) {
        changeMaterialType(type);
        emit materialTypeWasChanged(type);
    };
    const auto mesh = [this](int type) {
        changeMeshType(type);
        emit meshTypeWasChanged(type);
    };
    key("C", [=] { material(Solid); });
    key("T", [=] { material(Texture); });
    key("D", [=] {
        const int current = m_state.materialType;
        material(current == Depth ? Jet : current == Jet ? Magma : current == Magma ? Viridis : Depth);
    });
    key("X", [=] { material(Change); });
    key("N", [=] { material(Noise); });
    key("S", [=] { mesh(Shaded); });
    key("W", [=] { mesh(Wireframe); });
    key("P", [=] { mesh(PointCloud); });
    key("Esc", [this] {
        if (editsText(QApplication::focusWidget()))
            setFocus(Qt::ShortcutFocusReason);
        else
            QApplication::quit();
    });
}

QVector<QPair<QString, QString>> ViewerGLWidget::keysAndMouse() {
    return {
        {QStringLiteral("C"), QStringLiteral("Solid colour")},
        {QStringLiteral("T"), QStringLiteral("Camera texture")},
        {QStringLiteral("D"), QStringLiteral("Depth colours: grey, jet, magma, viridis in turn")},
        {QStringLiteral("X"),
         QStringLiteral("Change of depth against the reference: blue nearer, red farther")},
        {QStringLiteral("N"), QStringLiteral("Temporal noise of each pixel over 30 frames")},
        {QStringLiteral("S"), QStringLiteral("Shaded surface")},
        {QStringLiteral("W"), QStringLiteral("Wireframe")},
        {QStringLiteral("P"), QStringLiteral("Point cloud")},
        {QStringLiteral("Esc"), QStringLiteral("Quit; in a field being typed into, leave the field")},
        {QStringLiteral("Rotate: left drag"),
         QStringLiteral("Turn the model about the horizontal and vertical axes")},
        {QStringLiteral("Rotate: right drag"), QStringLiteral("Turn the model about the viewing axis")},
        {QStringLiteral("Pan: left or right drag"), QStringLiteral("Move the model with the pointer")},
        {QStringLiteral("Zoom: left or right drag"),
         QStringLiteral("Drag down to bring the model nearer, up to move it away")},
        {QStringLiteral("Both buttons"), QStringLiteral("Pan and zoom twice as fast")},
        {QStringLiteral("Shift + left click"),
         QStringLiteral("Pick a point of the surface; a second pick measures the distance to the first")},
        {QStringLiteral("Shift + right click"), QStringLiteral("Clear the picks")},
        {QStringLiteral("Ctrl + left click"),
         QStringLiteral("Pin a pixel (up to eight): its depth over time is plotted in Depth over time")},
        {QStringLiteral("Wheel"),
         QStringLiteral("Nothing (zoom is a drag), or zoom about the centre once Mouse wheel zooms is set")},
    };
}
