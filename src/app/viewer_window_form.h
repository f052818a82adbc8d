#pragma once

class QAction;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QSpinBox;
class QDockWidget;
class QFormLayout;
class QHBoxLayout;
class QLabel;
class QMainWindow;
class QMenu;
class QMenuBar;
class QPushButton;
class QSlider;
class QStatusBar;
class QToolBar;
class QVBoxLayout;
class QWidget;
class TimelineBar;
class ViewerGLWidget;

// The widgets and actions of the main window, one pointer per object, each named by its object
// name. The window owns them all through Qt's parent chain; the form only points at them.
class ViewerWindowForm {
  public:
    QAction *actionOpen3DFile = nullptr;
    QAction *actionSaveScreenshot = nullptr;
    QAction *actionResetViewer = nullptr;
    QAction *actionSetControlMethodRotate = nullptr;
    QAction *actionSetControlMethodTranslate = nullptr;
    QAction *actionSetControlMethodZoom = nullptr;
    QAction *actionMirrorModel = nullptr;
    QAction *actionViewFileInfo = nullptr;
    QAction *actionReplay = nullptr;
    QAction *actionDepthColor = nullptr;
    QAction *actionSave3DFile = nullptr;
    // File, "Quit": closes the window, which ends the program.
    QAction *actionQuit = nullptr;
    // Sequence keys: they act on the window as a whole and sit in no menu or tool bar.
    QAction *actionStepBack = nullptr;
    QAction *actionStepForward = nullptr;
    QAction *actionFirstFrame = nullptr;
    QAction *actionLastFrame = nullptr;
    QAction *actionKeysAndMouse = nullptr;
    // Leaves out the triangles that join surfaces at different depths.
    QAction *actionHideDepthJumps = nullptr;
    // Eye-dome lighting in the style shown (each style keeps its own), in the dock with its strength
    // and radius, and the size of the Points style's points (0 for automatic).
    QAction *actionEyeDome = nullptr;
    QCheckBox *eyeDomeCheckBox = nullptr;
    QDoubleSpinBox *eyeDomeStrengthSpinBox = nullptr;
    QDoubleSpinBox *eyeDomeRadiusSpinBox = nullptr;
    QLabel *pointSizeLabel = nullptr;
    QSpinBox *pointSizeSpinBox = nullptr;
    // Draws every pixel also while the picture moves (level of detail off).
    QAction *actionFullDetail = nullptr;
    // Studying motion, in the Playback menu: the speed, the loop range and steps of one second.
    QAction *actionSlower = nullptr;
    QAction *actionFaster = nullptr;
    QAction *actionNormalSpeed = nullptr;
    QAction *actionLoopStart = nullptr;
    QAction *actionLoopEnd = nullptr;
    QAction *actionClearLoop = nullptr;
    QAction *actionSecondBack = nullptr;
    QAction *actionSecondForward = nullptr;
    QMenu *menuPlayback = nullptr;
    QMenu *menuRecent = nullptr;
    QWidget *centralWidget = nullptr;
    QVBoxLayout *centralLayout = nullptr;
    QHBoxLayout *horizontalLayout = nullptr;
    ViewerGLWidget *viewerOpenGLWidget = nullptr;
    TimelineBar *timelineBar = nullptr;
    QMenuBar *menuBar = nullptr;
    QMenu *menuOpen = nullptr;
    QMenu *menuAdvanced = nullptr;
    QMenu *menuHelp = nullptr;
    QToolBar *mainToolBar = nullptr;
    QStatusBar *statusBar = nullptr;
    QDockWidget *dockWidget = nullptr;
    QWidget *dockWidgetContents = nullptr;
    QVBoxLayout *verticalLayout_2 = nullptr;
    QFormLayout *formLayout = nullptr;
    QLabel *meshTypeLabel = nullptr;
    QComboBox *meshTypeComboBox = nullptr;
    QLabel *materialTypeLabel = nullptr;
    QComboBox *materialTypeComboBox = nullptr;
    QLabel *lightIntensityLabel = nullptr;
    QSlider *lightIntensityHorizontalSlider = nullptr;
    QSlider *sliderMinZ = nullptr;
    QLabel *label = nullptr;
    QLabel *label_2 = nullptr;
    QSlider *sliderMaxZ = nullptr;
    // The depth each depth slider stands for, beside it.
    QLabel *labelMinZDepth = nullptr;
    QLabel *labelMaxZDepth = nullptr;
    // The depth-jump rule: on or off, and how many pixel footprints an edge may span.
    QCheckBox *hideJumpsCheckBox = nullptr;
    QDoubleSpinBox *depthJumpFactorSpinBox = nullptr;
    // Detail: automatic (coarser while moving) or full.
    QLabel *detailLabel = nullptr;
    QComboBox *detailComboBox = nullptr;
    // Says, in the status bar, when the picture is coarser than full.
    QLabel *detailStatusLabel = nullptr;
    // What the picks on the surface say, for as long as they stand.
    QLabel *pickStatusLabel = nullptr;
    // The depth colours fitted to the frame on screen: a key, and a button under the depth sliders.
    QAction *actionFitColors = nullptr;
    QPushButton *fitColorsButton = nullptr;
    // Where the depth colours' range comes from: the first frame, this frame, the whole video, fixed.
    QLabel *depthScaleLabel = nullptr;
    QComboBox *depthScaleComboBox = nullptr;
    // Whether the wheel zooms, and the share of the distance a notch takes, in percent.
    QCheckBox *wheelZoomsCheckBox = nullptr;
    QDoubleSpinBox *wheelStepSpinBox = nullptr;
    // How much memory the frames of a sequence kept at hand may take, in MB.
    QLabel *frameCacheLabel = nullptr;
    QSpinBox *frameCacheSpinBox = nullptr;

    // Builds the widget tree and actions on the window, sets the texts and wires the controls to
    // the view and to the window's slots.
    void setupUi(QMainWindow *ViewerWindow);
    void retranslateUi(QMainWindow *ViewerWindow);
};
