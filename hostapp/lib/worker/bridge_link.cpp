#include "bridge_link.h"

#include <cctype>
#include <cstring>

#include "lib/host_error.h"

namespace ffglhost {

std::string FormatBridgeLink(const BridgeLink& link) {
    for (const std::string* path : {&link.plugin, &link.worker}) {
        if (path->find_first_of("\n\r", 0) != std::string::npos ||
            path->find('\0') != std::string::npos) {
            throw HostError("a path with a line break cannot be stored in a frei0r module");
        }
    }
    std::string text = std::string(kBridgeLinkMarker) + "plugin=" + link.plugin + "\n" +
                       "worker=" + link.worker + "\n";
    if (text.size() >= kBridgeLinkBytes) {
        throw HostError("the plug-in's and worker's paths are too long for a frei0r module");
    }
    text.resize(kBridgeLinkBytes, '\0');
    return text;
}

BridgeLink ParseBridgeLink(const char* block) {
    size_t length = 0;
    while (length < kBridgeLinkBytes && block[length] != '\0') {
        ++length;
    }
    const std::string text(block, length);
    BridgeLink link;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        if (line.rfind("plugin=", 0) == 0) {
            link.plugin = line.substr(7);
        } else if (line.rfind("worker=", 0) == 0) {
            link.worker = line.substr(7);
        }
        start = end + 1;
    }
    return link;
}

std::string Frei0rModuleName(const std::string& pluginName) {
    std::string name;
    for (const char c : pluginName) {
        const auto byte = static_cast<unsigned char>(c);
        name +=
            std::isalnum(byte) != 0 && byte < 0x80 ? static_cast<char>(std::tolower(byte)) : '_';
    }
    return name.find_first_not_of('_') == std::string::npos ? "ffgl_plugin" : name;
}

}  // namespace ffglhost
