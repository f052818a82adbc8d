#include "geometry/frame_camera.h"

#include "data/scan_frame_store.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

using Vec = std::array<double, 3>;
// A 3 x 4 projection, row by row.
using Projection = std::array<double, 12>;

Vec cross(const Vec &a, const Vec &b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

double dot(const Vec &a, const Vec &b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

double length(const Vec &a) {
    return std::sqrt(dot(a, a));
}

Vec scaled(const Vec &a, double k) {
    return {a[0] * k, a[1] * k, a[2] * k};
}

Vec rowOf(const Projection &p, int r) {
    return {p[4 * r], p[4 * r + 1], p[4 * r + 2]};
}

QVector3D narrowed(const Vec &a) {
    return QVector3D(static_cast<float>(a[0]), static_cast<float>(a[1]), static_cast<float>(a[2]));
}

// A measured pixel and the point it sees.
struct Sample {
    double u, v, x, y, z;
};

// What a fit must give before it counts: a smallest eigenvalue this much below the next (else the
// points leave the camera undetermined, as points on one plane do), pixels seen within this many
// pixels of where the camera puts them (half of them at least), and an image at least a hundredth
// of a radian wide (else the grid has no perspective to find the camera by).
constexpr double kEigenGap = 100.0;
constexpr double kMedianResidual = 2.0;
constexpr double kNarrowestView = 0.01;
constexpr size_t kFewestSamples = 64;
constexpr size_t kMostSamples = 4096;

// Eigenvalues and eigenvectors (the columns of `vectors`) of the symmetric matrix `a`, by cyclic
// Jacobi rotations; `a` is used up.
void symmetricEigen(double (&a)[12][12], double (&vectors)[12][12], double (&values)[12]) {
    constexpr int n = 12;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            vectors[i][j] = i == j ? 1.0 : 0.0;
    for (int sweep = 0; sweep < 64; ++sweep) {
        double off = 0.0, diagonal = 0.0;
        for (int p = 0; p < n; ++p) {
            diagonal += a[p][p] * a[p][p];
            for (int q = p + 1; q < n; ++q)
                off += a[p][q] * a[p][q];
        }
        if (!(off > 1e-30 * diagonal))
            break;
        for (int p = 0; p < n - 1; ++p)
            for (int q = p + 1; q < n; ++q) {
                if (a[p][q] == 0.0)
                    continue;
                const double theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q]);
                const double t =
                    std::fabs(theta) > 1e150
                        ? 0.5 / theta
                        : std::copysign(1.0, theta) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
                for (int k = 0; k < n; ++k) {
                    const double kp = a[k][p], kq = a[k][q];
                    a[k][p] = c * kp - s * kq, a[k][q] = s * kp + c * kq;
                }
                for (int k = 0; k < n; ++k) {
                    const double pk = a[p][k], qk = a[q][k];
                    a[p][k] = c * pk - s * qk, a[q][k] = s * pk + c * qk;
                }
                for (int k = 0; k < n; ++k) {
                    const double kp = vectors[k][p], kq = vectors[k][q];
                    vectors[k][p] = c * kp - s * kq, vectors[k][q] = s * kp + c * kq;
                }
            }
    }
    for (int i = 0; i < n; ++i)
        values[i] = a[i][i];
}

