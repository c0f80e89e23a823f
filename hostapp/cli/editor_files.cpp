#include "editor_files.h"

#include <cctype>
#include <cstdio>
#include <vector>

#include "lib/plugin/parameter_values.h"

using ffglhost::ParameterReport;
using ffglhost::PluginReport;

namespace {

enum class Kind { kNumber, kSwitch, kText };

Kind KindOf(const ParameterReport& parameter) {
    if (parameter.isText) {
        return Kind::kText;
    }
    return ffglhost::IsSwitch(parameter) ? Kind::kSwitch : Kind::kNumber;
}

// The default as the frei0r module takes it: its place on the 0..1 slider.
double Default01(const ParameterReport& parameter) {
    return ffglhost::ParameterValues({parameter}).Slider(0);
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string Xml(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\n':
                out += "&#10;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// A JavaScript string literal in single quotes.
std::string Js(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        if (c == '\\' || c == '\'') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (static_cast<unsigned char>(c) >= 0x20) {
            out += c;
        }
    }
    return out + "'";
}

// One line for a QML comment or a Kdenlive name.
std::string OneLine(const std::string& text) {
    std::string out;
    for (const char c : text) {
        out += c == '\n' || c == '\r' ? ' ' : c;
    }
    return out;
}

std::string RangeNote(const ParameterReport& parameter) {
    if (KindOf(parameter) != Kind::kNumber || (parameter.min == 0.0f && parameter.max == 1.0f)) {
        return "";
    }
    return " (" + Number(parameter.min) + " to " + Number(parameter.max) + ")";
}

}  // namespace

std::string ShotcutObjectName(const std::string& pluginName) {
    std::string name = "frei0r";
    bool upper = true;
    for (const char c : pluginName) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) == 0 || byte >= 0x80) {
            upper = true;
            continue;
        }
        name += upper ? static_cast<char>(std::toupper(byte)) : c;
        upper = false;
    }
    return name;
}

std::string KdenliveEffect(const PluginReport& report, const std::string& module) {
    const std::string tag = "frei0r." + module;
    std::string xml =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE kpartgui>\n<!-- Written by ffgl-host "
        "frei0r from the plug-in's description. -->\n";
    xml += "<effect tag=\"" + Xml(tag) + "\" id=\"" + Xml(tag) + "\" type=\"video\">\n";
    xml += "  <name>" + Xml(OneLine(report.name)) + "</name>\n";
    xml += "  <description>" + Xml(report.description) + "</description>\n";
    xml += "  <author>" + Xml(OneLine(report.about.empty() ? report.name : report.about)) +
           "</author>\n";
    for (const ParameterReport& p : report.parameters) {
        const std::string name = Xml(p.name);
        switch (KindOf(p)) {
            case Kind::kNumber:
                xml += "  <parameter type=\"animated\" name=\"" + name + "\" default=\"" +
                       Number(Default01(p)) + "\" min=\"0\" max=\"1000\" factor=\"1000\">\n";
                break;
            case Kind::kSwitch:
                xml += "  <parameter type=\"bool\" name=\"" + name + "\" default=\"" +
                       (Default01(p) >= 0.5 ? "1" : "0") + "\">\n";
                break;
            case Kind::kText:
                xml += "  <parameter type=\"keywords\" name=\"" + name + "\" default=\"" +
                       Xml(p.defaultText) + "\">\n";
                break;
        }
        xml += "    <name>" + Xml(OneLine(p.name) + RangeNote(p)) + "</name>\n  </parameter>\n";
    }
    return xml + "</effect>\n";
}

std::string ShotcutMeta(const PluginReport& report, const std::string& module) {
    std::string qml = "// Shotcut's description of the FFGL plug-in " + OneLine(report.name) +
                      " through its frei0r module.\n// Written by ffgl-host frei0r from the "
                      "plug-in's description.\nimport QtQuick 2.0\nimport org.shotcut.qml 1.0\n\n"
                      "Metadata {\n    type: Metadata.Filter\n";
    qml += "    objectName: " + Js(ShotcutObjectName(report.name)) + "\n";
    qml += "    name: " + Js(report.name) + "\n";
    qml += "    mlt_service: " + Js("frei0r." + module) + "\n";
    qml += "    keywords: " + Js(OneLine(report.description)) + "\n";
    qml +=
        "    qml: 'ui.qml'\n\n    keyframes {\n        allowAnimateIn: true\n"
        "        allowAnimateOut: true\n";
    std::string simple;
    std::string parameters;
    for (size_t i = 0; i < report.parameters.size(); ++i) {
        const ParameterReport& p = report.parameters[i];
        if (KindOf(p) != Kind::kNumber) {
            continue;
        }
        const std::string property = Js(std::to_string(i));
        simple += (simple.empty() ? "" : ", ") + property;
        parameters += std::string(parameters.empty() ? "" : ",\n") +
                      "            Parameter {\n                name: " + Js(p.name) +
                      "\n                property: " + property +
                      "\n                isCurve: true\n                minimum: 0\n"
                      "                maximum: 1\n            }";
    }
    qml += "        simpleProperties: [" + simple + "]\n        parameters: [\n" + parameters +
           "\n        ]\n    }\n}\n";
    return qml;
}

