// A framebuffer with one RGBA32F colour texture, so that values outside 0..1 survive and
// differences far below one 8-bit step can be measured.
#ifndef QUELLIX_TESTS_SUPPORT_FLOAT_TARGET_H
#define QUELLIX_TESTS_SUPPORT_FLOAT_TARGET_H

#include <array>
#include <vector>

using Pixel = std::array<float, 4>;

class FloatTarget {
  public:
    FloatTarget(int width, int height);
    ~FloatTarget();
    FloatTarget(const FloatTarget&) = delete;
    FloatTarget& operator=(const FloatTarget&) = delete;

    bool Complete() const { return complete_; }
    unsigned int Framebuffer() const { return framebuffer_; }
    // Binds the framebuffer and sets the viewport to cover it.
    void Bind() const;
    // Bottom row first, as GL stores it.
    std::vector<Pixel> Read() const;

  private:
    int width_;
    int height_;
    unsigned int texture_ = 0;
    unsigned int framebuffer_ = 0;
    bool complete_ = false;
};

#endif  // QUELLIX_TESTS_SUPPORT_FLOAT_TARGET_H
