#include "render/gl_program.h"

#include "render/gl_functions.h"

#include <QDebug>
#include <QFile>

namespace {

// Compiles one stage from its resource. Desktop GLSL takes precision qualifiers only from 1.30 on
// and some drivers never did: they are defined away after the version line, as OpenGL ES programs
// written for both kinds of context do.
GLuint compileShader(GLenum kind, const QString &resource) {
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    QByteArray source = file.readAll();
    const int versionEnd = source.startsWith("#version") ? source.indexOf('\n') + 1 : 0;
    source.insert(versionEnd, "#define lowp\n#define mediump\n#define highp\n#line 2\n");
    const GLuint shader = glCreateShader(kind);
    const char *text = source.constData();
    const GLint length = source.size();
    glShaderSource(shader, 1, &text, &length);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok == GL_TRUE)
        return shader;
    char log[4096] = {};
    glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    qDebug().noquote() << resource << "log:" << log;
    glDeleteShader(shader);
    return 0;
}

GLint uniform(GLuint program, const char *name) {
    return glGetUniformLocation(program, name);
}

} // namespace

GlProgram buildGlProgram(const QString &vertexResource, const QString &fragmentResource,
                         std::initializer_list<const char *> attributes) {
    // Both are compiled before either result is looked at, so a failure tells of both.
    const GLuint vertex = compileShader(GL_VERTEX_SHADER, vertexResource);
    const GLuint fragment = compileShader(GL_FRAGMENT_SHADER, fragmentResource);
    GlProgram built{0, vertex != 0, fragment != 0};
    if (!vertex || !fragment) {
        glDeleteShader(vertex);
        glDeleteShader(fragment);
        return built;
    }
    const GLuint program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    GLuint location = 0;
    for (const char *name : attributes)
        glBindAttribLocation(program, location++, name);
    glLinkProgram(program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        char log[4096] = {};
        glGetProgramInfoLog(program, sizeof log, nullptr, log);
        qDebug().noquote() << "shader link log:" << log;
        glDeleteProgram(program);
        return built;
    }
    built.program = program;
    return built;
}

void setUniform(GLuint program, const char *name, const QMatrix4x4 &m) {
    glUniformMatrix4fv(uniform(program, name), 1, GL_FALSE, m.constData());
}

void setUniform(GLuint program, const char *name, const QMatrix3x3 &m) {
    glUniformMatrix3fv(uniform(program, name), 1, GL_FALSE, m.constData());
}

void setUniform(GLuint program, const char *name, const QVector3D &v) {
    glUniform3f(uniform(program, name), v.x(), v.y(), v.z());
}

void setUniform(GLuint program, const char *name, float value) {
    glUniform1f(uniform(program, name), value);
}

void setUniform(GLuint program, const char *name, int value) {
    glUniform1i(uniform(program, name), value);
}
