#pragma once

#include <QLoggingCategory>

// The pace of playback and what it read, for whoever measures it: quiet unless QT_LOGGING_RULES
// asks for it ("pelnor.playback.debug=true").
Q_DECLARE_LOGGING_CATEGORY(playbackLog)
