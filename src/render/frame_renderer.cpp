#include "render/frame_renderer.h"

#include "data/frame_mesh.h"
#include "data/scan_frame_store.h"
#include "render/gl_functions.h"

#include <QDebug>
#include <QFile>
#include <QRegularExpression>

#include <limits>

// Resources of a static library must be registered by name, from outside any namespace.
static void registerShaderResources() {
    Q_INIT_RESOURCE(shaders);
}

namespace {

// The background where no surface is drawn.
constexpr float kBackground = 0.08f;

// "4.5 (Compatibility Profile) Mesa 22.3.6" or "OpenGL ES 3.2 Mesa ...": the version and whether it
// is OpenGL ES.
void contextVersion(int *major, int *minor, bool *es) {
    const char *text = reinterpret_cast<const char *>(glGetString(GL_VERSION));
    const QString version = text ? QString::fromLatin1(text) : QString();
    *es = version.startsWith(QLatin1String("OpenGL ES"));
    const QRegularExpressionMatch number =
        QRegularExpression(QStringLiteral("(\\d+)\\.(\\d+)")).match(version);
    *major = number.captured(1).toInt();
    *minor = number.captured(2).toInt();
}

// Why the current context cannot draw a frame, or empty: the programs are GLSL 1.50, and the
// drawing uses the fixed-function smooth shading and polygon modes of the compatibility profile.
QString contextProblem() {
    int major = 0, minor = 0;
    bool es = false;
    contextVersion(&major, &minor, &es);
    GLint mask = 0;
    if (!es && (major > 3 || (major == 3 && minor >= 2)))
        glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &mask);
    const bool core = (mask & GL_CONTEXT_CORE_PROFILE_BIT) != 0;
    if (!es && !core && (major > 3 || (major == 3 && minor >= 2)))
        return {};
    return QStringLiteral("OpenGL %1.%2 %3 context: the view needs OpenGL 3.2 or newer with the "
                          "compatibility profile")
        .arg(major)
        .arg(minor)
        .arg(es     ? QStringLiteral("ES")
             : core ? QStringLiteral("core")
                    : QStringLiteral("compatibility"));
}

// Compiles one program from its resource. Desktop GLSL takes precision qualifiers only from 1.30 on
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

void setUniform(GLuint program, const char *name, const QMatrix4x4 &m) {
    glUniformMatrix4fv(uniform(program, name), 1, GL_FALSE, m.constData());
}

// Column by column, as the vertex program reads the calibration.
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

} // namespace

int glBufferBytes(uint64_t count, uint64_t elementBytes) {
    constexpr uint64_t kMost = static_cast<uint64_t>(std::numeric_limits<int>::max());
    if (elementBytes == 0)
        return 0;
    return count > kMost / elementBytes ? -1 : static_cast<int>(count * elementBytes);
}

bool FrameRenderer::initialize(QString *error) {
    registerShaderResources();
    release();
    auto fail = [error](const QString &reason) {
        qDebug().noquote() << reason;
        if (error)
            *error = reason;
        return false;
    };
    const QString problem = contextProblem();
    if (!problem.isEmpty())
        return fail(problem);
    // Both are compiled before either result is looked at, so the message tells of both.
    const GLuint vertex = compileShader(GL_VERTEX_SHADER, QStringLiteral(":/shaders/vertexshader.vsh"));
    const GLuint fragment = compileShader(GL_FRAGMENT_SHADER, QStringLiteral(":/shaders/fragmentshader.fsh"));
    if (!vertex || !fragment) {
        glDeleteShader(vertex);
        glDeleteShader(fragment);
        return fail(QStringLiteral("Error loading shaders! vertex: %1, frag: %2")
                        .arg(vertex ? 1 : 0)
                        .arg(fragment ? 1 : 0));
    }
    const GLuint program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glBindAttribLocation(program, 0, "a_position");
    glBindAttribLocation(program, 1, "a_normal");
    glBindAttribLocation(program, 2, "a_textureColor");
    glBindAttribLocation(program, 3, "a_validity");
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
        return fail(QStringLiteral("Error loading shaders! vertex: 1, frag: 1, link: 0"));
    }
    m_program = program;

    // Ten floats a vertex: position, normal, texture colour, validity. The layout lives in the
    // vertex array object, so nothing of it is left for a QPainter to trip over.
    glGenVertexArrays(1, &m_vertexArray);
    glGenBuffers(1, &m_vertexBuffer);
    glGenBuffers(1, &m_indexBuffer);
    glBindVertexArray(m_vertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, m_vertexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_indexBuffer);
    constexpr GLsizei stride = 10 * sizeof(float);
    const GLint components[] = {3, 3, 3, 1};
    for (GLuint location = 0; location < 4; ++location) {
        glEnableVertexAttribArray(location);
        glVertexAttribPointer(location, components[location], GL_FLOAT, GL_FALSE, stride,
                              reinterpret_cast<const void *>(uintptr_t(12 * location)));
    }
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    m_vertexBytes = m_indexBytes = 0;
    m_indexCount = 0;
    return true;
}

