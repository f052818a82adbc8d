#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <QVector>

class QPainter;

// The colour scale of the depth colourings, drawn over the view: the ramp with the depths of its
// two ends and a few round depths between them, in the frame's units, deeper at the top.
class ColorLegend {
  public:
    // Depth, Jet, Magma and Viridis colour by depth; Solid and Texture do not.
    static bool coloursByDepth(int materialType);
    // The colour the fragment program gives a depth value, 1 at the range's low end and 0 at its
    // high end.
    static QColor rampColor(int materialType, float depthValue);

    // The range as the fragment program reads it: lowEnd gets the depth value 1, highEnd 0. The
    // ends may be swapped; the legend still runs from the smaller depth at the bottom.
    void setRange(float lowEnd, float highEnd);
    // Where the range comes from ("first frame", "whole video, provisional"), said under the ramp;
    // empty says nothing.
    void setNote(const QString &note) { m_note = note; }
    const QString &note() const { return m_note; }
    float bottomDepth() const;
    float topDepth() const;
    // The depth value of a depth, as the fragment program computes it.
    float depthValue(double depth) const;
    // Round depths strictly between the ends.
    QVector<double> ticks() const;

    // Where the ramp lies in a view of the given size (top-right corner), and the row of a depth.
    static QRect rampRect(QSize view);
    int rowOf(double depth, QSize view) const;
    void paint(QPainter &painter, QSize view, int materialType, int decimals) const;

  private:
    float m_lowEnd = 0.0f;
    float m_highEnd = 1.0f;
    QString m_note;
};
