#include "video/video_writer.h"

// Both the programs, which check a rate before any frame is drawn, and the video module ask this.
bool VideoWriter::rateFits(double rate, QString *error) {
    constexpr double kFastest = 65535.0;
    if (rate >= 1.0 / kFastest && rate <= kFastest)
        return true;
    if (error)
        *error = QStringLiteral("a video cannot play %1 frames per second: MP4 videos take from one frame in "
                                "65535 seconds to 65535 frames a second")
                     .arg(rate);
    return false;
}
