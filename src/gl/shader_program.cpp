#include "shader_program.h"

#include <string>

#include "gl_loader.h"
#include "host/logging.h"

namespace {

bool IsEmpty(const char* text) {
    return text == nullptr || text[0] == '\0';
}

}  // namespace

bool ShaderProgram::Build(const char* vertexSource, const char* fragmentSource) {
    if (IsEmpty(vertexSource)) {
        return false;
    }
    if (IsEmpty(fragmentSource) && feedbackVaryings_.empty()) {
        return false;
    }
    if (CompileStage(Stage::Vertex, vertexSource) &&
        (IsEmpty(fragmentSource) || CompileStage(Stage::Fragment, fragmentSource)) && Link()) {
        return true;
    }
    DeleteObjects();
    return false;
}

bool ShaderProgram::CompileStage(Stage stage, const char* source) {
    const bool vertex = stage == Stage::Vertex;
    const GLuint shader = glCreateShader(vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER);
    (vertex ? vertexShader_ : fragmentShader_) = shader;
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint status = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status == GL_TRUE) {
        return true;
    }
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    if (length < 0) {
        length = 0;
    }
    std::string log(static_cast<size_t>(length) + 1, '\0');
    glGetShaderInfoLog(shader, length, nullptr, &log[0]);
    const std::string message =
        std::string(vertex ? "Vertex Shader error: " : "Fragment Shader error: ") + log.c_str();
    EmitDiagnostic(message.c_str());
    return false;
}

bool ShaderProgram::Link() {
    program_ = glCreateProgram();
    glAttachShader(program_, vertexShader_);
    if (extraStageShader_ != 0) {
        glAttachShader(program_, extraStageShader_);
    }
    if (fragmentShader_ != 0) {
        glAttachShader(program_, fragmentShader_);
    }
    if (!feedbackVaryings_.empty()) {
        std::vector<const char*> names;
        for (const std::string& name : feedbackVaryings_) {
            names.push_back(name.c_str());
        }
        glTransformFeedbackVaryings(program_, static_cast<GLsizei>(names.size()), names.data(),
                                    GL_INTERLEAVED_ATTRIBS);
    }
    glLinkProgram(program_);
    GLint status = 0;
    glGetProgramiv(program_, GL_LINK_STATUS, &status);
    if (status == GL_TRUE) {
        return true;
    }
    // GL counts the terminating zero in the maximum length: the whole buffer keeps the
    // first 1023 characters of a longer log.
    char log[1024] = {};
    GLsizei length = 0;
    glGetProgramInfoLog(program_, sizeof log, &length, log);
    log[length >= 0 && length < 1024 ? length : 1023] = '\0';
    const std::string message = std::string("Fragment Shader error: ") + log;
    EmitDiagnostic(message.c_str());
    return false;
}

void ShaderProgram::DeleteObjects() {
    for (uint32_t* shader : {&vertexShader_, &fragmentShader_, &extraStageShader_}) {
        if (*shader != 0) {
            glDeleteShader(*shader);
            *shader = 0;
        }
    }
    if (program_ != 0) {
        glDeleteProgram(program_);
        program_ = 0;
    }
}

void ShaderProgram::SetUniformInt(const char* name, int32_t value) const {
    glUniform1i(glGetUniformLocation(program_, name), value);
}

void ShaderProgram::SetUniformFloat(const char* name, float value) const {
    glUniform1f(glGetUniformLocation(program_, name), value);
}

void ShaderProgram::SetUniformVec2(const char* name, float x, float y) const {
    glUniform2f(glGetUniformLocation(program_, name), x, y);
}

void ShaderProgram::SetUniformVec3(const char* name, float x, float y, float z) const {
    glUniform3f(glGetUniformLocation(program_, name), x, y, z);
}
