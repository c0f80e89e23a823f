// libFuzzer target for the entry point: the input bytes decode into a sequence of host
// calls, each with the record its code needs built from the bytes in memory of exactly the
// record's size, so that any read or write past a record is a sanitizer report.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "ffgl/abi.h"
#include "gl/gl_loader.h"
#include "host/logging.h"
#include "host/plug_main.h"
#include "lib/gl/gl_context.h"

namespace {

// Reads the fuzzer's bytes; past the end every read answers 0.
class Bytes {
  public:
    Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Empty() const { return position_ >= size_; }
    uint8_t U8() { return position_ < size_ ? data_[position_++] : 0; }
    uint32_t U32() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value |= uint32_t{U8()} << (8 * i);
        }
        return value;
    }
    float F32() {
        const uint32_t bits = U32();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // A parameter index: mostly a real one, sometimes anything.
    uint32_t Index() {
        const uint8_t pick = U8();
        return pick < 200 ? pick % 8 : U32();
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

// GL objects shared by every input: an input texture and a framebuffer. Made after the
// module's loader has resolved the entry points.
struct GlFixture {
    GlFixture() {
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        const std::vector<uint8_t> pixels(16 * 16 * 4, 128);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 16, 16, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     pixels.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        glGenFramebuffers(1, &framebuffer);
        glGenTextures(1, &colour);
        glBindTexture(GL_TEXTURE_2D, colour);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 16, 16, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glBindTexture(GL_TEXTURE_2D, 0);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour, 0);
        glViewport(0, 0, 16, 16);
    }
    GLuint texture = 0;
    GLuint framebuffer = 0;
    GLuint colour = 0;
};

GlFixture* g_gl = nullptr;

void ReadMessage(const char* message) {
    volatile size_t length = std::strlen(message);
    (void)length;
}

// A text from the bytes, NUL-terminated, in its own allocation of exactly its size.
std::unique_ptr<char[]> Text(Bytes& bytes) {
    const size_t length = bytes.U8() % 24;
    std::unique_ptr<char[]> text(new char[length + 1]);
    for (size_t i = 0; i < length; ++i) {
        text[i] = static_cast<char>(bytes.U8() | 1);
    }
    text[length] = '\0';
    return text;
}

template <typename Record>
FFMixed Pointer(Record* record) {
    return reinterpret_cast<uintptr_t>(record);
}

class Session {
  public:
    explicit Session(Bytes& bytes) : bytes_(bytes) {}
    ~Session() {
        // Every instance made during the input is destroyed before the next one.
        for (FFInstanceID instance : live_) {
            plugMain(FF_DEINSTANTIATE_GL, 0, instance);
        }
        SetLogCallback(nullptr);
    }

    void Step() {
        const uint8_t pick = bytes_.U8();
        if (pick == 0xFF) {
            SetLogCallback(bytes_.U8() % 2 ? ReadMessage : nullptr);
            return;
        }
        const uint32_t code = pick < 0xF0 ? pick % 64 : bytes_.U32();
        FFInstanceID instance = ChooseInstance();
        const bool nullRecord = bytes_.U8() % 16 == 0;
        const FFResult result = Call(code, instance, nullRecord);
        if (code == FF_INSTANTIATE_GL && result != FF_FAIL && result != 0) {
            live_.push_back(reinterpret_cast<FFInstanceID>(result));
        }
    }

  private:
    // Null, or one of the live instances; never a destroyed one.
    FFInstanceID ChooseInstance() {
        const uint8_t pick = bytes_.U8();
        if (live_.empty() || pick % 4 == 0) {
            return nullptr;
        }
        return live_[pick % live_.size()];
    }

    void Forget(FFInstanceID instance) {
        for (size_t i = 0; i < live_.size(); ++i) {
            if (live_[i] == instance) {
                live_.erase(live_.begin() + static_cast<std::ptrdiff_t>(i));
                return;
            }
        }
    }

    FFResult Call(uint32_t code, FFInstanceID instance, bool nullRecord) {
        switch (code) {
            case FF_SET_PARAMETER: {
                auto record = std::make_unique<SetParameterStruct>();
                record->ParameterNumber = bytes_.Index();
                record->NewParameterValue.Bits = 0;
                record->NewParameterValue.FloatValue = bytes_.F32();
                return plugMain(code, nullRecord ? 0 : Pointer(record.get()), instance);
            }
            case FF_PROCESS_OPENGL:
                return ProcessFrame(instance, nullRecord);
            case FF_INSTANTIATE_GL:
            case FF_RESIZE: {
                if (code == FF_INSTANTIATE_GL && live_.size() >= 4) {
                    return FF_FAIL;
                }
                auto viewport = std::make_unique<FFGLViewportStruct>();
                *viewport = {bytes_.U32() % 64, bytes_.U32() % 64, bytes_.U32(), bytes_.U32()};
                return plugMain(code, nullRecord ? 0 : Pointer(viewport.get()), instance);
            }
            case FF_DEINSTANTIATE_GL:
                if (instance != nullptr) {
                    Forget(instance);
                }
                return plugMain(code, 0, instance);
            case FF_SET_TIME: {
                auto seconds = std::make_unique<double>(bytes_.F32());
                return plugMain(code, nullRecord ? 0 : Pointer(seconds.get()), instance);
            }
            case FF_GET_PARAMETER_ELEMENT_NAME:
            case FF_GET_PARAMETER_ELEMENT_VALUE:
            case FF_GET_FILE_PARAMETER_EXTENSION:
            case FF_GET_ELEMENT_SEPARATOR: {
                auto request = std::make_unique<ElementRequest>();
                *request = {bytes_.Index(), bytes_.U8() < 200 ? bytes_.U8() % 3u : bytes_.U32()};
                return plugMain(code, nullRecord ? 0 : Pointer(request.get()), instance);
            }
            case FF_SET_PARAMETER_ELEMENT_VALUE: {
                auto record = std::make_unique<ElementValueRecord>();
                *record = {bytes_.Index(), bytes_.U8() % 3u, bytes_.F32()};
                return plugMain(code, nullRecord ? 0 : Pointer(record.get()), instance);
            }
            case FF_SET_BEATINFO: {
                auto beat = std::make_unique<BeatRecord>();
                *beat = {bytes_.F32(), bytes_.F32()};
                return plugMain(code, nullRecord ? 0 : Pointer(beat.get()), instance);
            }
            case FF_SET_HOSTINFO: {
                std::unique_ptr<char[]> name = Text(bytes_);
                std::unique_ptr<char[]> version = Text(bytes_);
                auto details = std::make_unique<HostDetailsRecord>();
                *details = {bytes_.U8() % 8 ? name.get() : nullptr,
                            bytes_.U8() % 8 ? version.get() : nullptr};
                return plugMain(code, nullRecord ? 0 : Pointer(details.get()), instance);
            }
            case FF_GET_RANGE: {
                auto range = std::make_unique<RangeRecord>();
                *range = {bytes_.Index(), 0.0f, 0.0f};
                return plugMain(code, nullRecord ? 0 : Pointer(range.get()), instance);
            }
            case FF_GET_THUMBNAIL: {
                auto record = std::make_unique<ThumbnailRecord>();
                std::unique_ptr<uint8_t[]> pixels;
                if (bytes_.U8() % 2) {
                    pixels.reset(new uint8_t[160 * 120 * 4]);
                }
                *record = {0, 0, pixels.get()};
                return plugMain(code, nullRecord ? 0 : Pointer(record.get()), instance);
            }
            case FF_GET_PARAM_EVENTS: {
                const uint32_t capacity = bytes_.U8() % 8;
                std::unique_ptr<EventEntry[]> entries;
                if (bytes_.U8() % 2) {
                    entries.reset(new EventEntry[capacity == 0 ? 1 : capacity]);
                }
                auto query = std::make_unique<EventQueryRecord>();
                *query = {capacity, entries.get()};
                return plugMain(code, nullRecord ? 0 : Pointer(query.get()), instance);
            }
            case FF_GET_PARAM_GROUP:
            case FF_GET_PARAM_DISPLAY_NAME: {
                const uint32_t size = bytes_.U8() % 32;
                std::unique_ptr<char[]> buffer(new char[size == 0 ? 1 : size]);
                auto request = std::make_unique<TextRequest>();
                *request = {bytes_.Index(), buffer.get(), size};
                return plugMain(code, nullRecord ? 0 : Pointer(request.get()), instance);
            }
            default: {
                // Number inputs, with the upper half set now and then.
                const uint64_t upper = bytes_.U8() % 8 == 0 ? uint64_t{bytes_.U32()} << 32 : 0;
                return plugMain(code, upper | bytes_.Index(), instance);
            }
        }
    }

    FFResult ProcessFrame(FFInstanceID instance, bool nullRecord) {
        const uint8_t shape = bytes_.U8();
        auto texture = std::make_unique<FFGLTextureStruct>();
        *texture = {bytes_.U8() % 32u, bytes_.U8() % 32u, bytes_.U8() % 32u, bytes_.U8() % 32u,
                    shape % 5 == 0 ? bytes_.U32() : g_gl->texture};
        const uint32_t count = shape % 7 == 0 ? bytes_.U8() % 3u : 1u;
        std::unique_ptr<FFGLTextureStruct*[]> inputs(
            new FFGLTextureStruct*[count == 0 ? 1 : count]);
        for (uint32_t i = 0; i < count; ++i) {
            inputs[i] = shape % 11 == 0 ? nullptr : texture.get();
        }
        auto frame = std::make_unique<ProcessOpenGLStruct>();
        frame->numInputTextures = count;
        frame->inputTextures = shape % 13 == 0 ? nullptr : inputs.get();
        frame->HostFBO = shape % 17 == 0 ? bytes_.U32() % 8 : g_gl->framebuffer;
        glBindFramebuffer(GL_FRAMEBUFFER, g_gl->framebuffer);
        return plugMain(FF_PROCESS_OPENGL, nullRecord ? 0 : Pointer(frame.get()), instance);
    }

    Bytes& bytes_;
    std::vector<FFInstanceID> live_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // One context for the whole run, current on the fuzzing thread.
    static ffglhost::GlContext context;
    if (!EnsureGlLoader()) {
        return 1;
    }
    g_gl = new GlFixture();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes bytes(data, size);
    {
        Session session(bytes);
        for (int steps = 0; steps < 64 && !bytes.Empty(); ++steps) {
            session.Step();
        }
    }
    // The prototype is made again on the next input's first plug-in-wide question.
    plugMain(FF_DEINITIALISE, 0, nullptr);
    // As a host presenting its frame would: llvmpipe frees deleted objects only once the
    // work queued on them is done.
    glFinish();
    return 0;
}
