#include "app/views_menu.h"

#include "app/depth_scale_control.h"
#include "app/scan_file_names.h"
#include "view/viewer_gl_widget.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSignalBlocker>

namespace {

const QString kKeepViewKey = QStringLiteral("view/keepViewAcrossFiles");
const QString kSessionFolderKey = QStringLiteral("files/sessionFolder");

QAction *action(QMainWindow &window, const QString &text, const QString &toolTip, const QString &keys) {
    auto *made = new QAction(text, &window);
    made->setToolTip(keys.isEmpty() ? toolTip : toolTip + QStringLiteral(" (") + keys + QLatin1Char(')'));
    if (!keys.isEmpty()) {
        made->setShortcut(QKeySequence(keys));
        made->setAutoRepeat(false);
    }
    window.addAction(made);
    return made;
}

} // namespace

ViewsMenu::ViewsMenu(QMainWindow &window, QMenu *before, ViewerGLWidget &view, QAction &mirror,
                     DepthScaleControl &scale)
    : QObject(&window), m_window(window), m_view(view), m_mirror(mirror), m_scale(scale) {
    m_menu = new QMenu(QStringLiteral("Views"), window.menuBar());
    m_menu->setObjectName(QStringLiteral("menuViews"));
    window.menuBar()->insertMenu(before->menuAction(), m_menu);
    for (int n = 1; n <= ScanSession::kViewNumbers; ++n) {
        const QString number = QString::number(n);
        QAction *show = action(window, QString(), QStringLiteral("Show view %1 again").arg(n),
                               QStringLiteral("Ctrl+") + number);
        connect(show, &QAction::triggered, this, [this, n] { showView(n); });
        m_show[static_cast<size_t>(n - 1)] = show;
        m_menu->addAction(show);
    }
    m_menu->addSeparator();
    QMenu *keep = m_menu->addMenu(QStringLiteral("Store the view on screen as"));
    for (int n = 1; n <= ScanSession::kViewNumbers; ++n) {
        const QString number = QString::number(n);
        QAction *kept = action(window, QStringLiteral("View ") + number,
                               QStringLiteral("Store the view on screen as view %1").arg(n),
                               QStringLiteral("Ctrl+Shift+") + number);
        connect(kept, &QAction::triggered, this, [this, n] { storeView(n); });
        m_storeAs[static_cast<size_t>(n - 1)] = kept;
        keep->addAction(kept);
    }
    m_name =
        action(window, QString(), QStringLiteral("Give the view stored or shown last a name"), QString());
    connect(m_name, &QAction::triggered, this, &ViewsMenu::askName);
    m_menu->addAction(m_name);
    m_menu->addSeparator();
    m_copy = action(window, QStringLiteral("Copy view"),
                    QStringLiteral("Put the view on screen on the clipboard, as a short text"), QString());
    connect(m_copy, &QAction::triggered, this, &ViewsMenu::copyView);
    m_paste = action(window, QStringLiteral("Paste view"),
                     QStringLiteral("Show the view a copied text on the clipboard describes"), QString());
    connect(m_paste, &QAction::triggered, this, &ViewsMenu::pasteView);
    m_keepView =
        action(window, QStringLiteral("Keep the view when opening another file"),
               QStringLiteral("A file of the same frame size opens turned, moved and zoomed as the one "
                              "before, its own session's view aside"),
               QString());
    m_keepView->setCheckable(true);
    m_keepView->setChecked(QSettings().value(kKeepViewKey, false).toBool());
    connect(m_keepView, &QAction::toggled, this, [](bool on) { QSettings().setValue(kKeepViewKey, on); });
    m_menu->addActions({m_copy, m_paste, m_keepView});
    m_menu->addSeparator();
    m_export =
        action(window, QStringLiteral("Export session..."),
               QStringLiteral("Write what was set up for this scan (views, view on screen, colour scale) to "
                              "a file to hand on"),
               QString());
    connect(m_export, &QAction::triggered, this, &ViewsMenu::askExport);
    m_import = action(window, QStringLiteral("Import session..."),
                      QStringLiteral("Set this scan up as a session file says"), QString());
    connect(m_import, &QAction::triggered, this, &ViewsMenu::askImport);
    m_forget =
        action(window, QStringLiteral("Forget this file's session"),
               QStringLiteral("Drop the views and settings kept for this scan; it opens as new"), QString());
    connect(m_forget, &QAction::triggered, this, &ViewsMenu::forgetSession);
    m_menu->addActions({m_export, m_import, m_forget});
    followViews();
}

