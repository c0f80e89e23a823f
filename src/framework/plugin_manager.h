// The per-instance parameter registry: the declared parameters and the plug-in-wide
// capability answers, and a lookup for every parameter question a host can ask.
#ifndef QUELLIX_FRAMEWORK_PLUGIN_MANAGER_H
#define QUELLIX_FRAMEWORK_PLUGIN_MANAGER_H

#include <string>
#include <vector>

#include "ffgl/abi.h"

struct ParameterElement {
    std::string name;
    float value = 0.0f;
};

struct ParameterDefinition {
    uint32_t index = 0;
    std::string name;
    std::string displayName;
    uint32_t type = 0;
    std::vector<ParameterElement> elements;
    std::vector<uint32_t> separators;
    uint32_t usage = 0;
    uint8_t visible = 1;
    float rangeMin = 0.0f;
    float rangeMax = 1.0f;
    float defaultValue = 0.0f;
    std::string defaultText;
    std::vector<std::string> fileExtensions;
    uint64_t pendingEvents = 0;
    std::string group;
};

struct ParameterRange {
    float min;
    float max;
};

class CFFGLPluginManager {
  public:
    explicit CFFGLPluginManager(bool capability16Switch);
    virtual ~CFFGLPluginManager();

    // Appends a definition; a repeated index is kept, but lookups find the first.
    void DeclareParameter(uint32_t index, const char* name, uint32_t type, float defaultValue);
    void SetMinimumInputs(int32_t count) { minimumInputs_ = count; }
    void SetMaximumInputs(int32_t count) { maximumInputs_ = count; }

    int32_t GetMinimumInputs() const { return minimumInputs_; }
    int32_t GetMaximumInputs() const { return maximumInputs_; }
    bool IsTimeSupported() const { return timeSupported_; }
    bool GetCapability16Switch() const { return capability16Switch_; }
    uint32_t IsCapability16Enabled() const { return capability16Enabled_; }
    void EnableCapability16() { capability16Enabled_ = 1; }

    // Lookups by declared index; each has its own answer for an absent index.
    uint32_t GetParameterCount() const;
    const char* GetParameterName(uint32_t index) const;                        // null
    uint32_t GetParameterType(uint32_t index) const;                           // FF_FAIL
    FFResult GetParameterDefault(uint32_t index) const;                        // FF_FAIL
    uint32_t GetElementCount(uint32_t index) const;                            // FF_FAIL
    const char* GetElementName(uint32_t index, uint32_t position) const;       // null
    uint32_t GetElementValue(uint32_t index, uint32_t position) const;         // FF_FAIL
    uint32_t SetElementValue(uint32_t index, uint32_t position, float value);  // FF_FAIL
    ParameterRange GetParameterRange(uint32_t index) const;                    // 0..1
    uint32_t GetParameterUsage(uint32_t index) const;                          // FF_FAIL
    uint32_t GetFileExtensionCount(uint32_t index) const;                      // 0
    const char* GetFileExtension(uint32_t index, uint32_t position) const;     // null
    uint32_t GetParameterVisible(uint32_t index) const;                        // FF_FAIL
    uint32_t GetSeparatorCount(uint32_t index) const;                          // 0
    uint32_t GetSeparator(uint32_t index, uint32_t position) const;            // FF_FAIL
    std::string GetParameterGroup(uint32_t index) const;                       // empty
    std::string GetParameterDisplayName(uint32_t index) const;                 // empty

    uint32_t GetPendingEventCount() const;
    // Writes at most `capacity` entries, clears the events it wrote and answers the count.
    uint32_t TakePendingEvents(EventEntry* entries, uint32_t capacity);

  protected:
    // The definition with this index, first declaration first; null when absent. Lets
    // derived classes and tests reach the stored definitions.
    const ParameterDefinition* FindParameter(uint32_t index) const;
    ParameterDefinition* FindParameter(uint32_t index);
    std::vector<ParameterDefinition>& Parameters() { return parameters_; }

  private:
    std::vector<ParameterDefinition> parameters_;
    int32_t minimumInputs_ = 0;
    int32_t maximumInputs_ = 0;
    bool timeSupported_ = true;
    bool capability16Switch_;
    uint32_t capability16Enabled_ = 0;
};

#endif  // QUELLIX_FRAMEWORK_PLUGIN_MANAGER_H
