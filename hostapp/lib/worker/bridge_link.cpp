#include "bridge_link.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

#include "lib/host_error.h"

namespace ffglhost {

namespace {

// Texts go on one line each: backslash, line breaks and tabs are escaped.
std::string Escape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\0':
                out += "\\0";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c == '0' ? '\0' : c;
    }
    return out;
}

std::string Number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

// "index type isText min max default\tname\tdefault text"
std::string ParameterLine(const ParameterReport& p) {
    return "param=" + std::to_string(p.index) + " " + std::to_string(p.type) + " " +
           (p.isText ? "1" : "0") + " " + Number(p.min) + " " + Number(p.max) + " " +
           Number(p.defaultValue) + "\t" + Escape(p.name) + "\t" + Escape(p.defaultText) + "\n";
}

bool ReadParameter(const std::string& value, ParameterReport& p) {
    const size_t tab = value.find('\t');
    const size_t tab2 = tab == std::string::npos ? tab : value.find('\t', tab + 1);
    if (tab2 == std::string::npos) {
        return false;
    }
    unsigned index = 0;
    unsigned type = 0;
    int isText = 0;
    float numbers[3] = {};
    if (std::sscanf(value.substr(0, tab).c_str(), "%u %u %d %f %f %f", &index, &type, &isText,
                    &numbers[0], &numbers[1], &numbers[2]) != 6) {
        return false;
    }
    p.index = index;
    p.type = type;
    p.isText = isText != 0;
    p.min = numbers[0];
    p.max = numbers[1];
    p.defaultValue = numbers[2];
    p.name = Unescape(value.substr(tab + 1, tab2 - tab - 1));
    p.defaultText = Unescape(value.substr(tab2 + 1));
    return true;
}

}  // namespace

std::string FormatBridgeLink(const BridgeLink& link) {
    for (const std::string* path : {&link.plugin, &link.worker}) {
        if (path->find_first_of("\n\r", 0) != std::string::npos ||
            path->find('\0') != std::string::npos) {
            throw HostError("a path with a line break cannot be stored in a frei0r module");
        }
    }
    std::string text = std::string(kBridgeLinkMarker) + "plugin=" + link.plugin + "\n" +
                       "worker=" + link.worker + "\n";
    if (link.pluginBytes != 0) {
        text += "file=" + std::to_string(link.pluginBytes) + " " +
                std::to_string(link.pluginNanoseconds) + "\n";
    }
    if (link.described) {
        const PluginReport& r = link.report;
        text += "type=" + std::to_string(r.type) + "\nid=" + Escape(r.id) +
                "\nname=" + Escape(r.name) + "\nversion=" + std::to_string(r.versionMajor) + " " +
                std::to_string(r.versionMinor) + "\ndescription=" + Escape(r.description) +
                "\nabout=" + Escape(r.about) + "\n";
        if (r.inputsKnown) {
            text += "inputs=" + std::to_string(r.minimumInputs) + " " +
                    std::to_string(r.maximumInputs) + "\n";
        }
        for (const ParameterReport& parameter : r.parameters) {
            text += ParameterLine(parameter);
        }
        text += "end\n";
    }
    if (text.size() >= kBridgeLinkBytes) {
        throw HostError("the plug-in's paths and description are too long for a frei0r module (" +
                        std::to_string(text.size()) + " bytes, at most " +
                        std::to_string(kBridgeLinkBytes - 1) + ")");
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
    bool broken = false;
    bool ended = false;
    bool typed = false;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            ended = ended || line == "end";
            continue;
        }
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        PluginReport& r = link.report;
        if (key == "plugin") {
            link.plugin = value;
        } else if (key == "worker") {
            link.worker = value;
        } else if (key == "file") {
            broken |= std::sscanf(value.c_str(), "%" SCNu64 " %" SCNd64, &link.pluginBytes,
                                  &link.pluginNanoseconds) != 2;
        } else if (key == "type") {
            r.type = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
            typed = true;
        } else if (key == "id") {
            r.id = Unescape(value);
        } else if (key == "name") {
            r.name = Unescape(value);
        } else if (key == "version") {
            broken |= std::sscanf(value.c_str(), "%u %u", &r.versionMajor, &r.versionMinor) != 2;
        } else if (key == "description") {
            r.description = Unescape(value);
        } else if (key == "about") {
            r.about = Unescape(value);
        } else if (key == "inputs") {
            r.inputsKnown =
                std::sscanf(value.c_str(), "%u %u", &r.minimumInputs, &r.maximumInputs) == 2;
            broken |= !r.inputsKnown;
        } else if (key == "param") {
            ParameterReport parameter;
            broken |= !ReadParameter(value, parameter);
            r.parameters.push_back(parameter);
        }
    }
    link.described = typed && ended && !broken;
    if (!link.described) {
        link.report = PluginReport();
    }
    return link;
}

std::string DescribeChanges(const PluginReport& before, const PluginReport& now) {
    std::vector<std::string> changes;
    auto quoted = [](const std::string& text) { return "\"" + text + "\""; };
    if (before.name != now.name) {
        changes.push_back("named " + quoted(now.name) + " (was " + quoted(before.name) + ")");
    }
    if (before.type != now.type) {
        changes.push_back("of type " + std::to_string(now.type) + " (was " +
                          std::to_string(before.type) + ")");
    }
    const size_t common = std::min(before.parameters.size(), now.parameters.size());
    for (size_t i = 0; i < common; ++i) {
        const ParameterReport& a = before.parameters[i];
        const ParameterReport& b = now.parameters[i];
        const std::string which = "parameter " + std::to_string(i + 1);
        if (a.name != b.name) {
            changes.push_back(which + " is " + quoted(b.name) + " (was " + quoted(a.name) + ")");
        }
        if (a.type != b.type || a.isText != b.isText) {
            changes.push_back(which + " is of type " + std::to_string(b.type) + " (was " +
                              std::to_string(a.type) + ")");
        }
        if (a.min != b.min || a.max != b.max) {
            changes.push_back(which + " ranges " + Number(b.min) + " to " + Number(b.max) +
                              " (was " + Number(a.min) + " to " + Number(a.max) + ")");
        }
        if (a.defaultValue != b.defaultValue || a.defaultText != b.defaultText) {
            changes.push_back(which + " has another default");
        }
    }
    if (before.parameters.size() != now.parameters.size()) {
        const size_t count = now.parameters.size();
        changes.push_back(std::to_string(count) + (count == 1 ? " parameter" : " parameters") +
                          " (was " + std::to_string(before.parameters.size()) + ")");
    }
    std::string joined;
    for (const std::string& change : changes) {
        joined += (joined.empty() ? "" : ", ") + change;
    }
    return joined;
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
