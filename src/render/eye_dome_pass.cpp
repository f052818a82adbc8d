#include "render/eye_dome_pass.h"

#include "render/gl_functions.h"
#include "render/gl_program.h"

#include <QDebug>

#include <iterator>

namespace {

// A perspective projection's far plane, from its third row.
float farPlane(const QMatrix4x4 &projection) {
    return projection(2, 3) / (projection(2, 2) + 1.0f);
}

void setTexture(GLuint texture, GLint format, QSize size, GLenum layout, GLenum type, GLint filter) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, format, size.width(), size.height(), 0, layout, type, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
}

} // namespace

bool EyeDomePass::initialize(QString *error) {
    release();
    const GlProgram built =
        buildGlProgram(QStringLiteral(":/shaders/eyedome.vsh"), QStringLiteral(":/shaders/eyedome.fsh"), {});
    if (!built.program) {
        if (error)
            *error = QStringLiteral("Eye-dome lighting is not available: its shaders did not build");
        return false;
    }
    m_program = built.program;
    glGenVertexArrays(1, &m_vertexArray);
    return true;
}

bool EyeDomePass::bind(QSize size) {
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &m_drawTarget);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &m_readTarget);
    if (!m_program || size.isEmpty() || size == m_refusedSize)
        return false;
    if (m_framebuffer && size == m_size) {
        glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
        return true;
    }
    releaseFramebuffer();
    glGenFramebuffers(1, &m_framebuffer);
    glGenTextures(2, m_textures);
    glGenRenderbuffers(1, &m_depth);
    // The distances are read between texels, where a neighbour's reach falls.
    setTexture(m_textures[0], GL_RGBA8, size, GL_RGBA, GL_UNSIGNED_BYTE, GL_NEAREST);
    setTexture(m_textures[1], GL_R32F, size, GL_RED, GL_FLOAT, GL_LINEAR);
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindRenderbuffer(GL_RENDERBUFFER, m_depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, size.width(), size.height());
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_textures[0], 0);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT1, GL_TEXTURE_2D, m_textures[1], 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_depth);
    const GLenum buffers[] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1};
    glDrawBuffers(2, buffers);
    m_size = size;
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE)
        return true;
    qDebug().noquote() << "eye-dome lighting: no framebuffer of" << size << "to draw the scene into";
    releaseFramebuffer();
    m_refusedSize = size;
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, GLuint(m_drawTarget));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(m_readTarget));
    return false;
}

void EyeDomePass::clearDistances(const QMatrix4x4 &projection) {
    const GLfloat far[4] = {farPlane(projection), 0.0f, 0.0f, 0.0f};
    glClearBufferfv(GL_COLOR, 1, far);
}

void EyeDomePass::shade(const EyeDome &light, const QMatrix4x4 &projection) {
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, GLuint(m_drawTarget));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(m_readTarget));
    glViewport(0, 0, m_size.width(), m_size.height());
    glUseProgram(m_program);
    for (GLuint unit = 0; unit < 2; ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        glBindTexture(GL_TEXTURE_2D, m_textures[unit]);
    }
    setUniform(m_program, "u_colour", 0);
    setUniform(m_program, "u_distance", 1);
    glUniform2f(glGetUniformLocation(m_program, "u_texelSize"), 1.0f / float(m_size.width()),
                1.0f / float(m_size.height()));
    setUniform(m_program, "u_strength", light.strength);
    setUniform(m_program, "u_radius", light.radius);
    // projection(1, 1) is 1 / tan of half the vertical field of view.
    setUniform(m_program, "u_footprintPerDistance", 2.0f / (projection(1, 1) * float(m_size.height())));
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glBindVertexArray(m_vertexArray);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glBindVertexArray(0);
    glEnable(GL_DEPTH_TEST);
    for (GLuint unit = 2; unit-- > 0;) {
        glActiveTexture(GL_TEXTURE0 + unit);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    glUseProgram(0);
}

void EyeDomePass::readDepths(const QRect &block, int framebufferHeight, float *depths) const {
    GLint bound = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &bound);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_framebuffer);
    glReadPixels(block.left(), framebufferHeight - 1 - block.bottom(), block.width(), block.height(),
                 GL_DEPTH_COMPONENT, GL_FLOAT, depths);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(bound));
}

void EyeDomePass::releaseFramebuffer() {
    if (m_framebuffer)
        glDeleteFramebuffers(1, &m_framebuffer);
    if (m_textures[0])
        glDeleteTextures(GLsizei(std::size(m_textures)), m_textures);
    if (m_depth)
        glDeleteRenderbuffers(1, &m_depth);
    m_framebuffer = m_depth = 0;
    m_textures[0] = m_textures[1] = 0;
    m_size = QSize();
}

void EyeDomePass::release() {
    releaseFramebuffer();
    if (m_program)
        glDeleteProgram(m_program);
    if (m_vertexArray)
        glDeleteVertexArrays(1, &m_vertexArray);
    m_program = m_vertexArray = 0;
}
