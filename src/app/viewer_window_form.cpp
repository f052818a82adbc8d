#include "app/viewer_window_form.h"

#include "app/scrolled_panel.h"

#include "app/timeline_bar.h"
#include "view/viewer_gl_widget.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

QAction *makeAction(QMainWindow *window, const char *objectName, const char *iconPath, bool checkable) {
    auto *action = new QAction(window);
    action->setObjectName(QString::fromLatin1(objectName));
    action->setCheckable(checkable);
    if (iconPath) {
        QIcon icon;
        icon.addFile(QString::fromLatin1(iconPath), QSize(), QIcon::Normal, QIcon::Off);
        action->setIcon(icon);
    }
    return action;
}

void setTexts(QAction *action, const char *text, const char *toolTip, const char *shortcut) {
    const char *context = "ViewerWindow";
    action->setText(QCoreApplication::translate(context, text));
    if (toolTip)
        action->setToolTip(QCoreApplication::translate(context, toolTip));
    if (shortcut)
        action->setShortcut(QKeySequence(QCoreApplication::translate(context, shortcut)));
}

QFont pointSizeFont(int pointSize) {
    QFont font;
    font.setPointSize(pointSize);
    return font;
}

} // namespace

void ViewerWindowForm::setupUi(QMainWindow *ViewerWindow) {
    if (ViewerWindow->objectName().isEmpty())
        ViewerWindow->setObjectName(QStringLiteral("ViewerWindow"));
    ViewerWindow->resize(800, 631);
    QIcon windowIcon;
    windowIcon.addFile(QStringLiteral(":/icons/box.svg"), QSize(), QIcon::Normal, QIcon::Off);
    ViewerWindow->setWindowIcon(windowIcon);

    actionOpen3DFile = makeAction(ViewerWindow, "actionOpen3DFile", ":/icons/file-white.svg", false);
    actionSaveScreenshot = makeAction(ViewerWindow, "actionSaveScreenshot", ":/icons/image-white.svg", false);
    actionResetViewer = makeAction(ViewerWindow, "actionResetViewer", ":/icons/home-white.svg", false);
    actionSetControlMethodRotate =
        makeAction(ViewerWindow, "actionSetControlMethodRotate", ":/icons/refresh-cw-white.svg", true);
    actionSetControlMethodRotate->setChecked(true);
    actionSetControlMethodTranslate =
        makeAction(ViewerWindow, "actionSetControlMethodTranslate", ":/icons/move-white.svg", true);
    actionSetControlMethodZoom =
        makeAction(ViewerWindow, "actionSetControlMethodZoom", ":/icons/search-white.svg", true);
    actionMirrorModel = makeAction(ViewerWindow, "actionMirrorModel", ":/icons/layers-white.svg", true);
    actionViewFileInfo = makeAction(ViewerWindow, "actionViewFileInfo", ":/icons/info-white.svg", false);
    actionReplay = makeAction(ViewerWindow, "actionReplay", ":/icons/play-white.svg", true);
    actionDepthColor = makeAction(ViewerWindow, "actionDepthColor", nullptr, false);
    actionSave3DFile = makeAction(ViewerWindow, "actionSave3DFile", ":/icons/save-white.svg", false);
    actionQuit = makeAction(ViewerWindow, "actionQuit", nullptr, false);
    // A checked Play shows the pause sign: pressing it then pauses.
    QIcon playIcon = actionReplay->icon();
    playIcon.addFile(QStringLiteral(":/icons/pause-white.svg"), QSize(), QIcon::Normal, QIcon::On);
    actionReplay->setIcon(playIcon);
    actionReplay->setAutoRepeat(false);
    actionStepBack = makeAction(ViewerWindow, "actionStepBack", nullptr, false);
    actionStepForward = makeAction(ViewerWindow, "actionStepForward", nullptr, false);
    actionFirstFrame = makeAction(ViewerWindow, "actionFirstFrame", nullptr, false);
    actionLastFrame = makeAction(ViewerWindow, "actionLastFrame", nullptr, false);
    actionKeysAndMouse = makeAction(ViewerWindow, "actionKeysAndMouse", nullptr, false);
    actionHideDepthJumps = makeAction(ViewerWindow, "actionHideDepthJumps", nullptr, true);
    actionFullDetail = makeAction(ViewerWindow, "actionFullDetail", nullptr, true);
    actionEyeDome = makeAction(ViewerWindow, "actionEyeDome", nullptr, true);
    ViewerWindow->addActions({actionStepBack, actionStepForward, actionFirstFrame, actionLastFrame});

    centralWidget = new QWidget(ViewerWindow);
    centralWidget->setObjectName(QStringLiteral("centralWidget"));
    centralLayout = new QVBoxLayout(centralWidget);
    centralLayout->setObjectName(QStringLiteral("centralLayout"));
    centralLayout->setContentsMargins(0, 0, 0, 0);
    centralLayout->setSpacing(0);
    horizontalLayout = new QHBoxLayout();
    centralLayout->addLayout(horizontalLayout);
    horizontalLayout->setSpacing(6);
    horizontalLayout->setContentsMargins(11, 11, 11, 11);
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    viewerOpenGLWidget = new ViewerGLWidget(centralWidget);
    viewerOpenGLWidget->setObjectName(QStringLiteral("viewerOpenGLWidget"));
    QSizePolicy viewPolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    viewPolicy.setHorizontalStretch(0);
    viewPolicy.setVerticalStretch(0);
    viewPolicy.setHeightForWidth(viewerOpenGLWidget->sizePolicy().hasHeightForWidth());
    viewerOpenGLWidget->setSizePolicy(viewPolicy);
    // Small enough that a window of 800 x 600 holds the view, the dock and the timeline in full.
    viewerOpenGLWidget->setMinimumSize(QSize(320, 240));
    horizontalLayout->addWidget(viewerOpenGLWidget);
    timelineBar = new TimelineBar(centralWidget);
    timelineBar->setObjectName(QStringLiteral("timelineBar"));
    timelineBar->hide();
    centralLayout->addWidget(timelineBar);
    ViewerWindow->setCentralWidget(centralWidget);

    menuBar = new QMenuBar(ViewerWindow);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    menuBar->setGeometry(QRect(0, 0, 800, 17));
    menuOpen = new QMenu(menuBar);
    menuOpen->setObjectName(QStringLiteral("menuOpen"));
    menuAdvanced = new QMenu(menuBar);
    menuAdvanced->setObjectName(QStringLiteral("menuAdvanced"));
    menuHelp = new QMenu(menuBar);
    menuHelp->setObjectName(QStringLiteral("menuHelp"));
    ViewerWindow->setMenuBar(menuBar);

    mainToolBar = new QToolBar(ViewerWindow);
    mainToolBar->setObjectName(QStringLiteral("mainToolBar"));
    QSizePolicy toolBarPolicy(QSizePolicy::Preferred, QSizePolicy::MinimumExpanding);
    toolBarPolicy.setHorizontalStretch(0);
    toolBarPolicy.setVerticalStretch(0);
    toolBarPolicy.setHeightForWidth(mainToolBar->sizePolicy().hasHeightForWidth());
    mainToolBar->setSizePolicy(toolBarPolicy);
    QFont toolBarFont = pointSizeFont(10);
    toolBarFont.setBold(false);
    toolBarFont.setWeight(50);
    mainToolBar->setFont(toolBarFont);
    mainToolBar->setMouseTracking(false);
    mainToolBar->setMovable(false);
    mainToolBar->setAllowedAreas(Qt::TopToolBarArea | Qt::BottomToolBarArea);
    mainToolBar->setOrientation(Qt::Horizontal);
    mainToolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    mainToolBar->setFloatable(false);
    ViewerWindow->addToolBar(Qt::TopToolBarArea, mainToolBar);

    statusBar = new QStatusBar(ViewerWindow);
    statusBar->setObjectName(QStringLiteral("statusBar"));
    ViewerWindow->setStatusBar(statusBar);
    pickStatusLabel = new QLabel(statusBar);
    pickStatusLabel->setObjectName(QStringLiteral("pickStatusLabel"));
    statusBar->addWidget(pickStatusLabel, 1);

    dockWidget = new QDockWidget(ViewerWindow);
    dockWidget->setObjectName(QStringLiteral("dockWidget"));
    dockWidget->setMinimumSize(QSize(240, 165));
    dockWidget->setFont(pointSizeFont(10));
    dockWidget->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    dockWidgetContents = new QWidget();
    dockWidgetContents->setObjectName(QStringLiteral("dockWidgetContents"));
    QSizePolicy contentsPolicy(QSizePolicy::MinimumExpanding, QSizePolicy::MinimumExpanding);
    contentsPolicy.setHorizontalStretch(0);
    contentsPolicy.setVerticalStretch(0);
    contentsPolicy.setHeightForWidth(dockWidgetContents->sizePolicy().hasHeightForWidth());
    dockWidgetContents->setSizePolicy(contentsPolicy);
    verticalLayout_2 = new QVBoxLayout(dockWidgetContents);
    verticalLayout_2->setSpacing(6);
    verticalLayout_2->setContentsMargins(11, 11, 11, 11);
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));
    formLayout = new QFormLayout();
    formLayout->setSpacing(6);
    formLayout->setObjectName(QStringLiteral("formLayout"));
    formLayout->setHorizontalSpacing(12);
    formLayout->setVerticalSpacing(12);

    meshTypeLabel = new QLabel(dockWidgetContents);
    meshTypeLabel->setObjectName(QStringLiteral("meshTypeLabel"));
    formLayout->setWidget(0, QFormLayout::LabelRole, meshTypeLabel);
    meshTypeComboBox = new QComboBox(dockWidgetContents);
    meshTypeComboBox->setObjectName(QStringLiteral("meshTypeComboBox"));
    formLayout->setWidget(0, QFormLayout::FieldRole, meshTypeComboBox);

    materialTypeLabel = new QLabel(dockWidgetContents);
    materialTypeLabel->setObjectName(QStringLiteral("materialTypeLabel"));
    formLayout->setWidget(1, QFormLayout::LabelRole, materialTypeLabel);
    materialTypeComboBox = new QComboBox(dockWidgetContents);
    materialTypeComboBox->setObjectName(QStringLiteral("materialTypeComboBox"));
    formLayout->setWidget(1, QFormLayout::FieldRole, materialTypeComboBox);

    lightIntensityLabel = new QLabel(dockWidgetContents);
    lightIntensityLabel->setObjectName(QStringLiteral("lightIntensityLabel"));
    formLayout->setWidget(2, QFormLayout::LabelRole, lightIntensityLabel);
    lightIntensityHorizontalSlider = new QSlider(dockWidgetContents);
    lightIntensityHorizontalSlider->setObjectName(QStringLiteral("lightIntensityHorizontalSlider"));
    lightIntensityHorizontalSlider->setMaximum(100);
    lightIntensityHorizontalSlider->setPageStep(10);
    lightIntensityHorizontalSlider->setValue(13);
    lightIntensityHorizontalSlider->setOrientation(Qt::Horizontal);
    lightIntensityHorizontalSlider->setInvertedAppearance(false);
    lightIntensityHorizontalSlider->setInvertedControls(false);
    lightIntensityHorizontalSlider->setTickPosition(QSlider::TicksAbove);
    formLayout->setWidget(2, QFormLayout::FieldRole, lightIntensityHorizontalSlider);

    // Each depth slider with the depth it stands for beside it, wide enough for "-1234.5".
    auto depthRow = [&](int row, const char *sliderName, const char *depthName, QLabel **depth) {
        auto *slider = new QSlider(dockWidgetContents);
        slider->setObjectName(QString::fromLatin1(sliderName));
        slider->setOrientation(Qt::Horizontal);
        *depth = new QLabel(dockWidgetContents);
        (*depth)->setObjectName(QString::fromLatin1(depthName));
        (*depth)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        (*depth)->setMinimumWidth((*depth)->fontMetrics().horizontalAdvance(QStringLiteral("-1234.56")));
        auto *pair = new QHBoxLayout();
        pair->addWidget(slider);
        pair->addWidget(*depth);
        formLayout->setLayout(row, QFormLayout::FieldRole, pair);
        return slider;
    };
    sliderMinZ = depthRow(3, "sliderMinZ", "labelMinZDepth", &labelMinZDepth);
    label = new QLabel(dockWidgetContents);
    label->setObjectName(QStringLiteral("label"));
    formLayout->setWidget(3, QFormLayout::LabelRole, label);
    label_2 = new QLabel(dockWidgetContents);
    label_2->setObjectName(QStringLiteral("label_2"));
    formLayout->setWidget(4, QFormLayout::LabelRole, label_2);
    sliderMaxZ = depthRow(4, "sliderMaxZ", "labelMaxZDepth", &labelMaxZDepth);
    hideJumpsCheckBox = new QCheckBox(dockWidgetContents);
    hideJumpsCheckBox->setObjectName(QStringLiteral("hideJumpsCheckBox"));
    depthJumpFactorSpinBox = new QDoubleSpinBox(dockWidgetContents);
    depthJumpFactorSpinBox->setObjectName(QStringLiteral("depthJumpFactorSpinBox"));
    depthJumpFactorSpinBox->setRange(1.0, 50.0);
    depthJumpFactorSpinBox->setSingleStep(0.5);
    depthJumpFactorSpinBox->setDecimals(1);
    depthJumpFactorSpinBox->setValue(5.0);
    formLayout->setWidget(5, QFormLayout::LabelRole, hideJumpsCheckBox);
    formLayout->setWidget(5, QFormLayout::FieldRole, depthJumpFactorSpinBox);
    detailLabel = new QLabel(dockWidgetContents);
    detailLabel->setObjectName(QStringLiteral("detailLabel"));
    detailComboBox = new QComboBox(dockWidgetContents);
    detailComboBox->setObjectName(QStringLiteral("detailComboBox"));
    formLayout->setWidget(6, QFormLayout::LabelRole, detailLabel);
    formLayout->setWidget(6, QFormLayout::FieldRole, detailComboBox);

    // Under the depth sliders, the button that fits their colours to the frame; at the end, the wheel.
    fitColorsButton = new QPushButton(dockWidgetContents);
    fitColorsButton->setObjectName(QStringLiteral("fitColorsButton"));
    formLayout->insertRow(5, fitColorsButton);
    // Under the light, how the surface is shaded besides: eye-dome lighting and the points' size.
    eyeDomeCheckBox = new QCheckBox(dockWidgetContents);
    eyeDomeCheckBox->setObjectName(QStringLiteral("eyeDomeCheckBox"));
    eyeDomeStrengthSpinBox = new QDoubleSpinBox(dockWidgetContents);
    eyeDomeStrengthSpinBox->setObjectName(QStringLiteral("eyeDomeStrengthSpinBox"));
    eyeDomeStrengthSpinBox->setRange(0.0, 5.0);
    eyeDomeStrengthSpinBox->setSingleStep(0.1);
    eyeDomeStrengthSpinBox->setDecimals(1);
    eyeDomeStrengthSpinBox->setValue(1.0);
    eyeDomeRadiusSpinBox = new QDoubleSpinBox(dockWidgetContents);
    eyeDomeRadiusSpinBox->setObjectName(QStringLiteral("eyeDomeRadiusSpinBox"));
    eyeDomeRadiusSpinBox->setRange(1.0, 4.0);
    eyeDomeRadiusSpinBox->setSingleStep(0.1);
    eyeDomeRadiusSpinBox->setDecimals(1);
    eyeDomeRadiusSpinBox->setSuffix(QStringLiteral(" px"));
    eyeDomeRadiusSpinBox->setValue(1.4);
    // Strength and radius side by side: a row less keeps the dock within a window 600 high.
    auto *eyeDomeFields = new QHBoxLayout();
    eyeDomeFields->setSpacing(6);
    eyeDomeFields->addWidget(eyeDomeStrengthSpinBox);
    eyeDomeFields->addWidget(eyeDomeRadiusSpinBox);
    formLayout->insertRow(3, eyeDomeCheckBox, eyeDomeFields);
    pointSizeLabel = new QLabel(dockWidgetContents);
    pointSizeLabel->setObjectName(QStringLiteral("pointSizeLabel"));
    pointSizeSpinBox = new QSpinBox(dockWidgetContents);
    pointSizeSpinBox->setObjectName(QStringLiteral("pointSizeSpinBox"));
    // 0 reads "automatic".
    pointSizeSpinBox->setRange(0, 64);
    pointSizeSpinBox->setSuffix(QStringLiteral(" px"));
    formLayout->insertRow(4, pointSizeLabel, pointSizeSpinBox);
    depthScaleLabel = new QLabel(dockWidgetContents);
    depthScaleLabel->setObjectName(QStringLiteral("depthScaleLabel"));
    depthScaleComboBox = new QComboBox(dockWidgetContents);
    depthScaleComboBox->setObjectName(QStringLiteral("depthScaleComboBox"));
    // Under the fit button, which the eye-dome rows above have moved to row 7.
    formLayout->insertRow(8, depthScaleLabel, depthScaleComboBox);
    wheelZoomsCheckBox = new QCheckBox(dockWidgetContents);
    wheelZoomsCheckBox->setObjectName(QStringLiteral("wheelZoomsCheckBox"));
    wheelStepSpinBox = new QDoubleSpinBox(dockWidgetContents);
    wheelStepSpinBox->setObjectName(QStringLiteral("wheelStepSpinBox"));
    wheelStepSpinBox->setRange(1.0, 50.0);
    wheelStepSpinBox->setDecimals(0);
    wheelStepSpinBox->setSuffix(QStringLiteral(" %"));
    wheelStepSpinBox->setValue(10.0);
    formLayout->addRow(wheelZoomsCheckBox, wheelStepSpinBox);
    frameCacheLabel = new QLabel(dockWidgetContents);
    frameCacheLabel->setObjectName(QStringLiteral("frameCacheLabel"));
    frameCacheSpinBox = new QSpinBox(dockWidgetContents);
    frameCacheSpinBox->setObjectName(QStringLiteral("frameCacheSpinBox"));
    frameCacheSpinBox->setRange(0, 65536);
    frameCacheSpinBox->setSingleStep(64);
    frameCacheSpinBox->setSuffix(QStringLiteral(" MB"));
    formLayout->addRow(frameCacheLabel, frameCacheSpinBox);

    verticalLayout_2->addLayout(formLayout);
    dockWidget->setWidget(dockWidgetContents);
    ViewerWindow->addDockWidget(Qt::RightDockWidgetArea, dockWidget);

    menuBar->addAction(menuOpen->menuAction());
    menuBar->addAction(menuAdvanced->menuAction());
    menuBar->addAction(menuHelp->menuAction());
    menuOpen->addAction(actionOpen3DFile);
    menuOpen->addAction(actionSaveScreenshot);
    menuOpen->addSeparator();
    menuOpen->addAction(actionQuit);
    menuAdvanced->addAction(actionDepthColor);
    menuAdvanced->addAction(actionHideDepthJumps);
    menuAdvanced->addAction(actionFullDetail);
    menuAdvanced->addAction(actionEyeDome);
    menuHelp->addAction(actionKeysAndMouse);
    actionFitColors = makeAction(ViewerWindow, "actionFitColors", nullptr, false);
    menuAdvanced->addAction(actionFitColors);
    QObject::connect(fitColorsButton, &QPushButton::clicked, actionFitColors, &QAction::trigger);
    // The files opened last under File, and the controls that study motion in a menu of their own.
    menuRecent = new QMenu(menuOpen);
    menuRecent->setObjectName(QStringLiteral("menuRecent"));
    menuOpen->insertMenu(actionSaveScreenshot, menuRecent);
    menuPlayback = new QMenu(menuBar);
    menuPlayback->setObjectName(QStringLiteral("menuPlayback"));
    menuBar->insertMenu(menuHelp->menuAction(), menuPlayback);
    actionSlower = makeAction(ViewerWindow, "actionSlower", nullptr, false);
    actionFaster = makeAction(ViewerWindow, "actionFaster", nullptr, false);
    actionNormalSpeed = makeAction(ViewerWindow, "actionNormalSpeed", nullptr, false);
    actionLoopStart = makeAction(ViewerWindow, "actionLoopStart", nullptr, false);
    actionLoopEnd = makeAction(ViewerWindow, "actionLoopEnd", nullptr, false);
    actionClearLoop = makeAction(ViewerWindow, "actionClearLoop", nullptr, false);
    actionSecondBack = makeAction(ViewerWindow, "actionSecondBack", nullptr, false);
    actionSecondForward = makeAction(ViewerWindow, "actionSecondForward", nullptr, false);
    menuPlayback->addActions({actionSlower, actionFaster, actionNormalSpeed});
    menuPlayback->addSeparator();
    menuPlayback->addActions({actionLoopStart, actionLoopEnd, actionClearLoop});
    menuPlayback->addSeparator();
    menuPlayback->addActions({actionSecondBack, actionSecondForward});
    mainToolBar->addAction(actionReplay);
    mainToolBar->addAction(actionSetControlMethodRotate);
    mainToolBar->addAction(actionSetControlMethodTranslate);
    mainToolBar->addAction(actionSetControlMethodZoom);
    mainToolBar->addAction(actionResetViewer);
    mainToolBar->addSeparator();
    mainToolBar->addAction(actionMirrorModel);
    mainToolBar->addSeparator();
    mainToolBar->addAction(actionSaveScreenshot);
    mainToolBar->addAction(actionSave3DFile);
    mainToolBar->addAction(actionViewFileInfo);

    retranslateUi(ViewerWindow);
    // The settings scroll where a small screen's window cannot show them all, rather than making the
    // window taller than the screen.
    dockWidget->setWidget(scrolledPanel(dockWidgetContents));

    QObject::connect(actionOpen3DFile, SIGNAL(triggered()), ViewerWindow, SLOT(open3DFile()));
    QObject::connect(actionSaveScreenshot, SIGNAL(triggered()), ViewerWindow, SLOT(saveScreenshot()));
    QObject::connect(dockWidget, SIGNAL(topLevelChanged(bool)), ViewerWindow, SLOT(dock_didUndock()));
    QObject::connect(viewerOpenGLWidget, SIGNAL(meshTypeWasChanged(int)), meshTypeComboBox,
                     SLOT(setCurrentIndex(int)));
    QObject::connect(viewerOpenGLWidget, SIGNAL(materialTypeWasChanged(int)), materialTypeComboBox,
                     SLOT(setCurrentIndex(int)));
    QObject::connect(materialTypeComboBox, SIGNAL(currentIndexChanged(int)), viewerOpenGLWidget,
                     SLOT(changeMaterialType(int)));
    QObject::connect(lightIntensityHorizontalSlider, SIGNAL(valueChanged(int)), viewerOpenGLWidget,
                     SLOT(changeLightIntensity(int)));
    QObject::connect(meshTypeComboBox, SIGNAL(currentIndexChanged(int)), viewerOpenGLWidget,
                     SLOT(changeMeshType(int)));
    QObject::connect(actionResetViewer, SIGNAL(triggered()), viewerOpenGLWidget, SLOT(resetModelRotation()));
    QObject::connect(sliderMinZ, SIGNAL(valueChanged(int)), viewerOpenGLWidget, SLOT(changeMinZ(int)));
    QObject::connect(sliderMaxZ, SIGNAL(valueChanged(int)), viewerOpenGLWidget, SLOT(changeMaxZ(int)));
    QObject::connect(actionMirrorModel, SIGNAL(toggled(bool)), ViewerWindow, SLOT(setMirrorGeometry(bool)));
    QObject::connect(actionSetControlMethodRotate, SIGNAL(toggled(bool)), ViewerWindow,
                     SLOT(setRotation(bool)));
    QObject::connect(actionSetControlMethodTranslate, SIGNAL(toggled(bool)), ViewerWindow,
                     SLOT(setTranslation(bool)));
    QObject::connect(actionSetControlMethodZoom, SIGNAL(toggled(bool)), ViewerWindow, SLOT(setZoom(bool)));
    QObject::connect(actionReplay, SIGNAL(toggled(bool)), ViewerWindow, SLOT(replayVideo(bool)));
    QObject::connect(actionViewFileInfo, SIGNAL(triggered()), ViewerWindow, SLOT(viewFileInfo()));
    QObject::connect(actionSave3DFile, SIGNAL(triggered()), ViewerWindow, SLOT(save3DFile()));
    QObject::connect(actionQuit, SIGNAL(triggered()), ViewerWindow, SLOT(close()));
    QObject::connect(actionStepBack, SIGNAL(triggered()), ViewerWindow, SLOT(stepBack()));
    QObject::connect(actionStepForward, SIGNAL(triggered()), ViewerWindow, SLOT(stepForward()));
    QObject::connect(actionFirstFrame, SIGNAL(triggered()), ViewerWindow, SLOT(firstFrame()));
    QObject::connect(actionLastFrame, SIGNAL(triggered()), ViewerWindow, SLOT(lastFrame()));
    QObject::connect(actionKeysAndMouse, SIGNAL(triggered()), ViewerWindow, SLOT(showKeysAndMouse()));
    QObject::connect(actionHideDepthJumps, &QAction::toggled, hideJumpsCheckBox, &QCheckBox::setChecked);
    QObject::connect(hideJumpsCheckBox, &QCheckBox::toggled, actionHideDepthJumps, &QAction::setChecked);
    QObject::connect(actionEyeDome, &QAction::toggled, eyeDomeCheckBox, &QCheckBox::setChecked);
    QObject::connect(eyeDomeCheckBox, &QCheckBox::toggled, actionEyeDome, &QAction::setChecked);
    QObject::connect(actionFullDetail, &QAction::toggled, detailComboBox,
                     [this](bool full) { detailComboBox->setCurrentIndex(full ? 1 : 0); });
    QObject::connect(detailComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), actionFullDetail,
                     [this](int index) { actionFullDetail->setChecked(index == 1); });

    QMetaObject::connectSlotsByName(ViewerWindow);
}

