// The module's entry point: every host call arrives here and is routed to the
// description, the thumbnail, a parameter registry or an instance's virtual operation.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "plug_main.h"

#include "effect/thumbnail.h"
#include "framework/plugin.h"
#include "framework/plugin_description.h"
#include "gl/gl_loader.h"

namespace {

// Answers plug-in-wide parameter questions; never given GL resources or handed out.
std::unique_ptr<CFFGLPlugin> g_prototype;

// A code's answer on failure, from the code table; FF_FAIL for a code not served.
constexpr FFResult FailureValue(uint32_t code) {
    const FFFunctionInfo* info = FindFunction(code);
    return info != nullptr ? info->failure : FFResult{FF_FAIL};
}

// The full-word failure of code 18.
const FFResult kInstantiateFailed = FailureValue(FF_INSTANTIATE_GL);

FFResult PointerResult(const void* pointer) {
    return reinterpret_cast<uintptr_t>(pointer);
}

uint32_t IndexFrom(FFMixed input) {
    return static_cast<uint32_t>(input);
}

uint32_t EnsurePrototype() {
    const PluginDescription* description = PluginDescription::Current();
    if (description == nullptr) {
        return FF_FAIL;
    }
    if (InitHook hook = description->GetInitHook()) {
        const uint32_t answer = hook();
        if (answer != 0) {
            return answer;
        }
    }
    if (!g_prototype) {
        CFFGLPlugin* created = nullptr;
        const uint32_t answer = description->GetFactory()(&created);
        g_prototype.reset(created);
        if (answer == FF_FAIL || !g_prototype) {
            return FF_FAIL;
        }
    }
    return FF_SUCCESS;
}

// The lazy path: the prototype instance, created on first need; null when that fails.
CFFGLPlugin* Prototype() {
    if (!g_prototype && EnsurePrototype() != FF_SUCCESS) {
        return nullptr;
    }
    return g_prototype.get();
}

uint32_t LookUpParameterType(uint32_t index) {
    const CFFGLPlugin* prototype = Prototype();
    return prototype != nullptr ? prototype->GetParameterType(index) : FF_FAIL;
}

uint32_t GetPluginCapability(uint32_t number) {
    const CFFGLPlugin* prototype = Prototype();
    if (prototype == nullptr) {
        return FF_FAIL;
    }
    switch (number) {
        case FF_CAP_SET_TIME:
            return prototype->IsTimeSupported() ? 1 : 0;
        case FF_CAP_MINIMUM_INPUT_FRAMES:
            return static_cast<uint32_t>(std::max(prototype->GetMinimumInputs(), 0));
        case FF_CAP_MAXIMUM_INPUT_FRAMES:
            return static_cast<uint32_t>(std::max(prototype->GetMaximumInputs(), 0));
        case FF_CAP_16:
            return prototype->GetCapability16Switch() ? 1 : 0;
        default:
            return 0;
    }
}

FFResult Instantiate(const FFGLViewportStruct* viewport) {
    const PluginDescription* description = PluginDescription::Current();
    if (description == nullptr || viewport == nullptr) {
        return kInstantiateFailed;
    }
    CFFGLPlugin* prototype = Prototype();
    if (prototype == nullptr) {
        return kInstantiateFailed;
    }
    CFFGLPlugin* created = nullptr;
    const uint32_t answer = description->GetFactory()(&created);
    std::unique_ptr<CFFGLPlugin> instance(created);
    if (answer == FF_FAIL || !instance) {
        return kInstantiateFailed;
    }
    instance->self = instance.get();

    // Defaults are pushed by declared index; the count is read again on every step.
    for (uint32_t i = 0; i < prototype->GetParameterCount(); ++i) {
        const uint32_t type = prototype->GetParameterType(i);
        const FFResult defaultValue = prototype->GetParameterDefault(i);
        const uint32_t pushed =
            IsTextParameterType(type)
                ? instance->SetParamText(i, reinterpret_cast<const char*>(defaultValue))
                : instance->SetParamFloat(i, BitsToFloat(static_cast<uint32_t>(defaultValue)));
        if (pushed == FF_FAIL) {
            return kInstantiateFailed;
        }
    }

    if (!EnsureGlLoader()) {
        return kInstantiateFailed;
    }
    // An InitGL that throws has failed too: what it built is released all the same.
    uint32_t initialised = FF_FAIL;
    try {
        initialised = instance->InitGL(viewport);
    } catch (...) {
    }
    if (initialised != FF_SUCCESS) {
        instance->ReleaseGL();
        return kInstantiateFailed;
    }
    return PointerResult(instance.release());
}

FFResult Deinstantiate(CFFGLPlugin* instance) {
    if (instance->glConnected) {
        instance->OnDisconnect();
        instance->glConnected = false;
    }
    instance->ReleaseGL();
    delete instance;
    return FF_SUCCESS;
}

FFResult Deinitialise() {
    const PluginDescription* description = PluginDescription::Current();
    if (description == nullptr) {
        return FF_FAIL;
    }
    g_prototype.reset();
    if (DeinitHook hook = description->GetDeinitHook()) {
        hook();
    }
    return FF_SUCCESS;
}

FFResult ProcessFrame(CFFGLPlugin& instance, const ProcessOpenGLStruct& frame) {
    if (!instance.glConnected) {
        instance.OnConnect();
        instance.glConnected = true;
    }
    return instance.RenderFrame(&frame);
}

FFResult GetThumbnail(ThumbnailRecord& record) {
    const ThumbnailImage* thumbnail = ThumbnailImage::Current();
    if (thumbnail == nullptr) {
        record.Width = 0;
        record.Height = 0;
        return FF_FAIL;
    }
    record.Width = thumbnail->Width();
    record.Height = thumbnail->Height();
    if (record.Pixels != nullptr) {
        std::memcpy(record.Pixels, thumbnail->Pixels(),
                    size_t{thumbnail->Width()} * thumbnail->Height() * 4);
    }
    return FF_SUCCESS;
}

// Copies at most the buffer size, with no terminator: the host zero-fills its buffer.
FFResult CopyText(const std::string& text, TextRequest* request) {
    std::memcpy(request->Buffer, text.data(), std::min<size_t>(text.size(), request->BufferSize));
    return FF_SUCCESS;
}

FFResult GetParamEvents(CFFGLPlugin& instance, EventQueryRecord& query) {
    const uint32_t pending = instance.GetPendingEventCount();
    query.Count =
        query.Entries == nullptr ? pending : instance.TakePendingEvents(query.Entries, query.Count);
    return FF_SUCCESS;
}

// Answers `onFail` when the prototype instance cannot be made, else what `ask` answers.
template <typename Ask>
FFResult AskPrototype(FFResult onFail, Ask ask) {
    CFFGLPlugin* prototype = Prototype();
    return prototype != nullptr ? ask(*prototype) : onFail;
}

// The same for codes that ask the given instance's registry, or the prototype's.
template <typename Ask>
FFResult AskRegistry(CFFGLPlugin* instance, FFResult onFail, Ask ask) {
    return instance != nullptr ? ask(*instance) : AskPrototype(onFail, ask);
}

// Every record-taking code answers its failure value for a null record.
template <typename Record, typename Action>
FFResult WithRecord(FFMixed input, FFResult onNull, Action action) {
    auto* record = reinterpret_cast<Record*>(static_cast<uintptr_t>(input));
    return record != nullptr ? action(*record) : onNull;
}

// Codes 50 and 51 also refuse a zero-sized buffer before asking anything.
template <typename Action>
FFResult WithTextRequest(FFMixed input, Action action) {
    return WithRecord<TextRequest>(input, FF_FAIL, [&](TextRequest& request) {
        return request.BufferSize != 0 ? action(request) : FFResult{FF_FAIL};
    });
}

FFResult SetParameter(CFFGLPlugin& instance, const SetParameterStruct& record) {
    const uint32_t index = record.ParameterNumber;
    return IsTextParameterType(LookUpParameterType(index))
               ? instance.SetParamText(index, record.NewParameterValue.TextValue)
               : instance.SetParamFloat(index, record.NewParameterValue.FloatValue);
}

FFResult GetParameter(CFFGLPlugin& instance, uint32_t index) {
    return IsTextParameterType(LookUpParameterType(index))
               ? PointerResult(instance.GetParamText(index))
               : FloatToBits(instance.GetParamFloat(index));
}

FFResult Connect(CFFGLPlugin& instance) {
    const uint32_t answer = instance.OnConnect();
    if (answer == FF_SUCCESS) {
        instance.glConnected = true;
    }
    return answer;
}

FFResult Disconnect(CFFGLPlugin& instance) {
    const uint32_t answer = instance.OnDisconnect();
    if (answer == FF_SUCCESS) {
        instance.glConnected = false;
    }
    return answer;
}

FFResult EnablePluginCapability(CFFGLPlugin& instance, uint32_t capability) {
    if (capability == FF_CAP_16) {
        const CFFGLPlugin* prototype = Prototype();
        if (prototype != nullptr && prototype->GetCapability16Switch()) {
            instance.EnableCapability16();
        }
    }
    return FF_FAIL;  // the answer even when the capability was enabled
}

FFResult GetRange(RangeRecord& record) {
    return AskPrototype(FF_FAIL, [&](CFFGLPlugin& p) {
        const ParameterRange range = p.GetParameterRange(record.ParameterNumber);
        record.Min = range.min;
        record.Max = range.max;
        return FFResult{FF_SUCCESS};
    });
}

// Parameter questions asked of the prototype's registry or, for the four codes that take
// an optional instance, of the given instance's registry. Unknown codes answer FF_FAIL.
FFResult AskParameterQuestion(uint32_t code, FFMixed input, CFFGLPlugin* instance) {
    using Plugin = CFFGLPlugin;
    const uint32_t number = IndexFrom(input);  // parameter index
    const FFResult fail = FailureValue(code);
    switch (code) {
        case FF_GET_NUM_PARAMETERS:
            return AskPrototype(fail, [](Plugin& p) { return p.GetParameterCount(); });
        case FF_GET_PARAMETER_NAME:
            return AskPrototype(
                fail, [&](Plugin& p) { return PointerResult(p.GetParameterName(number)); });
        case FF_GET_PARAMETER_DEFAULT:
            return AskPrototype(fail, [&](Plugin& p) { return p.GetParameterDefault(number); });
        case FF_GET_PARAMETER_USAGE:
            return AskPrototype(fail, [&](Plugin& p) { return p.GetParameterUsage(number); });
        case FF_GET_PLUGIN_SHORT_NAME:
            return AskPrototype(fail,
                                [](Plugin& p) { return PointerResult(p.GetPluginShortName()); });
        case FF_GET_NUM_FILE_PARAMETER_EXTENSIONS:
            return AskPrototype(fail, [&](Plugin& p) { return p.GetFileExtensionCount(number); });
        case FF_GET_NUM_ELEMENT_SEPARATORS:
            return AskPrototype(fail, [&](Plugin& p) { return p.GetSeparatorCount(number); });
        case FF_GET_FILE_PARAMETER_EXTENSION:
            return WithRecord<const ElementRequest>(input, fail, [&](auto& r) {
                return AskPrototype(fail, [&](Plugin& p) {
                    return PointerResult(p.GetFileExtension(r.ParameterNumber, r.ElementNumber));
                });
            });
        case FF_GET_ELEMENT_SEPARATOR:
            return WithRecord<const ElementRequest>(input, fail, [&](auto& r) {
                return AskPrototype(fail, [&](Plugin& p) {
                    return p.GetSeparator(r.ParameterNumber, r.ElementNumber);
                });
            });
        case FF_GET_PARAM_GROUP:
            return WithTextRequest(input, [&](TextRequest& r) {
                return AskPrototype(fail, [&](Plugin& p) {
                    return CopyText(p.GetParameterGroup(r.ParameterNumber), &r);
                });
            });
        case FF_GET_NUM_PARAMETER_ELEMENTS:
            return AskRegistry(instance, fail,
                               [&](Plugin& p) { return p.GetElementCount(number); });
        case FF_GET_PARAM_VISIBILITY:
            return AskRegistry(instance, fail,
                               [&](Plugin& p) { return p.GetParameterVisible(number); });
        case FF_GET_PARAMETER_ELEMENT_NAME:
            return WithRecord<const ElementRequest>(input, fail, [&](auto& r) {
                return AskRegistry(instance, fail, [&](Plugin& p) {
                    return PointerResult(p.GetElementName(r.ParameterNumber, r.ElementNumber));
                });
            });
        case FF_GET_PARAMETER_ELEMENT_VALUE:
            return WithRecord<const ElementRequest>(input, fail, [&](auto& r) {
                return AskRegistry(instance, fail, [&](Plugin& p) {
                    return p.GetElementValue(r.ParameterNumber, r.ElementNumber);
                });
            });
        default:
            return FF_FAIL;
    }
}

// The codes that ask about the plug-in rather than about one instance: the description,
// the thumbnail, the lifecycle codes, then the parameter questions.
FFResult DispatchPluginWide(uint32_t code, FFMixed input, CFFGLPlugin* instance) {
    const uint32_t number = IndexFrom(input);  // index or capability
    const FFResult fail = FailureValue(code);
    const PluginDescription* description = PluginDescription::Current();
    switch (code) {
        case FF_GET_INFO:
            return description != nullptr ? PointerResult(description->GetInfoRecord()) : fail;
        case FF_GET_EXTENDED_INFO:
            return description != nullptr ? PointerResult(description->GetExtendedInfoRecord())
                                          : fail;
        case FF_DEINITIALISE:
            return Deinitialise();
        case FF_INITIALISE_V2:
            return EnsurePrototype();
        case FF_INSTANTIATE_GL:
            return WithRecord<const FFGLViewportStruct>(
                input, fail, [](auto& viewport) { return Instantiate(&viewport); });
        case FF_GET_PLUGIN_CAPS:
            return GetPluginCapability(number);
        case FF_GET_PARAMETER_TYPE:
            return LookUpParameterType(number);
        case FF_GET_THUMBNAIL:
            return WithRecord<ThumbnailRecord>(input, fail, GetThumbnail);
        case FF_GET_RANGE:
            return WithRecord<RangeRecord>(input, fail, GetRange);
        default:
            return AskParameterQuestion(code, input, instance);
    }
}

// The codes that act on one instance the host holds. Unknown codes answer FF_FAIL.
FFResult DispatchInstance(uint32_t code, FFMixed input, CFFGLPlugin& instance) {
    const uint32_t number = IndexFrom(input);  // index, channel, capability or rate
    const FFResult fail = FailureValue(code);
    switch (code) {
        case FF_GET_PARAMETER_DISPLAY:
            return PointerResult(instance.GetParamDisplay(number));
        case FF_SET_PARAMETER:
            return WithRecord<const SetParameterStruct>(
                input, fail, [&](auto& record) { return SetParameter(instance, record); });
        case FF_GET_PARAMETER:
            return GetParameter(instance, number);
        case FF_GET_INPUT_STATUS:
            return instance.GetInputState(number);
        case FF_PROCESS_OPENGL:
            return WithRecord<const ProcessOpenGLStruct>(
                input, fail, [&](auto& frame) { return ProcessFrame(instance, frame); });
        case FF_DEINSTANTIATE_GL:
            return Deinstantiate(&instance);
        case FF_SET_TIME:
            return WithRecord<const double>(
                input, fail, [&](double seconds) { return instance.SetHostTime(seconds); });
        case FF_CONNECT:
            return Connect(instance);
        case FF_DISCONNECT:
            return Disconnect(instance);
        case FF_RESIZE:
            return WithRecord<const FFGLViewportStruct>(
                input, fail, [&](auto& viewport) { return instance.OnResize(&viewport); });
        case FF_SET_PARAMETER_ELEMENT_VALUE:
            return WithRecord<const ElementValueRecord>(input, fail, [&](auto& r) {
                return instance.SetElementValue(r.ParameterNumber, r.ElementNumber,
                                                r.NewParameterValue);
            });
        case FF_SET_BEATINFO:
            return WithRecord<const BeatRecord>(input, fail, [&](auto& beat) {
                instance.SetBeat(beat.bpm, beat.barPhase);
                return FFResult{FF_SUCCESS};
            });
        case FF_SET_HOSTINFO:
            return WithRecord<const HostDetailsRecord>(input, fail, [&](auto& details) {
                instance.SetHostDetails(details.HostName, details.HostVersion);
                return FFResult{FF_SUCCESS};
            });
        case FF_SET_SAMPLERATE:
            instance.SetAudioRate(number);
            return FF_SUCCESS;
        case FF_GET_PARAM_EVENTS:
            return WithRecord<EventQueryRecord>(
                input, fail, [&](auto& query) { return GetParamEvents(instance, query); });
        case FF_ENABLE_PLUGIN_CAP:
            return EnablePluginCapability(instance, number);
        case FF_GET_PARAM_DISPLAY_NAME:
            return WithTextRequest(input, [&](TextRequest& r) {
                return CopyText(instance.GetParameterDisplayName(r.ParameterNumber), &r);
            });
        default:
            return FF_FAIL;  // not supported
    }
}

// Whether a code acts on one instance and so needs the handle code 18 answered.
bool IsInstanceCode(uint32_t code) {
    const FFFunctionInfo* info = FindFunction(code);
    return info != nullptr && info->needsInstance;
}

FFResult Dispatch(uint32_t functionCode, FFMixed input, FFInstanceID instanceHandle) {
    auto* instance = static_cast<CFFGLPlugin*>(instanceHandle);
    if (!IsInstanceCode(functionCode)) {
        return DispatchPluginWide(functionCode, input, instance);
    }
    return instance != nullptr ? DispatchInstance(functionCode, input, *instance) : FF_FAIL;
}

}  // namespace

// No exception may unwind into the host, which is not C++ and could not catch it: a call
// that runs out of memory (while making the prototype, an instance or a text copy) answers
// its code's failure value instead. Owners are scoped, so nothing is left behind.
extern "C" FFResult plugMain(uint32_t functionCode, FFMixed input, FFInstanceID instanceHandle) {
    try {
        return Dispatch(functionCode, input, instanceHandle);
    } catch (...) {
        return FailureValue(functionCode);
    }
}
