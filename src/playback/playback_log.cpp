#include "playback/playback_log.h"

Q_LOGGING_CATEGORY(playbackLog, "pelnor.playback", QtInfoMsg)
