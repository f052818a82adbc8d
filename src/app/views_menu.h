#pragma once

#include "app/session_store.h"
#include "render/scan_session.h"

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class DepthScaleControl;
class QAction;
class QMainWindow;
class QMenu;
class ViewerGLWidget;

// The Views menu and the session of the scan on screen. Ctrl+Shift+1 to 9 store the view on screen
// (turn, pan, zoom, mirror) under that number, Ctrl+1 to 9 show it again; views get names, go to and
// come from the clipboard as a short JSON text, and may stay when another file of the same size
// opens. What a user set up for a scan (its views, the view on screen, the colour scale) is its
// session, kept by the SessionStore when the scan is left and applied when it opens again, and
// exported to and imported from a file a colleague can open or hand to `pelnor render --session`.
class ViewsMenu : public QObject {
    Q_OBJECT

  public:
    // Puts the menu before `before` in the window's menu bar; its actions are the window's, so
    // their keys work wherever the focus is and Keys and mouse lists them. `mirror` is the window's
    // Mirror action, which follows a view's mirror.
    ViewsMenu(QMainWindow &window, QMenu *before, ViewerGLWidget &view, QAction &mirror,
              DepthScaleControl &scale);

    // The scan on screen is being left (another file opens, the window closes): its session is
    // written when it holds anything a user set up, or was kept before.
    void leaveScan();
    // A scan was opened and is on screen: its session is applied. With "Keep the view when opening
    // another file" on, a scan of the size of the one before keeps the camera as it is.
    void enterScan(const QString &path, int32_t width, int32_t height);

    // A part of the session kept elsewhere (the region's dock, say): `collect` puts what is on
    // screen into the session when it is written, `apply` takes a session read whole, when a scan
    // opens or one is imported, whether or not the session holds that part.
    using Part = std::pair<std::function<void(ScanSession &)>, std::function<void(const ScanSession &)>>;
    void addPart(Part part) { m_parts.push_back(std::move(part)); }

    const ScanSession &session() const { return m_session; }
    QMenu *menu() const { return m_menu; }
    QAction *storeAction(int number) const { return m_storeAs[static_cast<size_t>(number - 1)]; }
    QAction *showAction(int number) const { return m_show[static_cast<size_t>(number - 1)]; }
    QAction *nameAction() const { return m_name; }
    QAction *copyAction() const { return m_copy; }
    QAction *pasteAction() const { return m_paste; }
    QAction *keepViewAction() const { return m_keepView; }
    QAction *exportAction() const { return m_export; }
    QAction *importAction() const { return m_import; }
    QAction *forgetAction() const { return m_forget; }
    // Names view `number` (stored or not yet) and keeps the session.
    void nameView(int number, const QString &name);
    // Exports or imports a session file; false, said in the status bar, where it cannot.
    bool exportSession(const QString &path);
    bool importSession(const QString &path);

  signals:
    void statusMessage(const QString &text, bool failed);

  private:
    void storeView(int number);
    void showView(int number);
    void askName();
    void copyView();
    void pasteView();
    void askExport();
    void askImport();
    void forgetSession();
    // Applies a session read whole: the camera (unless it is kept), the views and the colour scale.
    void applySession(const ScanSession &session, bool keepCamera);
    void applyCamera(const CameraView &camera);
    // The session with the view and colour scale on screen now.
    ScanSession collected() const;
    void writeSession();
    // The entries say what each number holds.
    void followViews();
    QString dialogFolder() const;

    QMainWindow &m_window;
    ViewerGLWidget &m_view;
    QAction &m_mirror;
    DepthScaleControl &m_scale;
    QMenu *m_menu = nullptr;
    std::array<QAction *, ScanSession::kViewNumbers> m_show{};
    std::array<QAction *, ScanSession::kViewNumbers> m_storeAs{};
    QAction *m_name = nullptr;
    QAction *m_copy = nullptr;
    QAction *m_paste = nullptr;
    QAction *m_keepView = nullptr;
    QAction *m_export = nullptr;
    QAction *m_import = nullptr;
    QAction *m_forget = nullptr;
    SessionStore m_store;
    ScanSession m_session;
    // The scan on screen (empty before the first) and its frame size.
    QString m_scanPath;
    int32_t m_width = 0;
    int32_t m_height = 0;
    // The number stored or shown last, which "Name view" names.
    int m_lastNumber = 1;
    std::vector<Part> m_parts;
};
