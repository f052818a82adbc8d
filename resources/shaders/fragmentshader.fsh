#version 150 core
// Colours each fragment by the chosen material (solid, texture, or depth through a grey, jet,
// magma or viridis ramp) and lights it from in front of the surface; what the region cuts away is
// left out.

uniform int materialType;
uniform float u_lightIntensity;
uniform vec3 u_materialColor;
uniform bool u_shouldMirrorGeo;
uniform mediump vec3 u_boundingBoxMin;
uniform mediump vec3 u_boundingBoxMax;
uniform mediump vec3 u_centerOfMass;
// In the frame's coordinates, on the eye's side of the surface.
uniform mediump vec3 u_lightPosition;
uniform mediump vec3 u_colorZrange;
// 0 keeps every fragment, 1 those inside the region's box, 2 those outside it.
uniform int u_regionKeeps;

varying highp vec4 v_position;
varying mediump vec4 v_normal;
varying mediump vec4 v_textureColor;
varying highp float v_validity;
varying highp vec3 v_boxPosition;

const vec4 jetColors[6] = vec4[6](
    vec4(0.0, 0.0, 131.0, 255.0) / 255.0,
    vec4(0.0, 60.0, 170.0, 255.0) / 255.0,
    vec4(5.0, 255.0, 255.0, 255.0) / 255.0,
    vec4(255.0, 255.0, 0.0, 255.0) / 255.0,
    vec4(250.0, 0.0, 0.0, 255.0) / 255.0,
    vec4(128.0, 0.0, 0.0, 255.0) / 255.0);
const float jetEdges[6] = float[6](0.0, 0.125, 0.375, 0.625, 0.875, 1.0);
const vec4 magmaColors[9] = vec4[9](
    vec4(0.0, 0.0, 4.0, 255.0) / 255.0,
    vec4(28.0, 16.0, 68.0, 255.0) / 255.0,
    vec4(79.0, 18.0, 123.0, 255.0) / 255.0,
    vec4(129.0, 37.0, 129.0, 255.0) / 255.0,
    vec4(181.0, 54.0, 122.0, 255.0) / 255.0,
    vec4(229.0, 80.0, 100.0, 255.0) / 255.0,
    vec4(251.0, 135.0, 97.0, 255.0) / 255.0,
    vec4(254.0, 194.0, 135.0, 255.0) / 255.0,
    vec4(252.0, 253.0, 191.0, 255.0) / 255.0);
const float magmaEdges[9] = float[9](0.0, 0.13, 0.25, 0.38, 0.5, 0.63, 0.75, 0.88, 1.0);
const vec4 viridisColors[9] = vec4[9](
    vec4(68.0, 1.0, 84.0, 255.0) / 255.0,
    vec4(71.0, 44.0, 122.0, 255.0) / 255.0,
    vec4(59.0, 81.0, 139.0, 255.0) / 255.0,
    vec4(44.0, 113.0, 142.0, 255.0) / 255.0,
    vec4(33.0, 144.0, 141.0, 255.0) / 255.0,
    vec4(39.0, 173.0, 129.0, 255.0) / 255.0,
    vec4(92.0, 200.0, 99.0, 255.0) / 255.0,
    vec4(170.0, 220.0, 50.0, 255.0) / 255.0,
    vec4(253.0, 231.0, 37.0, 255.0) / 255.0);
const float viridisEdges[9] = float[9](0.0, 0.13, 0.25, 0.38, 0.5, 0.63, 0.75, 0.88, 1.0);
const vec4 infernoColors[9] = vec4[9](
    vec4(0.0, 0.0, 4.0, 255.0) / 255.0,
    vec4(31.0, 12.0, 72.0, 255.0) / 255.0,
    vec4(85.0, 15.0, 109.0, 255.0) / 255.0,
    vec4(136.0, 34.0, 106.0, 255.0) / 255.0,
    vec4(186.0, 54.0, 85.0, 255.0) / 255.0,
    vec4(227.0, 89.0, 51.0, 255.0) / 255.0,
    vec4(249.0, 140.0, 10.0, 255.0) / 255.0,
    vec4(249.0, 201.0, 50.0, 255.0) / 255.0,
    vec4(252.0, 255.0, 164.0, 255.0) / 255.0);
const float infernoEdges[9] = float[9](0.0, 0.13, 0.25, 0.38, 0.5, 0.63, 0.75, 0.88, 1.0);

// Each interval contributes its smooth blend while x lies inside it; the ramp is the largest
// contribution, so an inner edge gives exactly its control colour and x outside 0..1 gives nothing.
vec4 rampTerm(vec4 low, vec4 high, float lowEdge, float highEdge, float x)
{
    return mix(low, high, smoothstep(lowEdge, highEdge, x)) * step(lowEdge, x) * step(x, highEdge);
}

vec4 ramp6(vec4 colors[6], float edges[6], float x)
{
    vec4 colour = vec4(0.0);
    for (int i = 0; i < 5; ++i)
        colour = max(colour, rampTerm(colors[i], colors[i + 1], edges[i], edges[i + 1], x));
    return colour;
}

vec4 ramp9(vec4 colors[9], float edges[9], float x)
{
    vec4 colour = vec4(0.0);
    for (int i = 0; i < 8; ++i)
        colour = max(colour, rampTerm(colors[i], colors[i + 1], edges[i], edges[i + 1], x));
    return colour;
}

void main()
{
    if (v_validity == 0.0)
        discard;
    if (u_regionKeeps != 0 && all(lessThanEqual(abs(v_boxPosition), vec3(1.0))) != (u_regionKeeps == 1))
        discard;

    // A range without width (a flat first frame) shows the ramp's middle rather than dividing by 0.
    float zrng = u_colorZrange.y - u_colorZrange.x;
    float dval = zrng == 0.0 ? 0.5 : clamp(1.0 - (v_position.z - u_colorZrange.x) / zrng, 0.0, 1.0);

    vec3 base = u_materialColor;
    if (materialType == 1)
        base = v_textureColor.rgb;
    else if (materialType == 2)
        base = vec3(dval);
    else if (materialType == 3)
        base = ramp6(jetColors, jetEdges, dval).rgb;
    else if (materialType == 4)
        base = ramp9(magmaColors, magmaEdges, dval).rgb;
    else if (materialType == 5)
        base = ramp9(viridisColors, viridisEdges, dval).rgb;

    if (u_lightIntensity == 0.0) {
        gl_FragColor = vec4(base, 1.0);
        return;
    }
    vec3 normal = normalize(v_normal).xyz;
    vec3 direction = normalize(u_lightPosition - v_position.xyz);
    float diffuse = abs(dot(normal, direction));
    gl_FragColor = vec4((0.1 + diffuse * u_lightIntensity) * base, 1.0);
}
