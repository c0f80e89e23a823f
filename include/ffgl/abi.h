// The FFGL 2.x boundary: function codes, status words and every record that crosses
// `plugMain`, laid out byte for byte. This header is shared by the module and by hosts
// (the headless host includes it too); it stands alone and depends on nothing but the C
// standard headers.
//
// Threads. The host calls `plugMain` and `SetLogCallback` from one thread at a time, with
// its GL context current for the codes marked GL below (17, 18, 19, 21, 22, 23). The
// module starts no thread and takes no lock.
//
// Module-wide state, shared by every instance of a loaded module: the plug-in
// description and the thumbnail (built at load), the prototype instance (made on the
// first plug-in-wide question, destroyed by code 2), the GL loader's once-only result,
// the host's log callback and the display-text buffer of code 7 (valid until the next
// code 7 of any instance).
//
// Lifecycle of one instance, in call order:
//   prototype    any plug-in-wide code (or 34) makes it; it answers parameter questions
//   instantiate  code 18 (GL) answers a handle the host owns until code 19
//   connect      code 21 (GL), or implicitly before the first frame
//   frames       code 17 (GL), any number; parameters, time and resize (8, 20, 23) between
//   disconnect   code 22 (GL), optional
//   deinstantiate code 19 (GL) disconnects if needed, releases GL objects, destroys it
//   deinitialise code 2 destroys the prototype; live instances are untouched
// Codes marked "instance" below need the handle code 18 answered and fail on a null one.
#ifndef FFGL_ABI_H
#define FFGL_ABI_H

#include <cstddef>
#include <cstdint>
#include <cstring>

// Status words. Numbers that double as statuses use FF_FAIL for failure.
constexpr uint32_t FF_SUCCESS = 0;
constexpr uint32_t FF_FAIL = 0xFFFFFFFFu;

// The 64-bit result word of `plugMain`. Status, number and float answers sit in the low
// 32 bits with the upper half zero; pointer answers use all 64 bits (0 = null).
using FFResult = uint64_t;

// The 64-bit input word: unused, a u32 in its low half (the upper half is ignored), or a
// pointer to one of the records below.
using FFMixed = uint64_t;

// The instance handle: null for plug-in-wide calls, otherwise what code 18 answered.
using FFInstanceID = void*;

// Signatures of the two exported entry points.
using FFPlugMainFunc = FFResult (*)(uint32_t functionCode, FFMixed input, FFInstanceID instance);
using FFLogFunc = void (*)(const char* message);
using FFSetLogCallbackFunc = void (*)(FFLogFunc callback);

