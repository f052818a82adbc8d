#pragma once

#include <QLoggingCategory>

// The viewer's debug lines (what the window and the view do, and once a second the pace of playback
// and of moving pictures), quiet unless the logging rules ask for them:
// QT_LOGGING_RULES="pelnor.viewer.debug=true".
Q_DECLARE_LOGGING_CATEGORY(viewerLog)