// The projection that maps the samples' points to their pixels with the least algebraic error, the
// pixels and points first moved to their centroid and scaled to unit spread so that the equations
// are of one size. False where the samples do not determine it; with `determined`, also where
// another projection explains them almost as well.
bool fitProjection(const std::vector<Sample> &samples, bool determined, Projection &p) {
    const double n = static_cast<double>(samples.size());
    double mu = 0.0, mv = 0.0, mean[3] = {0.0, 0.0, 0.0};
    for (const Sample &s : samples)
        mu += s.u, mv += s.v, mean[0] += s.x, mean[1] += s.y, mean[2] += s.z;
    mu /= n, mv /= n, mean[0] /= n, mean[1] /= n, mean[2] /= n;
    double pixelSpread = 0.0, pointSpread = 0.0;
    for (const Sample &s : samples) {
        pixelSpread += std::sqrt((s.u - mu) * (s.u - mu) + (s.v - mv) * (s.v - mv));
        pointSpread += length({s.x - mean[0], s.y - mean[1], s.z - mean[2]});
    }
    if (!(pixelSpread > 0.0) || !(pointSpread > 0.0) || !std::isfinite(pointSpread))
        return false;
    const double kPixel = std::sqrt(2.0) * n / pixelSpread, kPoint = std::sqrt(3.0) * n / pointSpread;

    // Each sample gives p1 . X = u p3 . X and p2 . X = v p3 . X; the normal equations of those rows are
    // made of the sums of X X^T weighted by 1, u, v and u^2 + v^2 (the ten terms of a symmetric 4 x 4).
    double sums[4][10] = {};
    for (const Sample &s : samples) {
        const double X[4] = {(s.x - mean[0]) * kPoint, (s.y - mean[1]) * kPoint, (s.z - mean[2]) * kPoint,
                             1.0};
        const double u = (s.u - mu) * kPixel, v = (s.v - mv) * kPixel;
        const double weights[4] = {1.0, u, v, u * u + v * v};
        int k = 0;
        for (int i = 0; i < 4; ++i)
            for (int j = i; j < 4; ++j, ++k) {
                const double term = X[i] * X[j];
                for (int w = 0; w < 4; ++w)
                    sums[w][k] += weights[w] * term;
            }
    }
    double normal[12][12] = {};
    int k = 0;
    for (int i = 0; i < 4; ++i)
        for (int j = i; j < 4; ++j, ++k) {
            // Entry (i, j) of the 4 x 4 block at (row, column), and of its mirror image.
            const auto place = [&](int row, int column, double value) {
                normal[row + i][column + j] = normal[row + j][column + i] = value;
                normal[column + j][row + i] = normal[column + i][row + j] = value;
            };
            place(0, 0, sums[0][k]);
            place(4, 4, sums[0][k]);
            place(0, 8, -sums[1][k]);
            place(4, 8, -sums[2][k]);
            place(8, 8, sums[3][k]);
        }
    double vectors[12][12], values[12];
    symmetricEigen(normal, vectors, values);
    int least = 0;
    for (int i = 1; i < 12; ++i)
        if (values[i] < values[least])
            least = i;
    double next = INFINITY;
    for (int i = 0; i < 12; ++i)
        if (i != least)
            next = std::min(next, values[i]);
    if (determined && !(next > kEigenGap * std::max(values[least], 0.0)))
        return false;

    // Back from the scaled pixels and points: P = T^-1 Pn U.
    double q[3][4];
    for (int r = 0; r < 3; ++r) {
        const double *pn = &vectors[0][0];
        double row[4];
        for (int c = 0; c < 4; ++c)
            row[c] = pn[(4 * r + c) * 12 + least];
        for (int c = 0; c < 3; ++c)
            q[r][c] = kPoint * row[c];
        q[r][3] = row[3] - kPoint * (row[0] * mean[0] + row[1] * mean[1] + row[2] * mean[2]);
    }
    for (int c = 0; c < 4; ++c) {
        p[c] = q[0][c] / kPixel + mu * q[2][c];
        p[4 + c] = q[1][c] / kPixel + mv * q[2][c];
        p[8 + c] = q[2][c];
    }
    return std::all_of(p.begin(), p.end(), [](double x) { return std::isfinite(x); });
}

// How far from its pixel the projection puts a sample's point, in pixels.
double residual(const Projection &p, const Sample &s) {
    const double w = p[8] * s.x + p[9] * s.y + p[10] * s.z + p[11];
    const double u = (p[0] * s.x + p[1] * s.y + p[2] * s.z + p[3]) / w;
    const double v = (p[4] * s.x + p[5] * s.y + p[6] * s.z + p[7]) / w;
    const double e = std::sqrt((u - s.u) * (u - s.u) + (v - s.v) * (v - s.v));
    return std::isfinite(e) ? e : INFINITY;
}

