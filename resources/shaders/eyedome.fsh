#version 150 core
// Eye-dome lighting: darkens each pixel of the scene by how far the eight neighbours around it stand
// in front of it. A difference is counted in the pixel's own footprint (the width one pixel covers
// at its distance) per pixel of reach, which is the slope of the surface as the eye sees it: the
// shading is the same whether the eye comes nearer, the window grows or the model is scaled. A pixel
// of background beside the surface has every surface neighbour far in front and turns dark, which
// outlines the silhouette.

// The scene: its colour and the distance of each pixel from the eye (the far plane's where nothing
// was drawn).
uniform sampler2D u_colour;
uniform sampler2D u_distance;
uniform vec2 u_texelSize;
uniform float u_strength;
uniform float u_radius;
// The footprint of a pixel at unit distance from the eye.
uniform float u_footprintPerDistance;

const vec2 directions[8] = vec2[8](
    vec2(1.0, 0.0), vec2(0.70710678, 0.70710678), vec2(0.0, 1.0), vec2(-0.70710678, 0.70710678),
    vec2(-1.0, 0.0), vec2(-0.70710678, -0.70710678), vec2(0.0, -1.0), vec2(0.70710678, -0.70710678));

void main()
{
    ivec2 pixel = ivec2(gl_FragCoord.xy);
    float here = texelFetch(u_distance, pixel, 0).r;
    float nearer = 0.0;
    for (int k = 0; k < 8; ++k) {
        vec2 at = (gl_FragCoord.xy + u_radius * directions[k]) * u_texelSize;
        nearer += max(0.0, here - texture(u_distance, at).r);
    }
    float slope = nearer / (8.0 * u_radius * here * u_footprintPerDistance);
    float shade = exp(-u_strength * slope);
    // Premultiplied: where the background is clear, the outline is black laid over it.
    vec4 colour = texelFetch(u_colour, pixel, 0);
    gl_FragData[0] = vec4(colour.rgb * colour.a * shade, 1.0 - (1.0 - colour.a) * shade);
}
