#include "plugin_manager.h"

#include <algorithm>

CFFGLPluginManager::CFFGLPluginManager(bool capability16Switch)
    : capability16Switch_(capability16Switch) {}

CFFGLPluginManager::~CFFGLPluginManager() = default;

void CFFGLPluginManager::DeclareParameter(uint32_t index, const char* name, uint32_t type,
                                          float defaultValue) {
    ParameterDefinition definition;
    definition.index = index;
    definition.elements.resize(1);
    definition.name = name;
    definition.type = type;
    definition.defaultValue =
        type == FF_TYPE_STANDARD ? std::max(0.0f, std::min(1.0f, defaultValue)) : defaultValue;
    parameters_.push_back(std::move(definition));
}

const ParameterDefinition* CFFGLPluginManager::FindParameter(uint32_t index) const {
    for (const ParameterDefinition& definition : parameters_) {
        if (definition.index == index) {
            return &definition;
        }
    }
    return nullptr;
}

ParameterDefinition* CFFGLPluginManager::FindParameter(uint32_t index) {
    return const_cast<ParameterDefinition*>(
        static_cast<const CFFGLPluginManager*>(this)->FindParameter(index));
}

uint32_t CFFGLPluginManager::GetParameterCount() const {
    return static_cast<uint32_t>(parameters_.size());
}

const char* CFFGLPluginManager::GetParameterName(uint32_t index) const {
    const ParameterDefinition* p = FindParameter(index);
    return p ? p->name.c_str() : nullptr;
}

uint32_t CFFGLPluginManager::GetParameterType(uint32_t index) const {
    const ParameterDefinition* p = FindParameter(index);
    return p ? p->type : FF_FAIL;
}

FFResult CFFGLPluginManager::GetParameterDefault(uint32_t index) const {
    const ParameterDefinition* p = FindParameter(index);
    if (p == nullptr) {
        return FF_FAIL;
    }
    if (IsTextParameterType(p->type)) {
        return reinterpret_cast<uintptr_t>(p->defaultText.c_str());
    }
    return FloatToBits(p->defaultValue);
}

uint32_t CFFGLPluginManager::GetElementCount(uint32_t index) const {
    const ParameterDefinition* p = FindParameter(index);
    return p ? static_cast<uint32_t>(p->elements.size()) : FF_FAIL;
}

const char* CFFGLPluginManager::GetElementName(uint32_t index, uint32_t position) const {
    const ParameterDefinition* p = FindParameter(index);
    if (p == nullptr || position >= p->elements.size()) {
        return nullptr;
    }
    return p->elements[position].name.c_str();
}

uint32_t CFFGLPluginManager::GetElementValue(uint32_t index, uint32_t position) const {
    const ParameterDefinition* p = FindParameter(index);
    if (p == nullptr || position >= p->elements.size()) {
        return FF_FAIL;
    }
    return FloatToBits(p->elements[position].value);
}

uint32_t CFFGLPluginManager::SetElementValue(uint32_t index, uint32_t position, float value) {
    ParameterDefinition* p = FindParameter(index);
    if (p == nullptr || position >= p->elements.size()) {
        return FF_FAIL;
    }
    p->elements[position].value = value;
    return FF_SUCCESS;
}

ParameterRange CFFGLPluginManager::GetParameterRange(uint32_t index) const {
    const ParameterDefinition* p = FindParameter(index);
    return p ? ParameterRange{p->rangeMin, p->rangeMax} : ParameterRange{0.0f, 1.0f};
}

uint32_t CFFGLPluginManager::GetParameterUsage(uint32_t index) const {
    const ParameterDefinition* p = FindParameter(index);
    return p ? p->usage : FF_FAIL;
}

uint32_t CFFGLPluginManager::GetFileExtensionCount(uint32_t index) const {
    const ParameterDefinition* p = FindParameter(index);
    return p ? static_cast<uint32_t>(p->fileExtensions.size()) : 0;
}

const char* CFFGLPluginManager::GetFileExtension(uint32_t index, uint32_t position) const {
    const ParameterDefinition* p = FindParameter(index);
    if (p == nullptr || position >= p->fileExtensions.size()) {
        return nullptr;
    }
    return p->fileExtensions[position].c_str();
}

uint32_t CFFGLPluginManager::GetParameterVisible(uint32_t index) const {
    const ParameterDefinition* p = FindParameter(index);
    return p ? p->visible : FF_FAIL;
}

uint32_t CFFGLPluginManager::GetSeparatorCount(uint32_t index) const {
    const ParameterDefinition* p = FindParameter(index);
    return p ? static_cast<uint32_t>(p->separators.size()) : 0;
}

uint32_t CFFGLPluginManager::GetSeparator(uint32_t index, uint32_t position) const {
    const ParameterDefinition* p = FindParameter(index);
    if (p == nullptr || position >= p->separators.size()) {
        return FF_FAIL;
    }
    return p->separators[position];
}

std::string CFFGLPluginManager::GetParameterGroup(uint32_t index) const {
    const ParameterDefinition* p = FindParameter(index);
    return p ? p->group : std::string();
}

std::string CFFGLPluginManager::GetParameterDisplayName(uint32_t index) const {
    const ParameterDefinition* p = FindParameter(index);
    return p ? p->displayName : std::string();
}

uint32_t CFFGLPluginManager::GetPendingEventCount() const {
    return static_cast<uint32_t>(
        std::count_if(parameters_.begin(), parameters_.end(),
                      [](const ParameterDefinition& p) { return p.pendingEvents != 0; }));
}

uint32_t CFFGLPluginManager::TakePendingEvents(EventEntry* entries, uint32_t capacity) {
    uint32_t written = 0;
    for (ParameterDefinition& p : parameters_) {
        if (written >= capacity) {
            break;
        }
        if (p.pendingEvents != 0) {
            entries[written].ParameterNumber = p.index;
            entries[written].EventFlags = p.pendingEvents;
            p.pendingEvents = 0;
            ++written;
        }
    }
    return written;
}