std::string ShotcutUi(const PluginReport& report) {
    std::vector<std::string> numbers;   // properties
    std::vector<std::string> defaults;  // 0..1
    std::string rows;
    std::string set;     // setControls
    std::string update;  // updateSimpleKeyframes
    std::string enable;  // enableControls
    std::string fresh;   // defaults set on a new filter
    for (size_t i = 0; i < report.parameters.size(); ++i) {
        const ParameterReport& p = report.parameters[i];
        const std::string n = std::to_string(i);
        const std::string property = Js(n);
        const std::string value = Number(Default01(p));
        rows += "        Label {\n            text: " + Js(p.name + RangeNote(p)) +
                "\n            Layout.alignment: Qt.AlignRight\n        }\n";
        switch (KindOf(p)) {
            case Kind::kNumber:
                numbers.push_back(property);
                defaults.push_back(value);
                fresh += "            filter.set(" + property + ", " + value + ")\n";
                set += "        slider" + n + ".value = filter.getDouble(" + property +
                       ", position) * 100\n        keyframes" + n +
                       ".checked = filter.animateIn <= 0 && filter.animateOut <= 0 && "
                       "filter.keyframeCount(" +
                       property + ") > 0\n";
                update += "        updateFilter(" + property + ", slider" + n +
                          ".value / 100, keyframes" + n + ", null)\n";
                enable += "        slider" + n + ".enabled = enabled\n";
                rows += "        Shotcut.SliderSpinner {\n            id: slider" + n +
                        "\n            minimumValue: 0\n            maximumValue: 100\n"
                        "            stepSize: 0.1\n            decimals: 1\n"
                        "            suffix: ' %'\n            onValueChanged: updateFilter(" +
                        property + ", value / 100, keyframes" + n +
                        ", getPosition())\n        }\n        Shotcut.UndoButton {\n"
                        "            onClicked: slider" +
                        n + ".value = " + value +
                        " * 100\n        }\n        Shotcut.KeyframesButton {\n"
                        "            id: keyframes" +
                        n +
                        "\n            onToggled: {\n                enableControls(true)\n"
                        "                toggleKeyframes(checked, " +
                        property + ", slider" + n + ".value / 100)\n            }\n        }\n";
                break;
            case Kind::kSwitch:
                fresh += "            filter.set(" + property + ", " +
                         (Default01(p) >= 0.5 ? "1" : "0") + ")\n";
                set +=
                    "        check" + n + ".checked = filter.getDouble(" + property + ") >= 0.5\n";
                rows += "        CheckBox {\n            id: check" + n +
                        "\n            Layout.columnSpan: 3\n            onClicked: "
                        "filter.set(" +
                        property + ", checked ? 1 : 0)\n        }\n";
                break;
            case Kind::kText:
                fresh += "            filter.set(" + property + ", " + Js(p.defaultText) + ")\n";
                set += "        text" + n + ".text = filter.get(" + property + ")\n";
                rows += "        TextField {\n            id: text" + n +
                        "\n            Layout.columnSpan: 3\n            Layout.fillWidth: true\n"
                        "            onEditingFinished: filter.set(" +
                        property + ", text)\n        }\n";
                break;
        }
    }
    std::string all;
    for (size_t i = 0; i < report.parameters.size(); ++i) {
        all += (i == 0 ? "" : ", ") + Js(std::to_string(i));
    }
    auto join = [](const std::vector<std::string>& items) {
        std::string out;
        for (const std::string& item : items) {
            out += (out.empty() ? "" : ", ") + item;
        }
        return out;
    };
    std::string qml =
        "// The controls of the FFGL plug-in " + OneLine(report.name) +
        ": each numeric parameter in percent of its range\n// (the filter takes 0..1), with "
        "keyframes. Written by ffgl-host frei0r from the plug-in's description.\n"
        "import QtQuick 2.12\nimport QtQuick.Controls 2.12\nimport QtQuick.Layouts 1.12\n"
        "import Shotcut.Controls 1.0 as Shotcut\n\nShotcut.KeyframableFilter {\n"
        "    keyframableParameters: [" +
        join(numbers) + "]\n    startValues: [" + join(defaults) + "]\n    middleValues: [" +
        join(defaults) + "]\n    endValues: [" + join(defaults) +
        "]\n    width: 350\n    height: " + std::to_string(60 + 30 * report.parameters.size()) +
        "\n\n    function setControls() {\n        var position = getPosition()\n"
        "        blockUpdate = true\n" +
        set +
        "        blockUpdate = false\n"
        "        enableControls(isSimpleKeyframesActive())\n    }\n\n"
        "    function enableControls(enabled) {\n" +
        enable +
        "    }\n\n"
        "    function updateSimpleKeyframes() {\n        setControls()\n" +
        update + "    }\n\n    Component.onCompleted: {\n        if (filter.isNew) {\n" + fresh +
        "            filter.savePreset(preset.parameters)\n        }\n        setControls()\n"
        "    }\n\n    GridLayout {\n        anchors.fill: parent\n        anchors.margins: 8\n"
        "        columns: 4\n\n        Label {\n            text: qsTr('Preset')\n"
        "            Layout.alignment: Qt.AlignRight\n        }\n        Shotcut.Preset {\n"
        "            id: preset\n            parameters: [" +
        all +
        "]\n            Layout.columnSpan: 3\n            onBeforePresetLoaded: "
        "resetSimpleKeyframes()\n            onPresetSelected: {\n"
        "                setControls()\n                initializeSimpleKeyframes()\n"
        "            }\n        }\n\n" +
        rows +
        "        Item {\n            Layout.fillHeight: true\n        }\n    }\n\n"
        "    Connections {\n        target: filter\n"
        "        function onChanged() { setControls() }\n"
        "        function onInChanged() { updateSimpleKeyframes() }\n"
        "        function onOutChanged() { updateSimpleKeyframes() }\n"
        "        function onAnimateInChanged() { updateSimpleKeyframes() }\n"
        "        function onAnimateOutChanged() { updateSimpleKeyframes() }\n"
        "        function onPropertyChanged(name) { setControls() }\n    }\n\n"
        "    Connections {\n        target: producer\n"
        "        function onPositionChanged() { setControls() }\n    }\n}\n";
    return qml;
}
