#include "preset.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "lib/host_error.h"

namespace ffglhost {

namespace {

constexpr size_t kMaxPresetBytes = 1 << 20;
constexpr int kMaxDepth = 16;

struct JsonValue {
    enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
    Kind kind = Kind::kNull;
    bool flag = false;
    double number = 0.0;
    std::string text;
    std::vector<std::pair<std::string, JsonValue>> members;  // arrays: empty keys
};

// A strict reader of the JSON a preset uses; errors name the line and column.
class JsonReader {
  public:
    explicit JsonReader(const std::string& text) : text_(text) {}

    JsonValue Document() {
        JsonValue value = Value(0);
        SkipSpace();
        if (position_ != text_.size()) {
            Fail("unexpected text after the end");
        }
        return value;
    }

  private:
    [[noreturn]] void Fail(const std::string& what) const {
        size_t line = 1;
        size_t column = 1;
        for (size_t i = 0; i < position_ && i < text_.size(); ++i) {
            column = text_[i] == '\n' ? 1 : column + 1;
            line += text_[i] == '\n' ? 1 : 0;
        }
        throw HostError(what + " at line " + std::to_string(line) + ", column " +
                        std::to_string(column));
    }

    void SkipSpace() {
        while (position_ < text_.size() && std::strchr(" \t\r\n", text_[position_]) != nullptr) {
            ++position_;
        }
    }

    bool Take(char c) {
        SkipSpace();
        if (position_ < text_.size() && text_[position_] == c) {
            ++position_;
            return true;
        }
        return false;
    }

    void Expect(char c) {
        if (!Take(c)) {
            Fail(std::string("expected '") + c + "'");
        }
    }

    bool TakeWord(const char* word) {
        const size_t length = std::strlen(word);
        if (text_.compare(position_, length, word) == 0) {
            position_ += length;
            return true;
        }
        return false;
    }

    JsonValue Value(int depth) {
        if (depth > kMaxDepth) {
            Fail("nested too deeply");
        }
        SkipSpace();
        JsonValue value;
        if (position_ >= text_.size()) {
            Fail("unexpected end of the file");
        }
        const char c = text_[position_];
        if (c == '{' || c == '[') {
            const bool object = c == '{';
            const char close = object ? '}' : ']';
            ++position_;
            value.kind = object ? JsonValue::Kind::kObject : JsonValue::Kind::kArray;
            if (Take(close)) {
                return value;
            }
            do {
                std::string key;
                if (object) {
                    SkipSpace();
                    key = String();
                    Expect(':');
                }
                value.members.emplace_back(key, Value(depth + 1));
            } while (Take(','));
            Expect(close);
        } else if (c == '"') {
            value.kind = JsonValue::Kind::kString;
            value.text = String();
        } else if (TakeWord("true") || TakeWord("false")) {
            value.kind = JsonValue::Kind::kBool;
            value.flag = c == 't';
        } else if (TakeWord("null")) {
            value.kind = JsonValue::Kind::kNull;
        } else {
            value.kind = JsonValue::Kind::kNumber;
            value.number = Number();
        }
        return value;
    }

    double Number() {
        const size_t start = position_;
        while (position_ < text_.size() &&
               std::strchr("+-0123456789.eE", text_[position_]) != nullptr) {
            ++position_;
        }
        const std::string digits = text_.substr(start, position_ - start);
        char* end = nullptr;
        errno = 0;
        const double number = std::strtod(digits.c_str(), &end);
        if (digits.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(number)) {
            position_ = start;
            Fail("expected a value");
        }
        return number;
    }

    unsigned Hex4() {
        if (position_ + 4 > text_.size()) {
            Fail("unfinished \\u escape");
        }
        unsigned code = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = text_[position_++];
            const char* digits = "0123456789abcdef";
            const char* found = std::strchr(digits, std::tolower(static_cast<unsigned char>(h)));
            if (h == '\0' || found == nullptr) {
                Fail("bad \\u escape");
            }
            code = code * 16 + static_cast<unsigned>(found - digits);
        }
        return code;
    }

