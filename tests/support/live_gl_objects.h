// GL objects alive in the current context, found by probing the first names: programs,
// shaders, buffers and vertex arrays, the kinds the module makes.
#ifndef QUELLIX_TESTS_SUPPORT_LIVE_GL_OBJECTS_H
#define QUELLIX_TESTS_SUPPORT_LIVE_GL_OBJECTS_H

int LiveGlObjects();

#endif  // QUELLIX_TESTS_SUPPORT_LIVE_GL_OBJECTS_H