void ViewsMenu::leaveScan() {
    if (!m_scanPath.isEmpty())
        writeSession();
}

void ViewsMenu::enterScan(const QString &path, int32_t width, int32_t height) {
    const bool sameSize = !m_scanPath.isEmpty() && width == m_width && height == m_height;
    m_scanPath = QFileInfo(path).absoluteFilePath();
    m_width = width;
    m_height = height;
    ScanSession session;
    QString error;
    if (!m_store.load(m_scanPath, &session, &error))
        emit statusMessage(
            QStringLiteral("Could not read the session of %1: %2").arg(lastPathComponent(path), error), true);
    applySession(session, m_keepView->isChecked() && sameSize);
}

void ViewsMenu::applySession(const ScanSession &session, bool keepCamera) {
    m_session = session;
    if (!keepCamera)
        applyCamera(session.camera.value_or(CameraView()));
    m_scale.fileOpened(m_scanPath, session.colours, session.scanBytes == QFileInfo(m_scanPath).size());
    for (const Part &part : m_parts)
        part.second(session);
    followViews();
}

void ViewsMenu::applyCamera(const CameraView &camera) {
    m_view.applyCameraView(camera);
    const QSignalBlocker blocker(m_mirror);
    m_mirror.setChecked(camera.mirrored);
}

ScanSession ViewsMenu::collected() const {
    ScanSession session = m_session;
    session.camera = m_view.cameraView();
    session.colours = m_scale.current();
    for (const Part &part : m_parts)
        part.first(session);
    const QFileInfo scan(m_scanPath);
    session.scanName = scan.fileName();
    session.scanBytes = scan.size();
    return session;
}

void ViewsMenu::writeSession() {
    const ScanSession session = collected();
    if (m_scanPath.isEmpty() || (session.holdsNothing() && !m_store.exists(m_scanPath)))
        return;
    QString error;
    if (!m_store.save(m_scanPath, session, &error))
        emit statusMessage(
            QStringLiteral("Could not keep the session of %1: %2").arg(lastPathComponent(m_scanPath), error),
            true);
}

void ViewsMenu::storeView(int number) {
    NamedView &kept = m_session.views[number];
    kept.camera = m_view.cameraView();
    m_lastNumber = number;
    followViews();
    writeSession();
    emit statusMessage(
        QStringLiteral("Stored the view on screen as view %1: Ctrl+%1 shows it again").arg(number), false);
}

void ViewsMenu::showView(int number) {
    const auto kept = m_session.views.find(number);
    if (kept == m_session.views.end()) {
        emit statusMessage(
            QStringLiteral("No view %1 yet: Ctrl+Shift+%1 stores the view on screen as view %1").arg(number),
            false);
        return;
    }
    applyCamera(kept->second.camera);
    m_lastNumber = number;
    followViews();
}

void ViewsMenu::nameView(int number, const QString &name) {
    auto kept = m_session.views.find(number);
    if (kept == m_session.views.end())
        kept = m_session.views.emplace(number, NamedView{QString(), m_view.cameraView()}).first;
    kept->second.name = name.trimmed().left(200);
    m_lastNumber = number;
    followViews();
    writeSession();
}

void ViewsMenu::askName() {
    const auto kept = m_session.views.find(m_lastNumber);
    bool ok = false;
    const QString name =
        QInputDialog::getText(&m_window, QStringLiteral("Name view %1").arg(m_lastNumber),
                              QStringLiteral("Name of view %1:").arg(m_lastNumber), QLineEdit::Normal,
                              kept == m_session.views.end() ? QString() : kept->second.name, &ok);
    m_window.activateWindow();
    if (ok)
        nameView(m_lastNumber, name);
}

