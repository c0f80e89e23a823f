// GLSL sources of the lens-flare program, held as constant text so that no
// shader file is read at run time.
#ifndef QUELLIX_EFFECT_FLARE_SHADER_H
#define QUELLIX_EFFECT_FLARE_SHADER_H

// Vertex stage: passes the quad position through untransformed and hands the
// quad coordinate to the fragment stage as "uv".
extern const char kFlareVertexSource[];

// Fragment stage: input image plus star, ghosts, halo and streak, screen
// blended; alpha is always 1.
extern const char kFlareFragmentSource[];

// The fragment stage's GLSL functions alone (no version line, no uniforms, no
// main), so a test shader can prepend "#version 410 core\n" and add its own
// main to evaluate individual flare components.
extern const char kFlareFunctionSource[];

#endif  // QUELLIX_EFFECT_FLARE_SHADER_H
