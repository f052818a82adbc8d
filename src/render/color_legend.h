#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <QVector>

class QPainter;

// The colour scale of the depth colourings, drawn over the view: the ramp with the depths of its
// two ends and a few round depths between them, in the frame's units, deeper at the top. The
// Change colouring's scale runs from nearer (bottom) to farther (top) and names both; Noise's from 0.
class ColorLegend {
  public:
    // Depth, Jet, Magma and Viridis colour by depth; Solid and Texture do not.
    static bool coloursByDepth(int materialType);
    // The colourings with a scale: those by depth, Change and Noise.
    static bool hasScale(int materialType);
    // The colour the fragment program gives a depth value, 1 at the range's low end and 0 at its
    // high end.
    static QColor rampColor(int materialType, float depthValue);
    // The colour the fragment program gives a pixel's value in the Change or Noise colouring.
    static QColor valueColor(int materialType, float value, float range, float neutral);

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
    // The range and neutral band of the Change and Noise colourings (ViewState::valueRange).
    void setValueRange(float range, float neutral);

    // Where the ramp lies in a view of the given size (top-right corner), and the row of a depth.
    static QRect rampRect(QSize view);
    int rowOf(double depth, QSize view) const;
    void paint(QPainter &painter, QSize view, int materialType, int decimals) const;

  private:
    // The values at the top and the bottom of the ramp, and its colour at a value.
    struct Scale {
        double top, bottom;
        QString title, topName, bottomName;
    };
    Scale scaleOf(int materialType) const;
    QColor colourAt(int materialType, double value) const;
    static QVector<double> ticksBetween(double low, double high);
    static int rowAt(double value, const Scale &scale, QSize view);

    float m_lowEnd = 0.0f;
    float m_highEnd = 1.0f;
    float m_valueRange = 1.0f;
    float m_neutral = 0.0f;
    QString m_note;
};
