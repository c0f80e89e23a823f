// One headless OpenGL context per test binary, current on the main thread for every test.
#ifndef QUELLIX_TESTS_GL_TEST_ENVIRONMENT_H
#define QUELLIX_TESTS_GL_TEST_ENVIRONMENT_H

#include <gtest/gtest.h>

#include <memory>

#include "lib/gl/gl_context.h"

class GlTestEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { context_ = std::make_unique<ffglhost::GlContext>(); }
    void TearDown() override { context_.reset(); }

  private:
    std::unique_ptr<ffglhost::GlContext> context_;
};

#endif  // QUELLIX_TESTS_GL_TEST_ENVIRONMENT_H
