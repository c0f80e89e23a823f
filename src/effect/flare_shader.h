// GLSL sources of the lens-flare program, held as constant text so that no
// shader file is read at run time.
#ifndef QUELLIX_EFFECT_FLARE_SHADER_H
#define QUELLIX_EFFECT_FLARE_SHADER_H

// Vertex stage: passes the quad position through untransformed, hands the quad
// coordinate to the fragment stage as "uv", and works out the values that depend only
// on uniforms once per frame, handed on as flat outputs.
extern const char kFlareVertexSource[];

// Fragment stage: input image plus star, ghosts, halo and streak, screen
// blended; alpha is always 1.
extern const char kFlareFragmentSource[];

// The fragment stage without its main: version line, inputs, uniforms, the per-frame
// values and the function block. A test program adds a main of its own that evaluates
// parts of the flare from the per-frame values of kFlareVertexSource.
extern const char kFlareFragmentPrelude[];

// The fragment stage's GLSL functions alone (no version line, no uniforms, no
// main), so a test shader can prepend "#version 410 core\n" and add its own
// main to evaluate individual flare components.
extern const char kFlareFunctionSource[];

#endif  // QUELLIX_EFFECT_FLARE_SHADER_H
