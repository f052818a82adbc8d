#pragma once

#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <memory>

class ChangeControls;
class DepthScaleControl;
class FrameSequence;
class KeysAndMouseWindow;
class PlaybackControls;
class Player;
class RecentFiles;
class RegionPanel;
class QTableWidget;
class ScanFrameStore;
class ViewerGLWidget;
class ViewerWindowForm;
class ViewsMenu;

// The one main window: the 3D view in the middle, the tool bar of view commands, the dock of
// rendering settings, and the commands that open, play and save scans.
class ViewerWindow : public QMainWindow {
    Q_OBJECT

  public:
    explicit ViewerWindow(QWidget *parent = nullptr);
    ~ViewerWindow() override;

    // Opens a .xyzm or .pt frame or plays a .ptv sequence. A file that cannot be opened leaves
    // the frame, the title and the actions as they were and says why in the status bar.
    void openFile(QString path);
    void showStatusMessage(QString text);

    ViewerWindowForm &form() { return *ui; }
    ViewerGLWidget &view();
    // The frame on screen, or null before a file is opened.
    const ScanFrameStore *shownFrame() const;
    // Plays the open sequence: its clock, speed, loop range and the frame shown.
    Player &player() { return *m_player; }
    // The file open, a single frame or a sequence, or null.
    const FrameSequence *openSequence() const { return m_sequence.get(); }
    QTableWidget &fileInformationWindow() { return *fileInfoTable; }
    // The Change and Noise colourings' settings, the pins and the Depth over time dock.
    ChangeControls &changeControls() { return *m_change; }
    KeysAndMouseWindow *keysAndMouseWindow() const { return keysAndMouse; }
    RegionPanel &regionPanel() { return *m_region; }
    // The Views menu and the session of the scan on screen.
    ViewsMenu &views() { return *m_views; }
    int currentControlMethod() const { return controlMethod; }

    // How long a message that something failed stays in the status bar.
    static constexpr int kFailureMessageMs = 8000;

  signals:
    void viewerWindowDidClose(int closingWindowInstanceId);

  private slots:
    void open3DFile();
    void save3DFile();
    void viewFileInfo();
    void saveScreenshot();
    void dock_didUndock();
    void setRotation(bool isChecked);
    void setTranslation(bool isChecked);
    void setZoom(bool isChecked);
    void setMirrorGeometry(bool isChecked);
    void replayVideo(bool isChecked);
    void stepBack();
    void stepForward();
    void firstFrame();
    void lastFrame();
    void showKeysAndMouse();
    // A text for the status bar: a failure stays longer.
    void showMessage(const QString &text, bool failed);

  protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

  private:
    void openSequence(std::unique_ptr<FrameSequence> sequence, const QString &name);
    void openSingleFrame(std::unique_ptr<FrameSequence> file, const QString &name);
    // A sequence is open (as opposed to a single frame, or nothing).
    bool showsSequence() const;
    void fillFileInfoTable();
    // Plain functions, not slots: the window's slot list stays as the form connects it by name.
    void followColouring(int materialType);
    void showDepthRange(float lowEnd, float highEnd);
    // The depth sliders stand where the colours' range is.
    void followSliders();
    // Shows frame `frame` of the open sequence (clamped to the file); `pause` stops playback first.
    void seekSequence(int frame, bool pause);
    void setSequenceControlsEnabled(bool enabled);
    // The timeline shows the frames of the sequence's header as read last, and the frame on screen.
    void followSequenceHeader();
    // Paused, the frame on screen can be saved and pictured, and File Info tells its facts.
    void showPaused();
    // A frame could not be read while playing, and the view has paused: Play goes off, and why is said.
    void playbackFailed(const QString &reason);
    void showSequenceFrame(int frame);
    // Follows each sequence frame shown with the timeline, and with File Info while paused.
    void sequenceFrameShown(int frame);
    // Where a file dialog opens: the folder it was last answered in (`key` names the dialog), else
    // the folder of the scan on screen.
    QString dialogDirectory(const QString &key) const;
    // Once a dialog of the window has closed, the view's keys work again at once.
    void takeKeysBack();
    void showFailure(const QString &what, const QString &name, const QString &reason);
    // The depth-jump rule of the dock goes to the view and is remembered for the next run.
    void followDepthJumps();
    // The level of detail likewise; the status bar says when the picture is coarser than full.
    void followDetail();
    void showDetail(int stride);
    // The depth colours span what the frame on screen measures; the sliders and their depths follow.
    void fitColorsToFrame();
    // The eye-dome lighting of the dock (on or off for the style shown, its strength and radius) and
    // the points' size go to the view and are remembered for the next run.
    void followEyeDome();
    void followPointSize();
    // The lighting's switch shows whether the style now shown has it.
    void showEyeDomeOfStyle();
    // The wheel setting of the dock goes to the view and is remembered for the next run.
    void followWheelZoom();
    // The frame cache's budget likewise goes to the open sequence and is remembered.
    void followFrameCache();
    int64_t frameCacheBudget() const;
    // The region of the panel goes to the view; the facts follow it, and a region that keeps nothing
    // of the frame on screen is said.
    void followRegion();
    void fitRegionToFrame();
    void sayRegionKeepsNothing();

    std::unique_ptr<ViewerWindowForm> ui;
    // The styles with eye-dome lighting, a bit each (1 << MeshType).
    uint32_t m_eyeDomeStyles = 0;
    // The file open, by frame index, with its cache; the player plays it when it is a sequence.
    std::unique_ptr<FrameSequence> m_sequence;
    Player *m_player = nullptr;
    // A top-level window of its own: closing the main window leaves it open.
    std::unique_ptr<QTableWidget> fileInfoTable;
    KeysAndMouseWindow *keysAndMouse = nullptr;
    PlaybackControls *m_playback = nullptr;
    ChangeControls *m_change = nullptr;
    RecentFiles *m_recent = nullptr;
    RegionPanel *m_region = nullptr;
    DepthScaleControl *m_depthScale = nullptr;
    ViewsMenu *m_views = nullptr;
    int controlMethod = 0;
    int instanceId = -1;
};