// Function codes. Each comment gives: the input, whether an instance is required
// ("instance") or ignored ("plug-in-wide"; "optional" asks the given instance, else the
// prototype), the answer, and the answer on failure. Pointers answered point into module
// storage and stay owned by the module. Codes marked GL need the host's context current.
// Codes not listed (1, 3, 11, 12, 14, 24..30, 52 and above) answer FF_FAIL.
enum FFFunctionCode : uint32_t {
    // none; plug-in-wide; PluginInfoStruct* valid while loaded; null on failure.
    FF_GET_INFO = 0,
    // none; plug-in-wide; destroys the prototype instance; FF_SUCCESS, FF_FAIL without a
    // description. Live host instances are untouched.
    FF_DEINITIALISE = 2,
    // none; plug-in-wide; parameter count; FF_FAIL.
    FF_GET_NUM_PARAMETERS = 4,
    // index; plug-in-wide; const char* parameter name; null.
    FF_GET_PARAMETER_NAME = 5,
    // index; plug-in-wide; default as f32 bits (text pointer for types 14, 100); FF_FAIL.
    FF_GET_PARAMETER_DEFAULT = 6,
    // index; instance; const char* display text, valid until the next code 7 of any
    // instance; FF_FAIL for a null instance, null for an absent index.
    FF_GET_PARAMETER_DISPLAY = 7,
    // SetParameterStruct*; instance; the instance's status; FF_FAIL (also null record).
    FF_SET_PARAMETER = 8,
    // index; instance; value as f32 bits (text pointer for types 14, 100); FF_FAIL.
    FF_GET_PARAMETER = 9,
    // capability number; plug-in-wide; 0 or 1 (input counts for 10, 11); FF_FAIL.
    FF_GET_PLUGIN_CAPS = 10,
    // none; plug-in-wide; PluginExtendedInfoStruct* valid while loaded.
    FF_GET_EXTENDED_INFO = 13,
    // index; plug-in-wide; parameter type number; FF_FAIL.
    FF_GET_PARAMETER_TYPE = 15,
    // input channel; instance; 1 when the channel is in use; FF_FAIL.
    FF_GET_INPUT_STATUS = 16,
    // ProcessOpenGLStruct*; instance; GL; draws one frame into the given framebuffer;
    // the instance's status; FF_FAIL (also null record).
    FF_PROCESS_OPENGL = 17,
    // FFGLViewportStruct*; plug-in-wide; GL; a new instance handle owned by the host until
    // code 19; the full word 0x00000000FFFFFFFF on failure, with nothing left behind.
    FF_INSTANTIATE_GL = 18,
    // none; instance; GL; releases GL objects and destroys the instance; FF_SUCCESS.
    FF_DEINSTANTIATE_GL = 19,
    // const double* host time in seconds; instance; the instance's status; FF_FAIL.
    FF_SET_TIME = 20,
    // none; instance; GL; the instance's status; FF_FAIL.
    FF_CONNECT = 21,
    // none; instance; GL; the instance's status; FF_FAIL.
    FF_DISCONNECT = 22,
    // FFGLViewportStruct*; instance; GL; the instance's status; FF_FAIL (also null record).
    FF_RESIZE = 23,
    // index; optional; element count; FF_FAIL.
    FF_GET_NUM_PARAMETER_ELEMENTS = 31,
    // index; plug-in-wide; usage number; FF_FAIL.
    FF_GET_PARAMETER_USAGE = 32,
    // none; plug-in-wide; const char* short name or null.
    FF_GET_PLUGIN_SHORT_NAME = 33,
    // none; plug-in-wide; creates the prototype instance; FF_SUCCESS, FF_FAIL or the
    // init hook's non-zero answer.
    FF_INITIALISE_V2 = 34,
    // ElementRequest*; optional; const char* element name; null.
    FF_GET_PARAMETER_ELEMENT_NAME = 35,
    // ElementRequest*; optional; element value as f32 bits; FF_FAIL.
    FF_GET_PARAMETER_ELEMENT_VALUE = 36,
    // ElementValueRecord*; instance; FF_SUCCESS; FF_FAIL.
    FF_SET_PARAMETER_ELEMENT_VALUE = 37,
    // BeatRecord*; instance; FF_SUCCESS; FF_FAIL.
    FF_SET_BEATINFO = 38,
    // HostDetailsRecord*; instance; texts are copied; FF_SUCCESS; FF_FAIL.
    FF_SET_HOSTINFO = 39,
    // sample rate; instance; FF_SUCCESS; FF_FAIL.
    FF_SET_SAMPLERATE = 40,
    // RangeRecord* (in/out); plug-in-wide; FF_SUCCESS (0..1 for an absent index); FF_FAIL
    // with the record untouched.
    FF_GET_RANGE = 41,
    // ThumbnailRecord* (in/out); plug-in-wide; writes the size and, when the record's
    // buffer is not null, copies width * height * 4 bytes into it; FF_SUCCESS; FF_FAIL.
    FF_GET_THUMBNAIL = 42,
    // index; plug-in-wide; file-extension count (0 for an absent index); FF_FAIL.
    FF_GET_NUM_FILE_PARAMETER_EXTENSIONS = 43,
    // ElementRequest*; plug-in-wide; const char* extension; null.
    FF_GET_FILE_PARAMETER_EXTENSION = 44,
    // index; optional; 0 or 1; FF_FAIL.
    FF_GET_PARAM_VISIBILITY = 45,
    // EventQueryRecord* (in/out); instance; FF_SUCCESS; FF_FAIL.
    FF_GET_PARAM_EVENTS = 46,
    // index; plug-in-wide; separator count (0 for an absent index); 0 on failure.
    FF_GET_NUM_ELEMENT_SEPARATORS = 47,
    // ElementRequest*; plug-in-wide; the separator number; FF_FAIL.
    FF_GET_ELEMENT_SEPARATOR = 48,
    // capability number; instance; FF_FAIL in every case (16 may still enable it).
    FF_ENABLE_PLUGIN_CAP = 49,
    // TextRequest* (in/out); plug-in-wide; copies at most the buffer size, no
    // terminator; FF_SUCCESS; FF_FAIL for a null record or a zero size.
    FF_GET_PARAM_GROUP = 50,
    // TextRequest* (in/out); instance; as code 50.
    FF_GET_PARAM_DISPLAY_NAME = 51,
};

