// A host that loads and unloads the module for hours: every cycle opens the library, runs
// two instances, and closes it again. Memory must not grow with the cycles, no GL object
// may survive, and the library must really leave the process.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#define GL_GLEXT_PROTOTYPES
#include <GL/glcorearb.h>

#include <malloc.h>

#include <cstdio>
#include <memory>
#include <vector>

#ifdef __SANITIZE_ADDRESS__
// From the sanitizer runtime's allocator interface (g++ ships no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

#include "lib/gl/gl_objects.h"
#include "lib/plugin/plugin_library.h"
#include "support/live_gl_objects.h"

namespace {

using ffglhost::PluginLibrary;

long ResidentKilobytes() {
    long pages = 0;
    long resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm != nullptr) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Heap bytes in use right now. Unlike the resident size this is not inflated by the
// memory AddressSanitizer holds back from reuse.
long HeapKilobytes() {
#ifdef __SANITIZE_ADDRESS__
    return static_cast<long>(__sanitizer_get_current_allocated_bytes() / 1024);
#else
    return static_cast<long>(mallinfo2().uordblks / 1024);
#endif
}

void RunOneCycle(const ffglhost::Texture& texture, const ffglhost::RenderTarget& target) {
    PluginLibrary module(QUELLIX_MODULE_PATH);
    FFGLViewportStruct viewport{0, 0, target.Width(), target.Height()};
    FFInstanceID instances[2];
    for (FFInstanceID& instance : instances) {
        const FFResult handle = module.Call(FF_INSTANTIATE_GL, &viewport);
        ASSERT_NE(handle, FF_FAIL);
        instance = PluginLibrary::AsPointer<void>(handle);
    }
    FFGLTextureStruct input = texture.Describe();
    FFGLTextureStruct* inputs[] = {&input};
    ProcessOpenGLStruct frame{1, inputs, target.Framebuffer()};
    float value = 0.1f;
    for (FFInstanceID instance : instances) {
        for (uint32_t index = 0; index < 6; ++index) {
            SetParameterStruct record{};
            record.ParameterNumber = index;
            record.NewParameterValue.FloatValue = value += 0.1f;
            ASSERT_EQ(module.Call(FF_SET_PARAMETER, &record, instance), FF_SUCCESS);
        }
        target.Bind();
        ASSERT_EQ(module.Call(FF_PROCESS_OPENGL, &frame, instance), FF_SUCCESS);
        ASSERT_EQ(module.Call(FF_PROCESS_OPENGL, &frame, instance), FF_SUCCESS);
    }
    for (FFInstanceID instance : instances) {
        ASSERT_EQ(module.Call(FF_DEINSTANTIATE_GL, 0, instance), FF_SUCCESS);
    }
    ASSERT_EQ(module.Call(FF_DEINITIALISE), FF_SUCCESS);
}

TEST(LoadCycles, TwoHundredLoadsLeaveNothingBehind) {
    const std::vector<uint8_t> picture(64 * 36 * 4, 100);
    ffglhost::Texture texture(64, 36, picture.data());
    ffglhost::RenderTarget target(64, 36);

    long firstHeapKilobytes = 0;
    long firstResidentKilobytes = 0;
    for (int cycle = 1; cycle <= 200; ++cycle) {
        RunOneCycle(texture, target);
        if (HasFatalFailure()) {
            return;
        }
        glFinish();
        ASSERT_EQ(LiveGlObjects(), 0) << "cycle " << cycle;
        ASSERT_EQ(dlopen(QUELLIX_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr)
            << "the module stayed loaded after cycle " << cycle;
        if (cycle == 10) {
            // The first cycles warm up the driver's caches; growth is measured after them.
            firstHeapKilobytes = HeapKilobytes();
            firstResidentKilobytes = ResidentKilobytes();
        }
    }
    const long lastHeapKilobytes = HeapKilobytes();
    const long lastResidentKilobytes = ResidentKilobytes();
    std::printf("heap in use: %ld kB after cycle 10, %ld kB after cycle 200\n", firstHeapKilobytes,
                lastHeapKilobytes);
    std::printf("resident memory: %ld kB after cycle 10, %ld kB after cycle 200\n",
                firstResidentKilobytes, lastResidentKilobytes);
    EXPECT_LT(lastHeapKilobytes - firstHeapKilobytes, 1024)
        << "the heap grows with the number of load cycles";
#ifndef __SANITIZE_ADDRESS__
    EXPECT_LT(lastResidentKilobytes - firstResidentKilobytes, 4096)
        << "memory grows with the number of load cycles";
#endif
}

}  // namespace
