// GLSL sources of the lens-flare program, held as constant text so that no shader file is
// read at run time. The build assembles them from src/effect/flare_vertex.glsl,
// flare_fragment.glsl and the block both include, flare_common.glsl
// (cmake/embed_shaders.cmake).
#ifndef QUELLIX_EFFECT_FLARE_SHADER_H
#define QUELLIX_EFFECT_FLARE_SHADER_H

// Vertex stage: passes the quad position through untransformed, hands the quad
// coordinate to the fragment stage as "uv", and works out the values that depend only
// on uniforms once per frame, handed on as flat outputs.
extern const char kFlareVertexSource[];

// Fragment stage: input image plus star, ghosts, halo and streak, screen blended; alpha
// is always 1.
extern const char kFlareFragmentSource[];

// The fragment stage without its main: version line, inputs, outputs, uniforms, the
// per-frame values and the shared function block. A test program adds a main of its own
// that evaluates parts of the flare.
extern const char kFlareFragmentPrelude[];

#endif  // QUELLIX_EFFECT_FLARE_SHADER_H