double median(std::vector<double> &values) {
    auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// The geometric mean of the two focal lengths of a camera block given by its rows, in pixels.
double focalLength(const Vec &a1, const Vec &a2, const Vec &a3) {
    const double scale = dot(a3, a3);
    if (!(scale > 0.0))
        return 0.0;
    return std::sqrt(length(cross(a1, a3)) / scale * length(cross(a2, a3)) / scale);
}

// The camera of projection p, in front of which `facing` (a3 . X + t3) is positive: its centre is
// where p maps nothing, its axis the third row of the left block, its rows' direction the second
// row's part across the axis. False for a projection that has no such camera.
bool cameraOf(const Projection &p, double facing, FrameCamera::Source source, FrameCamera &camera) {
    const Vec a1 = rowOf(p, 0), a2 = rowOf(p, 1), a3 = rowOf(p, 2);
    const double det = dot(a1, cross(a2, a3));
    if (!(std::fabs(det) > 1e-12 * length(a1) * length(a2) * length(a3)) || !std::isfinite(det))
        return false;
    const Vec c0 = cross(a2, a3), c1 = cross(a3, a1), c2 = cross(a1, a2);
    const Vec centre{-(c0[0] * p[3] + c1[0] * p[7] + c2[0] * p[11]) / det,
                     -(c0[1] * p[3] + c1[1] * p[7] + c2[1] * p[11]) / det,
                     -(c0[2] * p[3] + c1[2] * p[7] + c2[2] * p[11]) / det};
    const Vec axis = scaled(a3, facing / length(a3));
    const Vec across{a2[0] - dot(a2, axis) * axis[0], a2[1] - dot(a2, axis) * axis[1],
                     a2[2] - dot(a2, axis) * axis[2]};
    const double acrossLength = length(across);
    if (!(acrossLength > 0.0))
        return false;
    const Vec down = scaled(across, std::copysign(1.0, facing) / acrossLength);
    camera.source = source;
    camera.centre = narrowed(centre);
    camera.axis = narrowed(axis);
    camera.yAxis = narrowed(down);
    camera.xAxis = narrowed(cross(down, axis));
    camera.focalPixels = static_cast<float>(focalLength(a1, a2, a3));
    return std::isfinite(camera.centre.x()) && std::isfinite(camera.centre.y()) &&
           std::isfinite(camera.centre.z()) && std::isfinite(camera.focalPixels);
}

// The measured pixels of a grid of at most about 128 x 128 over the frame, with finite points; of
// more than kMostSamples, about that many picked as a fixed scramble of their order picks them (in
// no pattern of rows or columns), which determine eleven numbers well and keep a fit short.
std::vector<Sample> sampledPixels(const ScanFrameStore &store) {
    const int w = store.width, h = store.height;
    const int stepX = std::max(1, w / 128), stepY = std::max(1, h / 128);
    std::vector<Sample> samples;
    samples.reserve(size_t((w + stepX - 1) / stepX) * size_t((h + stepY - 1) / stepY));
    for (int y = 0; y < h; y += stepY)
        for (int x = 0; x < w; x += stepX) {
            const int64_t i = int64_t(y) * w + x;
            const float *q = store.xyz.get() + 3 * i;
            if (store.mask[i] && std::isfinite(q[0]) && std::isfinite(q[1]) && std::isfinite(q[2]))
                samples.push_back({double(x), double(y), double(q[0]), double(q[1]), double(q[2])});
        }
    const size_t every = (samples.size() + kMostSamples - 1) / kMostSamples;
    if (every > 1) {
        size_t kept = 0;
        for (size_t i = 0; i < samples.size(); ++i)
            if (((uint32_t(i) * 2654435761u) >> 16) % every == 0)
                samples[kept++] = samples[i];
        samples.resize(kept);
    }
    return samples;
}

FrameCamera fittedCamera(const ScanFrameStore &store) {
    FrameCamera camera;
    if (store.width < 1 || store.height < 1 || !store.xyz || !store.mask)
        return camera;
    std::vector<Sample> samples = sampledPixels(store);
    Projection p;
    if (samples.size() < kFewestSamples || !fitProjection(samples, false, p))
        return camera;
    // Once more without the pixels the first fit explains worst: a few stray points (a bad phase, a
    // reflection) pull a least-squares fit off.
    std::vector<double> errors(samples.size());
    std::transform(samples.begin(), samples.end(), errors.begin(),
                   [&p](const Sample &s) { return residual(p, s); });
    std::vector<double> sorted = errors;
    const double limit = std::max(4.0 * median(sorted), 1.0);
    size_t kept = 0;
    for (size_t i = 0; i < samples.size(); ++i)
        if (errors[i] <= limit)
            samples[kept++] = samples[i];
    samples.resize(kept);
    if (samples.size() < kFewestSamples || !fitProjection(samples, true, p))
        return camera;
    errors.resize(samples.size());
    std::transform(samples.begin(), samples.end(), errors.begin(),
                   [&p](const Sample &s) { return residual(p, s); });
    if (!(median(errors) <= kMedianResidual))
        return camera;
    // Every point in front of the camera, on the side most of them give.
    size_t ahead = 0;
    for (const Sample &s : samples)
        ahead += p[8] * s.x + p[9] * s.y + p[10] * s.z + p[11] > 0.0;
    const double facing = 2 * ahead > samples.size() ? 1.0 : -1.0;
    if (ahead != 0 && ahead != samples.size())
        return camera;
    FrameCamera fitted;
    const double widest = double(std::max(store.width, store.height));
    if (!cameraOf(p, facing, FrameCamera::Fitted, fitted) || !(fitted.focalPixels * kNarrowestView <= widest))
        return camera;

    // A frame saved in its camera's coordinates is taken as exactly that.
    std::vector<double> depths(samples.size());
    std::transform(samples.begin(), samples.end(), depths.begin(), [&fitted](const Sample &s) {
        return double(fitted.depth(QVector3D(float(s.x), float(s.y), float(s.z))));
    });
    const float typicalDepth = static_cast<float>(median(depths));
    const auto close = [](const QVector3D &a, const QVector3D &b) {
        return std::max({std::fabs(a.x() - b.x()), std::fabs(a.y() - b.y()), std::fabs(a.z() - b.z())}) <=
               1e-3f;
    };
    const FrameCamera origin;
    if (fitted.centre.length() <= 1e-3f * typicalDepth && close(fitted.xAxis, origin.xAxis) &&
        close(fitted.yAxis, origin.yAxis) && close(fitted.axis, origin.axis)) {
        const float focal = fitted.focalPixels;
        fitted = origin;
        fitted.source = FrameCamera::Fitted;
        fitted.focalPixels = focal;
    }
    return fitted;
}

// depth() along arrays of points, in wide vector registers where the processor has them (the same
// bit for bit: no operation fuses or reorders).
__attribute__((target_clones("avx2", "default"))) void
depthsAlong(const float *x, const float *y, const float *z, int count, const float (&c)[6], float *out) {
    for (int k = 0; k < count; ++k)
        out[k] = (x[k] - c[0]) * c[3] + (y[k] - c[1]) * c[4] + (z[k] - c[2]) * c[5];
}

} // namespace

