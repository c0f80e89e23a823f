// ShaderProgram in a real GL context: building, failure reports on both diagnostic
// channels, the objects it leaves alive, and setting uniforms by name.
#include "gl/shader_program.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gl/gl_loader.h"

namespace {

const char kVertexSource[] = R"glsl(#version 410 core
layout(location = 0) in vec4 vPosition;
out vec2 uv;
void main()
{
    uv = vPosition.xy;
    gl_Position = vPosition;
}
)glsl";

const char kFragmentSource[] = R"glsl(#version 410 core
in vec2 uv;
out vec4 fragColor;
uniform float Gain;
uniform int Mode;
uniform vec2 Offset;
uniform vec3 Tint;
void main()
{
    fragColor = vec4(Tint * Gain + vec3(Offset, float(Mode)) + vec3(uv, 0.0), 1.0);
}
)glsl";

const char kBrokenVertexSource[] = "#version 410 core\nvoid main() { gl_Position = vec4(1.0) }\n";
const char kBrokenFragmentSource[] = "#version 410 core\nout vec4 c;\nvoid main() { c = ; }\n";

// Declares the vertex stage's "uv" output with another type: each stage compiles, the
// link fails.
const char kMismatchedFragmentSource[] = R"glsl(#version 410 core
in vec3 uv;
out vec4 fragColor;
void main()
{
    fragColor = vec4(uv, 1.0);
}
)glsl";

constexpr GLuint kNameRange = 2048;

std::vector<GLuint> LiveShaders() {
    std::vector<GLuint> names;
    for (GLuint name = 1; name < kNameRange; ++name) {
        if (glIsShader(name)) {
            names.push_back(name);
        }
    }
    return names;
}

std::vector<GLuint> LivePrograms() {
    std::vector<GLuint> names;
    for (GLuint name = 1; name < kNameRange; ++name) {
        if (glIsProgram(name)) {
            names.push_back(name);
        }
    }
    return names;
}

// The information log GL gives for compiling this source, found with a shader of our own.
std::string CompileLog(GLenum type, const char* source) {
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    std::string log(static_cast<size_t>(length) + 1, '\0');
    glGetShaderInfoLog(shader, length, nullptr, &log[0]);
    glDeleteShader(shader);
    return log.c_str();
}

// The whole link log for these two sources, found with objects of our own.
std::string LinkLog(const char* vertexSource, const char* fragmentSource) {
    const GLuint vertex = glCreateShader(GL_VERTEX_SHADER);
    glShaderSource(vertex, 1, &vertexSource, nullptr);
    glCompileShader(vertex);
    const GLuint fragment = glCreateShader(GL_FRAGMENT_SHADER);
    glShaderSource(fragment, 1, &fragmentSource, nullptr);
    glCompileShader(fragment);
    const GLuint program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    std::string log(static_cast<size_t>(length) + 1, '\0');
    glGetProgramInfoLog(program, length, nullptr, &log[0]);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    glDeleteProgram(program);
    return log.c_str();
}

void DrainGlErrors() {
    while (glGetError() != GL_NO_ERROR) {
    }
}

// What one Build call wrote to the two diagnostic channels.
struct BuildOutcome {
    bool built;
    std::string out;
    std::string err;
};

BuildOutcome CapturedBuild(ShaderProgram& program, const char* vertex, const char* fragment) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const bool built = program.Build(vertex, fragment);
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    return {built, out, err};
}

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class ShaderProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(EnsureGlLoader());
        DrainGlErrors();
        shadersBefore_ = LiveShaders();
        programsBefore_ = LivePrograms();
    }

    // Every GL object a test's ShaderProgram made is gone again.
    void ExpectNothingLeftAlive() const {
        EXPECT_EQ(LiveShaders(), shadersBefore_);
        EXPECT_EQ(LivePrograms(), programsBefore_);
    }

    std::vector<GLuint> shadersBefore_;
    std::vector<GLuint> programsBefore_;
};

TEST_F(ShaderProgramTest, VertexSyntaxErrorReportsOnceOnBothChannelsAndLeavesNothing) {
    ShaderProgram program;
    // The fragment source is broken as well: compiling it would add a second report.
    const BuildOutcome outcome = CapturedBuild(program, kBrokenVertexSource, kBrokenFragmentSource);
    EXPECT_FALSE(outcome.built);
    EXPECT_EQ(program.GetProgramHandle(), 0u);

    const std::string log = CompileLog(GL_VERTEX_SHADER, kBrokenVertexSource);
    ASSERT_FALSE(log.empty());
    const std::string expected = "Vertex Shader error: " + log + "\n";
    EXPECT_EQ(outcome.out, expected);
    EXPECT_EQ(outcome.err, expected);
    EXPECT_EQ(Count(outcome.out, "Shader error: "), 1u);
    ExpectNothingLeftAlive();
}