void ViewerWindowForm::retranslateUi(QMainWindow *ViewerWindow) {
    const char *context = "ViewerWindow";
    ViewerWindow->setWindowTitle(QCoreApplication::translate(context, "Pelnor Viewer"));
    setTexts(actionOpen3DFile, "Open 3D file...", "Select a 3D file on the disk to load.", "Ctrl+O");
    setTexts(actionSaveScreenshot, "Snapshot", "Save a screenshot of the current rendering (F10)", "F10");
    setTexts(actionResetViewer, "Reset", "Reset the camera (4)", "4");
    setTexts(actionSetControlMethodRotate, "Rotate", "Rotation control method (1)", "1");
    setTexts(actionSetControlMethodTranslate, "Pan", "Translation control method (2)", "2");
    setTexts(actionSetControlMethodZoom, "Zoom", "Zoom control method (3)", "3");
    setTexts(actionMirrorModel, "Mirror", "Mirror the model (5)", "5");
    setTexts(actionViewFileInfo, "File Info", "Info about current mesh", nullptr);
    setTexts(actionReplay, "Play", "Play or pause the sequence (Space)", "Space");
    setTexts(actionDepthColor, "DepthColor", nullptr, nullptr);
    setTexts(actionSave3DFile, "Save", "Save current 3D frame (Ctrl+S)", "Ctrl+S");
    setTexts(actionQuit, "Quit", "Close the window and end the viewer (Ctrl+Q)", "Ctrl+Q");
    setTexts(actionStepBack, "Step one frame back", nullptr, "Left");
    setTexts(actionStepForward, "Step one frame forward", nullptr, "Right");
    setTexts(actionFirstFrame, "First frame", nullptr, "Home");
    setTexts(actionLastFrame, "Last frame", nullptr, "End");
    setTexts(actionKeysAndMouse, "Keys and mouse", "Every key and mouse drag of the viewer", nullptr);
    setTexts(actionHideDepthJumps, "Hide depth jumps",
             "Leave out the triangles that join surfaces at different depths (J)", "J");
    setTexts(actionFullDetail, "Full detail",
             "Draw every pixel also while the picture moves; off, it may be coarser while moving (L)", "L");
    setTexts(actionEyeDome, "Eye-dome lighting",
             "Darken each pixel by how far its neighbours stand in front of it, which outlines silhouettes "
             "and creases; each style keeps its own setting, on at first in Point Cloud (E)",
             "E");
    setTexts(actionSlower, "Slower", "Play at half the speed, down to 1/8× ([)", "[");
    setTexts(actionFaster, "Faster", "Play at twice the speed, up to 4× (])", "]");
    setTexts(actionNormalSpeed, "Normal speed", "Play at the file's own rate, 1× (Backspace)", "Backspace");
    setTexts(actionLoopStart, "Set loop start", "Start the loop range at the frame on screen (I)", "I");
    setTexts(actionLoopEnd, "Set loop end", "End the loop range at the frame on screen (O)", "O");
    setTexts(actionClearLoop, "Clear range", "Clear the loop range: play every frame (Shift+I)", "Shift+I");
    setTexts(actionSecondBack, "One second back", "Show the frame one second earlier, pausing (Shift+Left)",
             "Shift+Left");
    setTexts(actionSecondForward, "One second forward",
             "Show the frame one second later, pausing (Shift+Right)", "Shift+Right");
    menuRecent->setTitle(QCoreApplication::translate(context, "Open Recent"));
    menuPlayback->setTitle(QCoreApplication::translate(context, "Playback"));
    menuOpen->setTitle(QCoreApplication::translate(context, "File"));
    menuAdvanced->setTitle(QCoreApplication::translate(context, "Advanced"));
    menuHelp->setTitle(QCoreApplication::translate(context, "Help"));
    mainToolBar->setWindowTitle(QCoreApplication::translate(context, "Main Controls"));
    dockWidget->setWindowTitle(QCoreApplication::translate(context, "Settings"));
    meshTypeLabel->setText(QCoreApplication::translate(context, "Rendering Style"));
    meshTypeComboBox->clear();
    meshTypeComboBox->insertItems(0, QStringList() << QCoreApplication::translate(context, "Shaded")
                                                   << QCoreApplication::translate(context, "Wireframe")
                                                   << QCoreApplication::translate(context, "Point Cloud"));
    materialTypeLabel->setText(QCoreApplication::translate(context, "Coloring Style"));
    materialTypeComboBox->clear();
    materialTypeComboBox->insertItems(0, QStringList() << QCoreApplication::translate(context, "Solid")
                                                       << QCoreApplication::translate(context, "Texture")
                                                       << QCoreApplication::translate(context, "Depth")
                                                       << QCoreApplication::translate(context, "Jet")
                                                       << QCoreApplication::translate(context, "Magma")
                                                       << QCoreApplication::translate(context, "Viridis")
                                                       << QCoreApplication::translate(context, "Change")
                                                       << QCoreApplication::translate(context, "Noise"));
    lightIntensityLabel->setText(QCoreApplication::translate(context, "Light Intensity"));
    label->setText(QCoreApplication::translate(context, "Min Z Color "));
    label_2->setText(QCoreApplication::translate(context, "Max Z Color"));
    hideJumpsCheckBox->setText(QCoreApplication::translate(context, "Hide depth jumps"));
    hideJumpsCheckBox->setToolTip(actionHideDepthJumps->toolTip());
    depthJumpFactorSpinBox->setToolTip(QCoreApplication::translate(
        context, "An edge longer than this many pixel footprints at its depth is a jump"));
    eyeDomeCheckBox->setText(actionEyeDome->text());
    eyeDomeCheckBox->setToolTip(actionEyeDome->toolTip());
    eyeDomeStrengthSpinBox->setToolTip(QCoreApplication::translate(
        context, "The lighting's strength: how dark a step in depth or a slope away from the eye is "
                 "drawn, 0 not at all, 5 darkest"));
    eyeDomeRadiusSpinBox->setToolTip(QCoreApplication::translate(
        context, "The lighting's radius: how far from each pixel its neighbours are looked at; wider "
                 "outlines at more pixels"));
    pointSizeLabel->setText(QCoreApplication::translate(context, "Point size"));
    pointSizeSpinBox->setSpecialValueText(QCoreApplication::translate(context, "automatic"));
    pointSizeSpinBox->setToolTip(QCoreApplication::translate(
        context, "Points of Point Cloud this many pixels wide, or automatic: as wide as the distance to "
                 "their neighbours, so that a cloud seen close stays closed"));
    detailLabel->setText(QCoreApplication::translate(context, "Detail"));
    detailComboBox->clear();
    detailComboBox->insertItems(0, QStringList() << QCoreApplication::translate(context, "automatic")
                                                 << QCoreApplication::translate(context, "full"));
    detailComboBox->setToolTip(actionFullDetail->toolTip());
    setTexts(actionFitColors, "Fit colours to this frame",
             "Spread the depth colours over the bulk of the depths each frame measures, as it is shown (F)",
             "F");
    fitColorsButton->setText(actionFitColors->text());
    fitColorsButton->setToolTip(actionFitColors->toolTip());
    depthScaleLabel->setText(QCoreApplication::translate(context, "Colour scale"));
    depthScaleComboBox->clear();
    depthScaleComboBox->insertItems(0, QStringList() << QCoreApplication::translate(context, "first frame")
                                                     << QCoreApplication::translate(context, "this frame")
                                                     << QCoreApplication::translate(context, "whole video")
                                                     << QCoreApplication::translate(context, "fixed"));
    depthScaleComboBox->setToolTip(QCoreApplication::translate(
        context, "Where the depth colours' range comes from: the first frame shown, each frame as it is "
                 "shown, the bulk of the depths of every frame of a 3D video (measured while it plays), "
                 "or the sliders"));
    wheelZoomsCheckBox->setText(QCoreApplication::translate(context, "Mouse wheel zooms"));
    wheelStepSpinBox->setToolTip(
        QCoreApplication::translate(context, "How much nearer each notch of the wheel brings the model"));
    frameCacheLabel->setText(QCoreApplication::translate(context, "Frame cache"));
    frameCacheSpinBox->setToolTip(QCoreApplication::translate(
        context, "How much memory the frames of a 3D video kept at hand may take: frames just played "
                 "show again without reading the file, and frames about to play are read ahead"));
}