void ViewsMenu::followViews() {
    for (int n = 1; n <= ScanSession::kViewNumbers; ++n) {
        const auto kept = m_session.views.find(n);
        QString text = QStringLiteral("View %1").arg(n);
        if (kept == m_session.views.end())
            text += QStringLiteral(" (none yet)");
        else if (!kept->second.name.isEmpty())
            text += QStringLiteral(": ") + kept->second.name;
        m_show[static_cast<size_t>(n - 1)]->setText(text);
    }
    m_name->setText(QStringLiteral("Name view %1...").arg(m_lastNumber));
    for (QAction *session : {m_export, m_import, m_forget})
        session->setEnabled(!m_scanPath.isEmpty());
}

void ViewsMenu::copyView() {
    QGuiApplication::clipboard()->setText(QString::fromUtf8(m_view.cameraView().toText()));
    emit statusMessage(QStringLiteral("Copied the view on screen"), false);
}

void ViewsMenu::pasteView() {
    CameraView pasted;
    QString error;
    if (!pasted.fromText(QGuiApplication::clipboard()->text().toUtf8(), &error)) {
        emit statusMessage(QStringLiteral("Could not paste a view: the clipboard: ") + error, true);
        return;
    }
    applyCamera(pasted);
}

QString ViewsMenu::dialogFolder() const {
    const QString remembered = QSettings().value(kSessionFolderKey).toString();
    if (!remembered.isEmpty() && QFileInfo(remembered).isDir())
        return remembered;
    return QFileInfo(m_scanPath).absolutePath();
}

bool ViewsMenu::exportSession(const QString &path) {
    QString error;
    if (!collected().writeFile(path, &error)) {
        emit statusMessage(QStringLiteral("Could not export %1: %2").arg(lastPathComponent(path), error),
                           true);
        return false;
    }
    emit statusMessage(QStringLiteral("Exported the session to ") + lastPathComponent(path), false);
    return true;
}

bool ViewsMenu::importSession(const QString &path) {
    ScanSession read;
    QString error;
    if (!read.readFile(path, &error)) {
        emit statusMessage(QStringLiteral("Could not import %1: %2").arg(lastPathComponent(path), error),
                           true);
        return false;
    }
    applySession(read, false);
    writeSession();
    emit statusMessage(QStringLiteral("Imported the session of ") + lastPathComponent(path), false);
    return true;
}

void ViewsMenu::askExport() {
    const QString proposed =
        QDir(dialogFolder())
            .filePath(QFileInfo(m_scanPath).completeBaseName() + QStringLiteral(".session.json"));
    QString path = QFileDialog::getSaveFileName(&m_window, QStringLiteral("Export session"), proposed,
                                                QStringLiteral("Sessions (*.json)"));
    m_window.activateWindow();
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".json");
    QSettings().setValue(kSessionFolderKey, QFileInfo(path).absolutePath());
    exportSession(path);
}

void ViewsMenu::askImport() {
    const QString path = QFileDialog::getOpenFileName(&m_window, QStringLiteral("Import session"),
                                                      dialogFolder(), QStringLiteral("Sessions (*.json)"));
    m_window.activateWindow();
    if (path.isEmpty())
        return;
    QSettings().setValue(kSessionFolderKey, QFileInfo(path).absolutePath());
    importSession(path);
}

void ViewsMenu::forgetSession() {
    if (!m_store.forget(m_scanPath)) {
        emit statusMessage(QStringLiteral("Could not forget the session of ") + lastPathComponent(m_scanPath),
                           true);
        return;
    }
    SessionColours firstFrame;
    ScanSession none;
    none.colours = firstFrame;
    applySession(none, false);
    m_session = ScanSession();
    emit statusMessage(QStringLiteral("Forgot the session of ") + lastPathComponent(m_scanPath), false);
}