TEST_F(ShaderProgramTest, BrokenFragmentDeletesTheCompiledVertexShaderToo) {
    ShaderProgram program;
    const BuildOutcome outcome = CapturedBuild(program, kVertexSource, kBrokenFragmentSource);
    EXPECT_FALSE(outcome.built);
    EXPECT_EQ(program.GetProgramHandle(), 0u);

    const std::string expected =
        "Fragment Shader error: " + CompileLog(GL_FRAGMENT_SHADER, kBrokenFragmentSource) + "\n";
    EXPECT_EQ(outcome.out, expected);
    EXPECT_EQ(outcome.err, expected);
    ExpectNothingLeftAlive();
}

TEST_F(ShaderProgramTest, LinkFailureReportsTheProgramLogUnderTheFragmentPrefix) {
    ShaderProgram program;
    const BuildOutcome outcome = CapturedBuild(program, kVertexSource, kMismatchedFragmentSource);
    EXPECT_FALSE(outcome.built);
    EXPECT_EQ(program.GetProgramHandle(), 0u);

    const std::string log = LinkLog(kVertexSource, kMismatchedFragmentSource);
    ASSERT_FALSE(log.empty());
    ASSERT_LT(log.size(), 1024u);
    const std::string expected = "Fragment Shader error: " + log + "\n";
    EXPECT_EQ(outcome.out, expected);
    EXPECT_EQ(outcome.err, expected);
    ExpectNothingLeftAlive();
}

// Many mismatched varyings with long names make a link log longer than the 1023
// characters the report keeps.
TEST_F(ShaderProgramTest, LongLinkLogIsCutTo1023Characters) {
    std::string vertex = "#version 410 core\n";
    std::string vertexBody = "void main() { gl_Position = vec4(0.0);";
    std::string fragment = "#version 410 core\nout vec4 fragColor;\n";
    std::string sum = "vec4(0.0)";
    for (int i = 0; i < 12; ++i) {
        const std::string name = "varying_" + std::to_string(i) + "_" + std::string(120, 'x');
        vertex += "out vec2 " + name + ";\n";
        vertexBody += " " + name + " = vec2(1.0);";
        fragment += "in vec4 " + name + ";\n";
        sum += " + " + name;
    }
    vertex += vertexBody + " }\n";
    fragment += "void main() { fragColor = " + sum + "; }\n";

    const std::string log = LinkLog(vertex.c_str(), fragment.c_str());
    ASSERT_GT(log.size(), 1023u) << "the GL gave a short log: " << log;

    ShaderProgram program;
    const BuildOutcome outcome = CapturedBuild(program, vertex.c_str(), fragment.c_str());
    EXPECT_FALSE(outcome.built);
    // The report keeps exactly the log's first 1023 characters, nothing else.
    const std::string prefix = "Fragment Shader error: ";
    ASSERT_EQ(outcome.out.compare(0, prefix.size(), prefix), 0) << outcome.out;
    ASSERT_EQ(outcome.out.back(), '\n');
    const std::string kept =
        outcome.out.substr(prefix.size(), outcome.out.size() - prefix.size() - 1);
    EXPECT_EQ(kept.size(), 1023u);
    EXPECT_EQ(kept, log.substr(0, kept.size()));
    EXPECT_EQ(outcome.err, outcome.out);
    ExpectNothingLeftAlive();
}

TEST_F(ShaderProgramTest, MissingSourcesFailSilentlyAndCreateNothing) {
    const struct {
        const char* vertex;
        const char* fragment;
    } cases[] = {
        {nullptr, kFragmentSource},  {"", kFragmentSource},
        {kVertexSource, ""},         {kVertexSource, nullptr},
        {nullptr, nullptr},          {"", ""},
        {"", kBrokenFragmentSource}, {nullptr, kBrokenFragmentSource},
    };
    for (const auto& sources : cases) {
        ShaderProgram program;
        const BuildOutcome outcome = CapturedBuild(program, sources.vertex, sources.fragment);
        EXPECT_FALSE(outcome.built);
        EXPECT_EQ(program.GetProgramHandle(), 0u);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(outcome.err, "");
    }
    ExpectNothingLeftAlive();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ShaderProgramTest, SuccessKeepsBothShadersAttachedUntilDeleteObjects) {
    ShaderProgram program;
    const BuildOutcome outcome = CapturedBuild(program, kVertexSource, kFragmentSource);
    ASSERT_TRUE(outcome.built);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "");

    const GLuint handle = program.GetProgramHandle();
    ASSERT_NE(handle, 0u);
    EXPECT_TRUE(glIsProgram(handle));
    GLint linked = 0;
    glGetProgramiv(handle, GL_LINK_STATUS, &linked);
    EXPECT_EQ(linked, GL_TRUE);

    GLuint attached[4] = {};
    GLsizei count = 0;
    glGetAttachedShaders(handle, 4, &count, attached);
    ASSERT_EQ(count, 2);
    std::vector<GLint> types;
    for (GLsizei i = 0; i < count; ++i) {
        EXPECT_TRUE(glIsShader(attached[i]));
        GLint type = 0;
        glGetShaderiv(attached[i], GL_SHADER_TYPE, &type);
        types.push_back(type);
    }
    EXPECT_EQ(types, (std::vector<GLint>{GL_VERTEX_SHADER, GL_FRAGMENT_SHADER}));

    program.DeleteObjects();
    EXPECT_EQ(program.GetProgramHandle(), 0u);
    EXPECT_FALSE(glIsProgram(handle));
    EXPECT_FALSE(glIsShader(attached[0]));
    EXPECT_FALSE(glIsShader(attached[1]));
    ExpectNothingLeftAlive();
}