double cameraFocalLength(const QMatrix3x3 &cameraBlock) {
    const auto row = [&cameraBlock](int r) {
        return Vec{double(cameraBlock(r, 0)), double(cameraBlock(r, 1)), double(cameraBlock(r, 2))};
    };
    return focalLength(row(0), row(1), row(2));
}

bool FrameCamera::atOrigin() const {
    const FrameCamera origin;
    return centre == origin.centre && xAxis == origin.xAxis && yAxis == origin.yAxis && axis == origin.axis;
}

float FrameCamera::depth(const QVector3D &point) const {
    return (point.x() - centre.x()) * axis.x() + (point.y() - centre.y()) * axis.y() +
           (point.z() - centre.z()) * axis.z();
}

void FrameCamera::depths(const float *x, const float *y, const float *z, int count, float *out) const {
    const float c[6] = {centre.x(), centre.y(), centre.z(), axis.x(), axis.y(), axis.z()};
    depthsAlong(x, y, z, count, c, out);
}

QVector3D FrameCamera::toCamera(const QVector3D &point) const {
    const QVector3D d = point - centre;
    return QVector3D(QVector3D::dotProduct(d, xAxis), QVector3D::dotProduct(d, yAxis), depth(point));
}

FrameCamera frameCamera(const ScanFrameStore &store) {
    if (store.frameKind == XyzmFrame)
        return fittedCamera(store);
    // A calibrated camera looks towards the points where (a3 . X + t3) has the sign of its block's
    // determinant.
    Projection p;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            p[4 * r + c] = double(store.m_Ac(r, c));
        p[4 * r + 3] = double(store.m_Tc[r]);
    }
    const double det = dot(rowOf(p, 0), cross(rowOf(p, 1), rowOf(p, 2)));
    FrameCamera camera;
    if (!cameraOf(p, std::copysign(1.0, det), FrameCamera::Calibration, camera))
        return FrameCamera();
    return camera;
}
