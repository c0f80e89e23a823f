// One GL program built from a vertex and a fragment source, with uniforms set by name.
// GL objects are made only by Build and deleted only by DeleteObjects; the destructor
// makes no GL call.
#ifndef QUELLIX_GL_SHADER_PROGRAM_H
#define QUELLIX_GL_SHADER_PROGRAM_H

#include <cstdint>
#include <string>
#include <vector>

class ShaderProgram {
  public:
    ShaderProgram() = default;
    ShaderProgram(const ShaderProgram&) = delete;
    ShaderProgram& operator=(const ShaderProgram&) = delete;

    // Compiles both stages and links them; on any failure reports the GL log through
    // EmitDiagnostic, deletes what was made and answers false. Call on an empty object.
    bool Build(const char* vertexSource, const char* fragmentSource);
    // Deletes the shaders, then the program; a no-op when nothing is built.
    void DeleteObjects();
    uint32_t GetProgramHandle() const { return program_; }

    // Set a uniform of the current program, looking its location up on every call.
    void SetUniformInt(const char* name, int32_t value) const;
    void SetUniformFloat(const char* name, float value) const;
    void SetUniformVec2(const char* name, float x, float y) const;
    void SetUniformVec3(const char* name, float x, float y, float z) const;

  private:
    enum class Stage { Vertex, Fragment };
    bool CompileStage(Stage stage, const char* source);
    bool Link();

    uint32_t vertexShader_ = 0;
    uint32_t extraStageShader_ = 0;  // no stage of this system uses it; always 0
    uint32_t fragmentShader_ = 0;
    uint32_t program_ = 0;
    std::vector<std::string> feedbackVaryings_;  // empty: no transform feedback
};

#endif  // QUELLIX_GL_SHADER_PROGRAM_H
