#include "sample/virtual_scanner.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kProjectorColumns = 1280;
constexpr int kProjectorRows = 800;

struct Vec {
    double x, y, z;
};
Vec operator+(Vec a, Vec b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec operator-(Vec a, Vec b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec operator*(double s, Vec a) {
    return {s * a.x, s * a.y, s * a.z};
}
double dot(Vec a, Vec b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec cross(Vec a, Vec b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vec normalised(Vec a) {
    return (1.0 / std::sqrt(dot(a, a))) * a;
}

// An ellipsoid turned about the vertical axis, or a flat disc; each with its own paint.
struct Shape {
    enum Kind { Ellipsoid, Disc } kind;
    Vec centre;
    Vec radii;      // ellipsoid semi-axes; a disc's radius in x
    double turn;    // ellipsoid angle about the y axis
    Vec normal;     // disc only
    Vec colour;     // 0..1
    double stripes; // stripes per unit of the local pattern coordinate

    Vec toLocal(Vec p) const {
        const Vec q = p - centre;
        const double c = std::cos(turn), s = std::sin(turn);
        return {c * q.x - s * q.z, q.y, s * q.x + c * q.z};
    }
    Vec directionToLocal(Vec d) const {
        const double c = std::cos(turn), s = std::sin(turn);
        return {c * d.x - s * d.z, d.y, s * d.x + c * d.z};
    }
    Vec normalToWorld(Vec n) const {
        const double c = std::cos(turn), s = std::sin(turn);
        return {c * n.x + s * n.z, n.y, -s * n.x + c * n.z};
    }

    // Nearest hit along origin + t * direction with t above tMin, or infinity.
    double hit(Vec origin, Vec direction, double tMin) const {
        if (kind == Disc) {
            const double denom = dot(normal, direction);
            if (std::fabs(denom) < 1e-12)
                return std::numeric_limits<double>::infinity();
            const double t = dot(normal, centre - origin) / denom;
            const Vec p = origin + t * direction;
            if (t <= tMin || dot(p - centre, p - centre) > radii.x * radii.x)
                return std::numeric_limits<double>::infinity();
            return t;
        }
        const Vec o = toLocal(origin), d = directionToLocal(direction);
        const Vec os = {o.x / radii.x, o.y / radii.y, o.z / radii.z};
        const Vec ds = {d.x / radii.x, d.y / radii.y, d.z / radii.z};
        const double a = dot(ds, ds), b = 2.0 * dot(os, ds), c = dot(os, os) - 1.0;
        const double disc = b * b - 4.0 * a * c;
        if (disc < 0.0)
            return std::numeric_limits<double>::infinity();
        const double root = std::sqrt(disc);
        const double t0 = (-b - root) / (2.0 * a), t1 = (-b + root) / (2.0 * a);
        if (t0 > tMin)
            return t0;
        if (t1 > tMin)
            return t1;
        return std::numeric_limits<double>::infinity();
    }

    Vec normalAt(Vec p) const {
        if (kind == Disc)
            return normal;
        const Vec q = toLocal(p);
        return normalised(
            normalToWorld({q.x / (radii.x * radii.x), q.y / (radii.y * radii.y), q.z / (radii.z * radii.z)}));
    }

    // Stripes that turn with the shape, so a moving surface shows in the texture too.
    Vec paint(Vec p) const {
        const Vec q = toLocal(p);
        const double band = 0.5 + 0.5 * std::sin(stripes * (q.x + 0.5 * q.y));
        return (0.55 + 0.45 * band) * colour;
    }
};

std::vector<Shape> sceneAt(VirtualScanner::Scene scene, double time) {
    if (scene == VirtualScanner::Approach) {
        // Nearer for kApproachSeconds, then back as far, and so on: a long video stays in front.
        const double period = 2.0 * VirtualScanner::kApproachSeconds;
        const double phase = std::fmod(time, period);
        const double travelled = std::min(phase, period - phase) * VirtualScanner::kApproachSpeed;
        return {
            {Shape::Disc, {-30, 20, 600 - travelled}, {110, 0, 0}, 0.0, {0, 0, -1}, {0.95, 0.6, 0.4}, 0.2},
            {Shape::Disc, {0, 0, 820}, {700, 0, 0}, 0.0, {0, 0, -1}, {0.6, 0.8, 0.9}, 0.05}};
    }
    if (scene == VirtualScanner::OffCentre)
        return {{Shape::Ellipsoid, {170, 10, 600}, {80, 100, 70}, 0.5, {}, {0.95, 0.72, 0.55}, 0.15}};
    const double breathe = 1.0 + 0.06 * std::sin(2.0 * kPi * time / 2.0);
    const double orbit = 2.0 * kPi * time / 4.0;
    std::vector<Shape> shapes;
    shapes.push_back({Shape::Ellipsoid,
                      {0, 10, 720},
                      {150 * breathe, 130 * breathe, 110 * breathe},
                      0.8 * orbit,
                      {},
                      {0.95, 0.72, 0.55},
                      0.12});
    shapes.push_back({Shape::Ellipsoid,
                      {-190 * std::cos(orbit), -120, 650 + 60 * std::sin(orbit)},
                      {70, 70, 70},
                      0.0,
                      {},
                      {0.45, 0.75, 0.95},
                      0.2});
    shapes.push_back({Shape::Disc,
                      {40, 40, 760},
                      {300, 0, 0},
                      0.0,
                      normalised({0.1, -0.15, -1.0}),
                      {0.7, 0.9, 0.5},
                      0.05});
    return shapes;
}

double nearestHit(const std::vector<Shape> &shapes, Vec origin, Vec direction, double tMin, int &which) {
    double best = std::numeric_limits<double>::infinity();
    which = -1;
    for (size_t s = 0; s < shapes.size(); ++s) {
        const double t = shapes[s].hit(origin, direction, tMin);
        if (t < best) {
            best = t;
            which = static_cast<int>(s);
        }
    }
    return best;
}

// A normal deviate drawn from the pixel and the frame: the same capture gives the same noise.
double noiseAt(int u, int v, double time) {
    auto hash = [](uint64_t x) {
        x ^= x >> 33, x *= 0xff51afd7ed558ccdull, x ^= x >> 33, x *= 0xc4ceb9fe1a85ec53ull, x ^= x >> 33;
        return x;
    };
    const uint64_t key = hash(uint64_t(uint32_t(u)) << 32 ^ uint32_t(v)) ^ uint64_t(std::llround(time * 1e6));
    const uint64_t a = hash(key), b = hash(key + 0x9e3779b97f4a7c15ull);
    const double u1 = (double(a >> 11) + 1.0) / 9007199254740993.0, u2 = double(b >> 11) / 9007199254740992.0;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
}

uint8_t toByte(double value) {
    return static_cast<uint8_t>(std::clamp(std::lround(value * 255.0), 1L, 255L));
}

} // namespace

VirtualScanner::VirtualScanner(int32_t width, int32_t height, Scene scene)
    : m_width(width), m_height(height), m_scene(scene) {
    const double f = 1.15 * width, cx = (width - 1) / 2.0, cy = (height - 1) / 2.0;
    const double camera[3][4] = {{f, 0, cx, 0}, {0, f, cy, 0}, {0, 0, 1, 0}};
    std::copy(&camera[0][0], &camera[0][0] + 12, &m_camera[0][0]);

    // The projector sits below the camera (image y grows downwards) and looks up at the scene,
    // so its rows are planes that cut the camera rays at a steep angle.
    const Vec centre = {0.0, 180.0, -20.0};
    const Vec target = {0.0, 0.0, 720.0};
    const Vec zAxis = normalised(target - centre);
    const Vec xAxis = {1.0, 0.0, 0.0};
    const Vec yAxis = cross(zAxis, xAxis);
    const double fp = 1300.0, pcx = kProjectorColumns / 2.0, pcy = kProjectorRows / 2.0;
    const Vec rows[3] = {xAxis, yAxis, zAxis};
    const double k[3][3] = {{fp, 0, pcx}, {0, fp, pcy}, {0, 0, 1}};
    // P = K [R | -R C]
    double rt[3][4];
    for (int r = 0; r < 3; ++r) {
        rt[r][0] = rows[r].x;
        rt[r][1] = rows[r].y;
        rt[r][2] = rows[r].z;
        rt[r][3] = -dot(rows[r], centre);
    }
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            m_projector[r][c] = k[r][0] * rt[0][c] + k[r][1] * rt[1][c] + k[r][2] * rt[2][c];
    m_projectorCentre[0] = centre.x;
    m_projectorCentre[1] = centre.y;
    m_projectorCentre[2] = centre.z;

    std::copy(&m_camera[0][0], &m_camera[0][0] + 12, m_calibration.cameraProjection);
    std::copy(&m_projector[0][0], &m_projector[0][0] + 12, m_calibration.projectorProjection);
    const double cameraK[9] = {f, 0, cx, 0, f, cy, 0, 0, 1};
    std::copy(cameraK, cameraK + 9, m_calibration.cameraMatrix);
    std::copy(&k[0][0], &k[0][0] + 9, m_calibration.projectorMatrix);
}

SyntheticCapture VirtualScanner::capture(double time) const {
    SyntheticCapture out;
    out.width = m_width;
    out.height = m_height;
    out.calibration = m_calibration;
    const size_t n = static_cast<size_t>(m_width) * static_cast<size_t>(m_height);
    out.phase.assign(n, 0.0f);
    out.mosaic.assign(n, 0);
    out.rgb.assign(3 * n, 0);
    out.xyz.assign(3 * n, 0.0f);
    out.measured.assign(n, 0);
    out.surface.assign(n, 0);

    const std::vector<Shape> shapes = sceneAt(m_scene, time);
    const Vec projector = {m_projectorCentre[0], m_projectorCentre[1], m_projectorCentre[2]};
    const double f = m_camera[0][0], cx = m_camera[0][2], cy = m_camera[1][2];
    // A dark patch three tenths of the frame height across: too little light comes back from it.
    const double hole = m_scene == CentreHole ? 0.15 * m_height : 0.0;
    for (int v = 0; v < m_height; ++v) {
        for (int u = 0; u < m_width; ++u) {
            if ((u - cx) * (u - cx) + (v - cy) * (v - cy) < hole * hole)
                continue;
            const Vec ray = {(u - cx) / f, (v - cy) / f, 1.0};
            int which = -1;
            const double t = nearestHit(shapes, {0, 0, 0}, ray, 1e-9, which);
            if (which < 0)
                continue;
            const Vec p = t * ray;
            const double *pp[3] = {m_projector[0], m_projector[1], m_projector[2]};
            const double w = pp[2][0] * p.x + pp[2][1] * p.y + pp[2][2] * p.z + pp[2][3];
            if (w <= 0.0)
                continue;
            const double column = (pp[0][0] * p.x + pp[0][1] * p.y + pp[0][2] * p.z + pp[0][3]) / w;
            const double row = (pp[1][0] * p.x + pp[1][1] * p.y + pp[1][2] * p.z + pp[1][3]) / w;
            if (column < 0.0 || column >= kProjectorColumns || row < 0.0 || row >= kProjectorRows)
                continue;
            // Points the projector cannot see lie in its shadow and carry no phase.
            const Vec toProjector = projector - p;
            int blocker = -1;
            if (nearestHit(shapes, p, toProjector, 1e-6, blocker) < 1.0)
                continue;
            const Vec normal = shapes[static_cast<size_t>(which)].normalAt(p);
            const double light = std::fabs(dot(normal, normalised(toProjector)));
            const Vec colour = (0.3 + 0.7 * light) * shapes[static_cast<size_t>(which)].paint(p);
            const size_t i = static_cast<size_t>(v) * static_cast<size_t>(m_width) + static_cast<size_t>(u);
            const uint8_t rgb[3] = {toByte(colour.x), toByte(colour.y), toByte(colour.z)};
            const double noise = m_scene == Approach ? kPhaseNoise * noiseAt(u, v, time) : 0.0;
            out.phase[i] = static_cast<float>(row + noise);
            out.xyz[3 * i] = static_cast<float>(p.x);
            out.xyz[3 * i + 1] = static_cast<float>(p.y);
            out.xyz[3 * i + 2] = static_cast<float>(p.z);
            std::copy(rgb, rgb + 3, &out.rgb[3 * i]);
            // RGGB: red on even rows and columns, blue on odd ones, green between.
            const int channel = (v % 2) + (u % 2);
            out.mosaic[i] = rgb[channel];
            out.measured[i] = 1;
            out.surface[i] = static_cast<uint8_t>(which + 1);
        }
    }
    return out;
}
