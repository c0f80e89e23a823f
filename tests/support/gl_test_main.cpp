// Test main for binaries whose tests need a current OpenGL context.
#include <gtest/gtest.h>

#include "gl_test_environment.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new GlTestEnvironment);
    return RUN_ALL_TESTS();
}
