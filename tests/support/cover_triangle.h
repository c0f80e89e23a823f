// A vertex stage that covers the whole viewport with one triangle drawn from gl_VertexID
// alone, so a test shader needs no buffer (an empty vertex array is enough).
#ifndef QUELLIX_TESTS_SUPPORT_COVER_TRIANGLE_H
#define QUELLIX_TESTS_SUPPORT_COVER_TRIANGLE_H

inline constexpr char kCoverVertexSource[] = R"glsl(#version 410 core
void main()
{
    vec2 p = vec2(float((gl_VertexID << 1) & 2), float(gl_VertexID & 2));
    gl_Position = vec4(p * 2.0 - 1.0, 0.0, 1.0);
}
)glsl";

#endif  // QUELLIX_TESTS_SUPPORT_COVER_TRIANGLE_H