// Every served function code's contract in one table, read by the module's dispatcher
// and by hosts: the code, a readable name for messages, whether it needs the handle code
// 18 answered (an instance code fails on a null handle), whether the host's GL context
// must be current, and its answer on failure (null for the codes that answer a pointer, 0
// for the separator count, FF_FAIL otherwise).
struct FFFunctionInfo {
    uint32_t code;
    const char* name;
    bool needsInstance;
    bool needsGL;
    FFResult failure;
};

inline constexpr FFFunctionInfo kFFFunctions[] = {
    {FF_GET_INFO, "information", false, false, 0},
    {FF_DEINITIALISE, "deinitialise", false, false, FF_FAIL},
    {FF_GET_NUM_PARAMETERS, "number of parameters", false, false, FF_FAIL},
    {FF_GET_PARAMETER_NAME, "parameter name", false, false, 0},
    {FF_GET_PARAMETER_DEFAULT, "parameter default", false, false, FF_FAIL},
    {FF_GET_PARAMETER_DISPLAY, "parameter display text", true, false, 0},
    {FF_SET_PARAMETER, "set parameter", true, false, FF_FAIL},
    {FF_GET_PARAMETER, "get parameter", true, false, FF_FAIL},
    {FF_GET_PLUGIN_CAPS, "plug-in capability", false, false, FF_FAIL},
    {FF_GET_EXTENDED_INFO, "extended information", false, false, 0},
    {FF_GET_PARAMETER_TYPE, "parameter type", false, false, FF_FAIL},
    {FF_GET_INPUT_STATUS, "input status", true, false, FF_FAIL},
    {FF_PROCESS_OPENGL, "process frame", true, true, FF_FAIL},
    {FF_INSTANTIATE_GL, "instantiate", false, true, FF_FAIL},
    {FF_DEINSTANTIATE_GL, "deinstantiate", true, true, FF_FAIL},
    {FF_SET_TIME, "set host time", true, false, FF_FAIL},
    {FF_CONNECT, "connect", true, true, FF_FAIL},
    {FF_DISCONNECT, "disconnect", true, true, FF_FAIL},
    {FF_RESIZE, "resize", true, true, FF_FAIL},
    {FF_GET_NUM_PARAMETER_ELEMENTS, "number of parameter elements", false, false, FF_FAIL},
    {FF_GET_PARAMETER_USAGE, "parameter usage", false, false, FF_FAIL},
    {FF_GET_PLUGIN_SHORT_NAME, "short name", false, false, 0},
    {FF_INITIALISE_V2, "initialise", false, false, FF_FAIL},
    {FF_GET_PARAMETER_ELEMENT_NAME, "parameter element name", false, false, 0},
    {FF_GET_PARAMETER_ELEMENT_VALUE, "parameter element value", false, false, FF_FAIL},
    {FF_SET_PARAMETER_ELEMENT_VALUE, "set parameter element value", true, false, FF_FAIL},
    {FF_SET_BEATINFO, "beat information", true, false, FF_FAIL},
    {FF_SET_HOSTINFO, "host information", true, false, FF_FAIL},
    {FF_SET_SAMPLERATE, "audio sample rate", true, false, FF_FAIL},
    {FF_GET_RANGE, "parameter range", false, false, FF_FAIL},
    {FF_GET_THUMBNAIL, "thumbnail", false, false, FF_FAIL},
    {FF_GET_NUM_FILE_PARAMETER_EXTENSIONS, "number of file extensions", false, false, FF_FAIL},
    {FF_GET_FILE_PARAMETER_EXTENSION, "file extension", false, false, 0},
    {FF_GET_PARAM_VISIBILITY, "parameter visibility", false, false, FF_FAIL},
    {FF_GET_PARAM_EVENTS, "parameter events", true, false, FF_FAIL},
    {FF_GET_NUM_ELEMENT_SEPARATORS, "number of element separators", false, false, 0},
    {FF_GET_ELEMENT_SEPARATOR, "element separator", false, false, FF_FAIL},
    {FF_ENABLE_PLUGIN_CAP, "enable capability", true, false, FF_FAIL},
    {FF_GET_PARAM_GROUP, "parameter group", false, false, FF_FAIL},
    {FF_GET_PARAM_DISPLAY_NAME, "parameter display name", true, false, FF_FAIL},
};

// The table's entry for a code, or null for a code that is not served.
constexpr const FFFunctionInfo* FindFunction(uint32_t code) {
    for (const FFFunctionInfo& info : kFFFunctions) {
        if (info.code == code) {
            return &info;
        }
    }
    return nullptr;
}

