#include "support/live_gl_objects.h"

// Plain GL prototypes, so that black-box tests, which do not link the module's loader, can
// use it too.
#define GL_GLEXT_PROTOTYPES
#include <GL/glcorearb.h>

int LiveGlObjects() {
    int live = 0;
    for (GLuint name = 1; name < 512; ++name) {
        live += glIsProgram(name) + glIsShader(name) + glIsBuffer(name) + glIsVertexArray(name);
    }
    return live;
}