    static void AppendUtf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    std::string String() {
        if (position_ >= text_.size() || text_[position_] != '"') {
            Fail("expected a string");
        }
        ++position_;
        std::string out;
        while (true) {
            if (position_ >= text_.size()) {
                Fail("unfinished string");
            }
            const char c = text_[position_++];
            if (c == '"') {
                return out;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                Fail("control character in a string");
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            const char e = position_ < text_.size() ? text_[position_++] : '\0';
            const char* plain = std::strchr("\"\\/bfnrt", e);
            if (e != '\0' && plain != nullptr) {
                out += "\"\\/\b\f\n\r\t"[plain - "\"\\/bfnrt"];
            } else if (e == 'u') {
                unsigned code = Hex4();
                if (code >= 0xD800 && code < 0xDC00 && TakeWord("\\u")) {
                    const unsigned low = Hex4();
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                }
                AppendUtf8(out, code);
            } else {
                Fail("bad escape in a string");
            }
        }
    }

    const std::string& text_;
    size_t position_ = 0;
};

std::string Escaped(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string FormatNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

const JsonValue* Member(const JsonValue& object, const std::string& key) {
    const JsonValue* found = nullptr;
    for (const auto& member : object.members) {
        if (member.first == key) {
            found = &member.second;
        }
    }
    return found;
}

ParameterSetting CheckedSetting(const ParameterReport& parameter, const JsonValue& value) {
    ParameterSetting setting;
    setting.index = parameter.index;
    setting.name = parameter.name;
    setting.isText = parameter.isText;
    const std::string quoted = "\"" + parameter.name + "\"";
    if (parameter.isText) {
        if (value.kind != JsonValue::Kind::kString) {
            throw HostError(quoted + " takes a text");
        }
        setting.text = value.text;
        return setting;
    }
    if (value.kind == JsonValue::Kind::kBool) {
        setting.value = value.flag ? 1.0f : 0.0f;
    } else if (value.kind == JsonValue::Kind::kNumber &&
               std::isfinite(static_cast<float>(value.number))) {
        setting.value = static_cast<float>(value.number);
    } else {
        throw HostError(quoted + " takes a number");
    }
    // A range the plug-in gives the wrong way round is not enforced, as with --set.
    if (parameter.min <= parameter.max &&
        (setting.value < parameter.min || setting.value > parameter.max)) {
        throw HostError(quoted + " takes values from " + FormatNumber(parameter.min) + " to " +
                        FormatNumber(parameter.max) + ", got " + FormatNumber(value.number));
    }
    return setting;
}

std::vector<ParameterSetting> PresetSettings(const std::string& text, const PluginReport& report) {
    const JsonValue document = JsonReader(text).Document();
    if (document.kind != JsonValue::Kind::kObject) {
        throw HostError("not a preset: the file holds no JSON object");
    }
    const JsonValue* plugin = Member(document, "plugin");
    if (plugin == nullptr || plugin->kind != JsonValue::Kind::kString) {
        throw HostError("not a preset: no \"plugin\" identifier");
    }
    if (plugin->text != report.id) {
        throw HostError("the preset is for plug-in \"" + plugin->text + "\", not for " +
                        report.name + " (\"" + report.id + "\")");
    }
    const JsonValue* values = Member(document, "values");
    if (values == nullptr || values->kind != JsonValue::Kind::kObject) {
        throw HostError("not a preset: no \"values\" object");
    }
    std::vector<ParameterSetting> settings;
    for (const auto& [name, value] : values->members) {
        const std::optional<size_t> position = FindParameter(report.parameters, name);
        if (!position) {
            throw HostError("unknown parameter \"" + name + "\"");
        }
        settings.push_back(CheckedSetting(report.parameters[*position], value));
    }
    return settings;
}

}  // namespace

std::vector<ParameterSetting> ReadPreset(const std::string& path, const PluginReport& report) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw HostError("cannot read preset " + path + ": " + std::strerror(errno));
    }
    std::string text(kMaxPresetBytes + 1, '\0');
    file.read(&text[0], static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(file.gcount()));
    if (text.size() > kMaxPresetBytes) {
        throw HostError("preset " + path + " is larger than 1 MiB");
    }
    try {
        return PresetSettings(text, report);
    } catch (const HostError& error) {
        throw HostError("preset " + path + ": " + error.what());
    }
}

std::string PresetText(const PluginReport& report, const std::vector<ParameterSetting>& values) {
    std::string text = "{\n  \"plugin\": " + Escaped(report.id) +
                       ",\n  \"name\": " + Escaped(report.name) + ",\n  \"values\": {";
    for (size_t i = 0; i < values.size(); ++i) {
        const ParameterSetting& value = values[i];
        text += (i == 0 ? "\n    " : ",\n    ") + Escaped(value.name) + ": " +
                (value.isText ? Escaped(value.text) : FormatNumber(value.value));
    }
    return text + (values.empty() ? "}\n}\n" : "\n  }\n}\n");
}

void WritePreset(const std::string& path, const PluginReport& report,
                 const std::vector<ParameterSetting>& values) {
    const std::string temporary = path + ".tmp-" + std::to_string(getpid());
    const std::string text = PresetText(report, values);
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    int error = errno;
    if (file != nullptr && std::fclose(file) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && std::rename(temporary.c_str(), path.c_str()) != 0) {
        written = false;
        error = errno;
    }
    if (!written) {
        std::remove(temporary.c_str());
        throw HostError("cannot write preset " + path + ": " + std::strerror(error));
    }
}

}  // namespace ffglhost