// Capability numbers answered by code 10.
enum FFCapability : uint32_t {
    FF_CAP_SET_TIME = 5,
    FF_CAP_MINIMUM_INPUT_FRAMES = 10,
    FF_CAP_MAXIMUM_INPUT_FRAMES = 11,
    FF_CAP_16 = 16,
};

// Parameter types with special handling; every other number is float-valued.
constexpr uint32_t FF_TYPE_BOOLEAN = 0;    // a switch: 0 or 1
constexpr uint32_t FF_TYPE_EVENT = 1;      // a trigger: 1 while it fires
constexpr uint32_t FF_TYPE_STANDARD = 10;  // float in 0..1, default clamped
constexpr uint32_t FF_TYPE_FILE = 14;      // text: a file path
constexpr uint32_t FF_TYPE_TEXT = 100;     // text: free text

constexpr bool IsTextParameterType(uint32_t type) {
    return type == FF_TYPE_TEXT || type == FF_TYPE_FILE;
}

constexpr uint32_t FF_EFFECT = 0;  // plug-in type of an effect
constexpr uint32_t FF_SOURCE = 1;  // plug-in type of a source (no input)

// Float values and defaults cross the boundary as the bits of an f32 in the low half.
inline uint32_t FloatToBits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}
inline float BitsToFloat(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

struct PluginInfoStruct {
    uint32_t APIMajorVersion;
    uint32_t APIMinorVersion;
    char PluginUniqueID[4];  // not terminated
    char PluginName[16];     // zero-padded; a 16-character name has no terminator
    uint32_t PluginType;
};

struct PluginExtendedInfoStruct {
    uint32_t PluginMajorVersion;
    uint32_t PluginMinorVersion;
    const char* Description;
    const char* About;
    uint32_t FreeFrameExtendedDataSize;
    const void* FreeFrameExtendedDataBlock;  // null when the size is 0
};

struct FFGLViewportStruct {
    uint32_t x;
    uint32_t y;
    uint32_t width;
    uint32_t height;
};

struct FFGLTextureStruct {
    uint32_t Width;  // image size in pixels
    uint32_t Height;
    uint32_t HardwareWidth;  // GL texture size, at least the image size
    uint32_t HardwareHeight;
    uint32_t Handle;  // a GL_TEXTURE_2D name
};

struct ProcessOpenGLStruct {
    uint32_t numInputTextures;
    FFGLTextureStruct** inputTextures;
    uint32_t HostFBO;  // framebuffer the frame is drawn into
};

struct SetParameterStruct {
    uint32_t ParameterNumber;
    union {
        float FloatValue;       // float-valued parameters: bytes 8..11
        const char* TextValue;  // types 14 and 100
        uint64_t Bits;
    } NewParameterValue;
};

struct ElementRequest {
    uint32_t ParameterNumber;
    uint32_t ElementNumber;  // element, file-extension or separator position
};

struct ElementValueRecord {
    uint32_t ParameterNumber;
    uint32_t ElementNumber;
    float NewParameterValue;
};

struct BeatRecord {
    float bpm;
    float barPhase;
};

struct HostDetailsRecord {
    const char* HostName;
    const char* HostVersion;
};

struct RangeRecord {
    uint32_t ParameterNumber;  // in
    float Min;                 // out
    float Max;                 // out
};

struct ThumbnailRecord {
    uint32_t Width;   // out
    uint32_t Height;  // out
    void* Pixels;     // in; width * height 32-bit words 0xAARRGGBB, or null
};

struct EventEntry {
    uint32_t ParameterNumber;
    uint64_t EventFlags;
};

struct EventQueryRecord {
    uint32_t Count;       // in: capacity of Entries; out: pending or written count
    EventEntry* Entries;  // in; may be null
};

struct TextRequest {
    uint32_t ParameterNumber;  // in
    char* Buffer;              // in: host-owned, zero-filled beforehand
    uint32_t BufferSize;       // in; no terminator is written
};

// Sizes and offsets, byte for byte.
static_assert(sizeof(void*) == 8, "the boundary is 64-bit");
static_assert(sizeof(PluginInfoStruct) == 32, "");
static_assert(offsetof(PluginInfoStruct, APIMajorVersion) == 0, "");
static_assert(offsetof(PluginInfoStruct, APIMinorVersion) == 4, "");
static_assert(offsetof(PluginInfoStruct, PluginUniqueID) == 8, "");
static_assert(offsetof(PluginInfoStruct, PluginName) == 12, "");
static_assert(offsetof(PluginInfoStruct, PluginType) == 28, "");
static_assert(sizeof(PluginExtendedInfoStruct) == 40, "");
static_assert(offsetof(PluginExtendedInfoStruct, PluginMajorVersion) == 0, "");
static_assert(offsetof(PluginExtendedInfoStruct, PluginMinorVersion) == 4, "");
static_assert(offsetof(PluginExtendedInfoStruct, Description) == 8, "");
static_assert(offsetof(PluginExtendedInfoStruct, About) == 16, "");
static_assert(offsetof(PluginExtendedInfoStruct, FreeFrameExtendedDataSize) == 24, "");
static_assert(offsetof(PluginExtendedInfoStruct, FreeFrameExtendedDataBlock) == 32, "");
static_assert(sizeof(FFGLViewportStruct) == 16, "");
static_assert(offsetof(FFGLViewportStruct, x) == 0, "");
static_assert(offsetof(FFGLViewportStruct, y) == 4, "");
static_assert(offsetof(FFGLViewportStruct, width) == 8, "");
static_assert(offsetof(FFGLViewportStruct, height) == 12, "");
static_assert(sizeof(FFGLTextureStruct) == 20, "");
static_assert(offsetof(FFGLTextureStruct, Width) == 0, "");
static_assert(offsetof(FFGLTextureStruct, Height) == 4, "");
static_assert(offsetof(FFGLTextureStruct, HardwareWidth) == 8, "");
static_assert(offsetof(FFGLTextureStruct, HardwareHeight) == 12, "");
static_assert(offsetof(FFGLTextureStruct, Handle) == 16, "");
static_assert(sizeof(ProcessOpenGLStruct) == 24, "");
static_assert(offsetof(ProcessOpenGLStruct, numInputTextures) == 0, "");
static_assert(offsetof(ProcessOpenGLStruct, inputTextures) == 8, "");
static_assert(offsetof(ProcessOpenGLStruct, HostFBO) == 16, "");
static_assert(sizeof(SetParameterStruct) == 16, "");
static_assert(offsetof(SetParameterStruct, ParameterNumber) == 0, "");
static_assert(offsetof(SetParameterStruct, NewParameterValue) == 8, "");
static_assert(sizeof(ElementRequest) == 8, "");
static_assert(offsetof(ElementRequest, ParameterNumber) == 0, "");
static_assert(offsetof(ElementRequest, ElementNumber) == 4, "");
static_assert(sizeof(ElementValueRecord) == 12, "");
static_assert(offsetof(ElementValueRecord, ParameterNumber) == 0, "");
static_assert(offsetof(ElementValueRecord, ElementNumber) == 4, "");
static_assert(offsetof(ElementValueRecord, NewParameterValue) == 8, "");
static_assert(sizeof(BeatRecord) == 8, "");
static_assert(offsetof(BeatRecord, bpm) == 0, "");
static_assert(offsetof(BeatRecord, barPhase) == 4, "");
static_assert(sizeof(HostDetailsRecord) == 16, "");
static_assert(offsetof(HostDetailsRecord, HostName) == 0, "");
static_assert(offsetof(HostDetailsRecord, HostVersion) == 8, "");
static_assert(sizeof(RangeRecord) == 12, "");
static_assert(offsetof(RangeRecord, ParameterNumber) == 0, "");
static_assert(offsetof(RangeRecord, Min) == 4, "");
static_assert(offsetof(RangeRecord, Max) == 8, "");
static_assert(sizeof(ThumbnailRecord) == 16, "");
static_assert(offsetof(ThumbnailRecord, Width) == 0, "");
static_assert(offsetof(ThumbnailRecord, Height) == 4, "");
static_assert(offsetof(ThumbnailRecord, Pixels) == 8, "");
static_assert(sizeof(EventEntry) == 16, "");
static_assert(offsetof(EventEntry, ParameterNumber) == 0, "");
static_assert(offsetof(EventEntry, EventFlags) == 8, "");
static_assert(sizeof(EventQueryRecord) == 16, "");
static_assert(offsetof(EventQueryRecord, Count) == 0, "");
static_assert(offsetof(EventQueryRecord, Entries) == 8, "");
static_assert(sizeof(TextRequest) == 24, "");
static_assert(offsetof(TextRequest, ParameterNumber) == 0, "");
static_assert(offsetof(TextRequest, Buffer) == 8, "");
static_assert(offsetof(TextRequest, BufferSize) == 16, "");

#endif  // FFGL_ABI_H
