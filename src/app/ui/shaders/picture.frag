#version 440

layout(location = 0) in vec2 lumaCoord;
layout(location = 0) out vec4 fragColor;

layout(std140, binding = 0) uniform buf {
    mat4 qt_Matrix;
    mat4 rgbFromSamples;
    vec2 chromaScale;
    float qt_Opacity;
    float twoPlanes;
};

layout(binding = 1) uniform sampler2D lumaPlane;
// Cb, or Cb and Cr interleaved (NV12).
layout(binding = 2) uniform sampler2D firstChromaPlane;
layout(binding = 3) uniform sampler2D crPlane;

void main() {
    // An odd-sized picture's last chroma sample covers one luma sample only.
    vec2 chromaCoord = lumaCoord * chromaScale;
    // Three samples whatever the layout, and no branch: a software rasteriser
    // pays for every sample on both sides of one. NV12's Cr is the second
    // plane's green; the third sampler then holds that plane too.
    vec2 first = texture(firstChromaPlane, chromaCoord).rg;
    float cr = mix(texture(crPlane, chromaCoord).r, first.g, twoPlanes);
    vec3 rgb = (rgbFromSamples * vec4(texture(lumaPlane, lumaCoord).r, first.r, cr, 1.0)).rgb;
    fragColor = vec4(clamp(rgb, 0.0, 1.0), 1.0) * qt_Opacity;
}