bool FrameRenderer::upload(const FrameMesh &mesh, const QString &name, QString *error) {
    if (!m_program)
        return true;
    m_meshStride = mesh.settings.stride;
    const int vertexBytes = glBufferBytes(mesh.vertexData.size(), sizeof(float));
    const int indexBytes = glBufferBytes(mesh.indexData.size(), sizeof(uint32_t));
    const bool fits = vertexBytes >= 0 && indexBytes >= 0;
    glBindVertexArray(m_vertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, m_vertexBuffer);
    // The element buffer is bound with the vertex array object.
    auto send = [](GLenum target, int64_t &held, int bytes, const void *data) {
        if (held == bytes && bytes > 0) {
            glBufferSubData(target, 0, bytes, data);
        } else {
            glBufferData(target, bytes, data, GL_STATIC_DRAW);
            held = bytes;
        }
    };
    send(GL_ARRAY_BUFFER, m_vertexBytes, fits ? vertexBytes : 0, fits ? mesh.vertexData.data() : nullptr);
    send(GL_ELEMENT_ARRAY_BUFFER, m_indexBytes, fits ? indexBytes : 0,
         fits ? mesh.indexData.data() : nullptr);
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    m_indexCount = fits ? static_cast<int>(mesh.indexData.size()) : 0;
    if (fits)
        return true;
    const double mib = static_cast<double>(mesh.vertexData.size() * sizeof(float) +
                                           mesh.indexData.size() * sizeof(uint32_t)) /
                       1048576.0;
    const QString text =
        QStringLiteral("Could not draw %1: its %2 MiB of vertices and triangles do not fit GL "
                       "buffers of at most 2 GiB each")
            .arg(name, QString::number(mib, 'f', 0));
    qDebug().noquote() << text;
    if (error)
        *error = text;
    return false;
}

void FrameRenderer::draw(const ScanFrameStore &frame, const ViewState &state, QSize size) {
    glViewport(0, 0, size.width(), size.height());
    glClearColor(kBackground, kBackground, kBackground, state.transparentBackground ? 0.0f : 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    m_matrices = viewMatrices(state, size);
    if (!m_program)
        return;
    glUseProgram(m_program);
    glDisable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_PROGRAM_POINT_SIZE);

    const GLuint p = m_program;
    setUniform(p, "u_projectionMatrix", m_matrices.projection);
    setUniform(p, "u_viewMatrix", m_matrices.view);
    setUniform(p, "u_modelMatrix", m_matrices.model);
    setUniform(p, "materialType", static_cast<int>(state.materialType));
    setUniform(p, "u_lightIntensity", state.lightIntensity);
    setUniform(p, "u_materialColor", state.materialColor);
    setUniform(p, "u_shouldMirrorGeo", state.mirrored ? 1 : 0);
    setUniform(p, "u_boundingBoxMin", state.framing.boxMin);
    setUniform(p, "u_boundingBoxMax", state.framing.boxMax);
    setUniform(p, "u_centerOfMass", state.framing.centre);
    setUniform(p, "u_lightPosition", lightPosition(state));
    setUniform(p, "u_colorZrange", state.colorZrange);
    setUniform(p, "m_Ap", frame.m_Ap);
    setUniform(p, "m_Ac", frame.m_Ac);
    setUniform(p, "m_Tp", frame.m_Tp);
    setUniform(p, "m_Tc", frame.m_Tc);
    setUniform(p, "m_isCaptured", static_cast<float>(frame.frameKind));
    setUniform(p, "u_percentageMirrored", state.mirrorBlend);
    setUniform(p, "u_meshStride", static_cast<float>(m_meshStride));
    // The processor's test, RegionTest, with the same matrix: 0 keeps everything, 1 the inside, 2 the
    // outside.
    const bool cut = state.region.isSet();
    setUniform(p, "u_regionKeeps", cut ? (state.region.keepInside ? 1 : 2) : 0);
    setUniform(p, "u_worldToBox", cut ? state.region.worldToBox() : QMatrix4x4());

    glShadeModel(GL_SMOOTH);
    if (state.meshType == Shaded)
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    else if (state.meshType == Wireframe)
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glBindVertexArray(m_vertexArray);
    glDrawElements(state.meshType == PointCloud ? GL_POINTS : GL_TRIANGLES, m_indexCount, GL_UNSIGNED_INT,
                   nullptr);
    glBindVertexArray(0);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glUseProgram(0);
}

void FrameRenderer::finish() const {
    glFinish();
}

QImage FrameRenderer::readImage(QSize size, bool alpha) const {
    QImage image(size, alpha ? QImage::Format_RGBA8888_Premultiplied : QImage::Format_RGBX8888);
    if (image.isNull())
        return image;
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, size.width(), size.height(), GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
    if (!alpha) {
        // An opaque picture whatever the framebuffer's alpha holds.
        for (int y = 0; y < image.height(); ++y) {
            uchar *line = image.scanLine(y);
            for (int x = 0; x < image.width(); ++x)
                line[4 * x + 3] = 255;
        }
    }
    // GL's rows run bottom up.
    return image.mirrored().convertToFormat(alpha ? QImage::Format_ARGB32_Premultiplied
                                                  : QImage::Format_RGB32);
}

void FrameRenderer::readDepths(const QRect &block, int framebufferHeight, float *depths) const {
    glReadPixels(block.left(), framebufferHeight - 1 - block.bottom(), block.width(), block.height(),
                 GL_DEPTH_COMPONENT, GL_FLOAT, depths);
}

void FrameRenderer::release() {
    if (m_program)
        glDeleteProgram(m_program);
    if (m_vertexArray)
        glDeleteVertexArrays(1, &m_vertexArray);
    const GLuint buffers[] = {m_vertexBuffer, m_indexBuffer};
    if (m_vertexBuffer || m_indexBuffer)
        glDeleteBuffers(2, buffers);
    m_program = m_vertexArray = m_vertexBuffer = m_indexBuffer = 0;
    m_vertexBytes = m_indexBytes = 0;
    m_indexCount = 0;
}