// A second DeleteObjects must not touch names GL may since have given to other objects.
TEST_F(ShaderProgramTest, DeleteObjectsTwiceIsHarmlessAndTheObjectCanBeRebuilt) {
    ShaderProgram first;
    ASSERT_TRUE(first.Build(kVertexSource, kFragmentSource));
    first.DeleteObjects();

    ShaderProgram second;
    ASSERT_TRUE(second.Build(kVertexSource, kFragmentSource));
    const GLuint secondHandle = second.GetProgramHandle();

    first.DeleteObjects();
    first.DeleteObjects();
    EXPECT_EQ(first.GetProgramHandle(), 0u);
    EXPECT_TRUE(glIsProgram(secondHandle));
    GLsizei count = 0;
    GLuint attached[2] = {};
    glGetAttachedShaders(secondHandle, 2, &count, attached);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    ShaderProgram never;
    never.DeleteObjects();
    EXPECT_EQ(never.GetProgramHandle(), 0u);

    // Back in the empty state, the first object builds again.
    ASSERT_TRUE(first.Build(kVertexSource, kFragmentSource));
    EXPECT_NE(first.GetProgramHandle(), 0u);
    first.DeleteObjects();
    second.DeleteObjects();
    ExpectNothingLeftAlive();
}

TEST_F(ShaderProgramTest, SettersReachTheNamedUniformsOfTheCurrentProgram) {
    ShaderProgram program;
    ASSERT_TRUE(program.Build(kVertexSource, kFragmentSource));
    const GLuint handle = program.GetProgramHandle();
    glUseProgram(handle);
    program.SetUniformFloat("Gain", 2.5f);
    program.SetUniformInt("Mode", -7);
    program.SetUniformVec2("Offset", 0.25f, -0.5f);
    program.SetUniformVec3("Tint", 1.0f, 2.0f, 3.0f);
    glUseProgram(0);

    float gain = 0.0f;
    glGetUniformfv(handle, glGetUniformLocation(handle, "Gain"), &gain);
    EXPECT_EQ(gain, 2.5f);
    GLint mode = 0;
    glGetUniformiv(handle, glGetUniformLocation(handle, "Mode"), &mode);
    EXPECT_EQ(mode, -7);
    float offset[2] = {};
    glGetUniformfv(handle, glGetUniformLocation(handle, "Offset"), offset);
    EXPECT_EQ(offset[0], 0.25f);
    EXPECT_EQ(offset[1], -0.5f);
    float tint[3] = {};
    glGetUniformfv(handle, glGetUniformLocation(handle, "Tint"), tint);
    EXPECT_EQ(tint[0], 1.0f);
    EXPECT_EQ(tint[1], 2.0f);
    EXPECT_EQ(tint[2], 3.0f);
    program.DeleteObjects();
}

TEST_F(ShaderProgramTest, UnknownUniformNameHasNoEffectAndPrintsNothing) {
    ShaderProgram program;
    ASSERT_TRUE(program.Build(kVertexSource, kFragmentSource));
    const GLuint handle = program.GetProgramHandle();
    glUseProgram(handle);
    program.SetUniformFloat("Gain", 0.75f);
    DrainGlErrors();

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    program.SetUniformFloat("NoSuchUniform", 9.0f);
    program.SetUniformInt("NoSuchUniform", 9);
    program.SetUniformVec2("NoSuchUniform", 9.0f, 9.0f);
    program.SetUniformVec3("NoSuchUniform", 9.0f, 9.0f, 9.0f);
    program.SetUniformFloat("", 9.0f);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    glUseProgram(0);

    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    float gain = 0.0f;
    glGetUniformfv(handle, glGetUniformLocation(handle, "Gain"), &gain);
    EXPECT_EQ(gain, 0.75f);
    program.DeleteObjects();
}

}  // namespace
