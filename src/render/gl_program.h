#pragma once

#include <QMatrix3x3>
#include <QMatrix4x4>
#include <QString>
#include <QVector3D>

#include <initializer_list>

// A shader program built from two resources: 0 when a stage does not compile (`vertex` or
// `fragment` false) or the program does not link; the compiler's log goes to the debug output.
struct GlProgram {
    unsigned int program = 0;
    bool vertex = false;
    bool fragment = false;
};

// Compiles both stages, binds `attributes` to locations 0, 1, ... in order, and links. The context
// must be current.
GlProgram buildGlProgram(const QString &vertexResource, const QString &fragmentResource,
                         std::initializer_list<const char *> attributes);

// Uniforms of the program in use, set by name; a name the program lacks is let be.
void setUniform(unsigned int program, const char *name, const QMatrix4x4 &m);
// Column by column, as the vertex program reads the calibration.
void setUniform(unsigned int program, const char *name, const QMatrix3x3 &m);
void setUniform(unsigned int program, const char *name, const QVector3D &v);
void setUniform(unsigned int program, const char *name, float value);
void setUniform(unsigned int program, const char *name, int value);
