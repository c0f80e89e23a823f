// OpenGL entry points. Everything but glBindTexture and glDrawArrays is called through
// GLEW's pointers, which the loader fills once per loaded module.
#ifndef QUELLIX_GL_GL_LOADER_H
#define QUELLIX_GL_GL_LOADER_H

#include <GL/glew.h>

// Runs the loader on the first call, with the host's context current, and answers whether
// the entry points are ready. A loader that failed is never run again.
bool EnsureGlLoader();

// A loader answers 0 on success (GLEW's convention).
using GlLoaderFunc = unsigned (*)();

// Test seam: replaces the loader (null restores GLEW) and forgets any earlier attempt.
void SetGlLoaderForTesting(GlLoaderFunc loader);

#endif  // QUELLIX_GL_GL_LOADER_H
