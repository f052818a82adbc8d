#include "render/scene_numbers.h"

#include "render/view_state.h"

#include <algorithm>
#include <cmath>

int decimalsForSpan(double span) {
    if (!std::isfinite(span) || span <= 0.0)
        return 2;
    return std::clamp(3 - static_cast<int>(std::floor(std::log10(span))), 0, 6);
}

int sceneDecimals(const Framing &framing) {
    const QVector3D size = framing.boxSize;
    return decimalsForSpan(std::max({std::fabs(size.x()), std::fabs(size.y()), std::fabs(size.z())}));
}

QString sceneNumber(double value, int decimals) {
    // "-0.0" says nothing a user needs.
    const QString text = QString::number(value, 'f', decimals);
    return text.startsWith('-') && text.toDouble() == 0.0 ? text.mid(1) : text;
}
