#version 150 core
// Turns each vertex into a surface point: phase frames are triangulated here from the camera
// pixel, its phase and the calibration; coordinate frames arrive as points. Then the mirror blend
// and the rejection of depth spikes; the point in the region's box goes on to the fragments.

attribute highp vec4 a_position;
attribute mediump vec4 a_normal;
attribute mediump vec4 a_textureColor;
attribute lowp float a_validity;

uniform mediump mat4 u_modelMatrix;
uniform mediump mat4 u_viewMatrix;
uniform mediump mat4 u_projectionMatrix;
uniform mediump float u_percentageMirrored;
uniform bool u_shouldMirrorGeo;
uniform highp vec3 u_boundingBoxMin;
uniform highp vec3 u_boundingBoxMax;
uniform highp vec3 u_centerOfMass;
uniform highp mat3 m_Ap;
uniform highp mat3 m_Ac;
uniform highp vec3 m_Tp;
uniform highp vec3 m_Tc;
uniform mediump float m_isCaptured;
// Pixels between neighbouring samples: 1 at full detail, more on the coarser levels.
uniform highp float u_meshStride;
// From the scan's coordinates into the region's box, the cube from -1 to 1.
uniform highp mat4 u_worldToBox;

varying highp vec4 v_position;
varying mediump vec4 v_normal;
varying mediump vec4 v_textureColor;
varying highp float v_validity;
varying highp vec3 v_boxPosition;

// The inverse of the matrix whose rows are the columns of a, by its adjugate.
highp mat3 inverseMatrix(highp mat3 a)
{
    highp vec3 c0 = cross(a[1], a[2]);
    highp vec3 c1 = cross(a[2], a[0]);
    highp vec3 c2 = cross(a[0], a[1]);
    highp float det = dot(a[0], c0);
    return mat3(c0, c1, c2) / det;
}

// The point that the camera sees at pixel (uc, vc) and the projector lights with line q.
highp vec3 absolutePhaseToCoord(highp float uc, highp float vc, highp float q)
{
    highp mat3 cameraRows = transpose(m_Ac);
    highp mat3 projectorRows = transpose(m_Ap);
    highp mat3 a = mat3(uc * cameraRows[2] - cameraRows[0],
                        vc * cameraRows[2] - cameraRows[1],
                        q * projectorRows[2] - projectorRows[1]);
    highp vec3 b = vec3(m_Tc.x - uc * m_Tc.z, m_Tc.y - vc * m_Tc.z, m_Tp.y - q * m_Tp.z);
    return inverseMatrix(a) * b;
}

void main()
{
    highp vec3 position = a_position.xyz;
    highp vec3 normal = a_normal.xyz;
    if (m_isCaptured > 0.1) {
        highp float u = a_position.x;
        highp float v = a_position.y;
        highp vec3 p1 = absolutePhaseToCoord(u, v, a_position.z);
        highp vec3 p2 = absolutePhaseToCoord(u, v + u_meshStride, a_normal.x);
        highp vec3 p3 = absolutePhaseToCoord(u + u_meshStride, v + u_meshStride, a_normal.y);
        normal = normalize(cross(p1 - p2, p1 - p3));
        position = p1;
    }

    // The region cuts the scan as measured, before any mirroring; linear in the position, so the
    // fragments get it exactly where the surface crosses the box's faces.
    v_boxPosition = (u_worldToBox * vec4(position, 1.0)).xyz;

    highp float p = u_percentageMirrored;
    position.z = p * (2.0 * u_centerOfMass.z - position.z) + (1.0 - p) * position.z;

    // A point far outside the frame's depth extent is a spike of a bad phase, not surface.
    highp float delta = max(u_boundingBoxMax.z - u_centerOfMass.z, u_centerOfMass.z - u_boundingBoxMin.z);
    highp float validity = a_validity;
    if (u_centerOfMass.z - position.z > 2.0 * delta || position.z - u_centerOfMass.z > 2.0 * delta)
        validity = 0.0;

    v_normal = vec4(normal, 1.0);
    v_position = vec4(position, 1.0);
    v_textureColor = vec4(a_textureColor.rgb, 1.0);
    v_validity = validity;
    gl_Position = u_projectionMatrix * u_viewMatrix * u_modelMatrix * v_position;
    gl_PointSize = 1.1;
}
