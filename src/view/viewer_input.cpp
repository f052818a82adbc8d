// Mouse and keyboard of the 3D view: drags turn, pan or zoom the model by the chosen control
// method, letter keys switch the drawing and colouring styles on release.
#include "view/viewer_gl_widget.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <cmath>

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

// The view holds the keyboard grab, so the keys meant for an open menu or other popup arrive here
// first: they go on to the popup, which closes on Escape.
bool ViewerGLWidget::event(QEvent *event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        if (QWidget *popup = QApplication::activePopupWidget()) {
            QApplication::sendEvent(popup->focusWidget() ? popup->focusWidget() : popup, event);
            event->accept();
            return true;
        }
    }
    return QOpenGLWidget::event(event);
}

// Escape quits on its release only when its press reached the view too, with no dialog open: the
// press that closed a menu or a dialog must not end the program with its release.
void ViewerGLWidget::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape)
        m_escapePressed = !QApplication::activeModalWidget();
    QOpenGLWidget::keyPressEvent(event);
}

void ViewerGLWidget::keyReleaseEvent(QKeyEvent *event) {
    auto material = [this](int type) {
        changeMaterialType(type);
        emit materialTypeWasChanged(type);
    };
    auto mesh = [this](int type) {
        changeMeshType(type);
        emit meshTypeWasChanged(type);
    };
    switch (event->key()) {
    case Qt::Key_C:
        material(Solid);
        break;
    case Qt::Key_T:
        material(Texture);
        break;
    case Qt::Key_D: {
        const int current = m_state.materialType;
        material(current == Depth ? Jet : current == Jet ? Magma : current == Magma ? Viridis : Depth);
        break;
    }
    case Qt::Key_S:
        mesh(Shaded);
        break;
    case Qt::Key_W:
        mesh(Wireframe);
        break;
    case Qt::Key_P:
        mesh(PointCloud);
        break;
    case Qt::Key_Escape:
        if (m_escapePressed && !QApplication::activeModalWidget())
            QApplication::quit();
        m_escapePressed = false;
        break;
    default:
        event->ignore();
    }
}

QVector<QPair<QString, QString>> ViewerGLWidget::keysAndMouse() {
    return {
        {QStringLiteral("C"), QStringLiteral("Solid colour")},
        {QStringLiteral("T"), QStringLiteral("Camera texture")},
        {QStringLiteral("D"), QStringLiteral("Depth colours: grey, jet, magma, viridis in turn")},
        {QStringLiteral("S"), QStringLiteral("Shaded surface")},
        {QStringLiteral("W"), QStringLiteral("Wireframe")},
        {QStringLiteral("P"), QStringLiteral("Point cloud")},
        {QStringLiteral("Esc"), QStringLiteral("Quit")},
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
        {QStringLiteral("Wheel"),
         QStringLiteral("Nothing (zoom is a drag), or zoom about the centre once Mouse wheel zooms is set")},
    };
}
