#include "obs/plugin_catalog.h"

#include <dirent.h>
#include <sys/stat.h>

#include <obs-data.h>
#include <util/platform.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "ffgl/abi.h"
#include "lib/worker/bridge_link.h"

namespace ffglobs {

namespace {

constexpr int kCacheVersion = 1;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

struct DataReleaser {
    void operator()(obs_data_t* data) const { obs_data_release(data); }
};
struct ArrayReleaser {
    void operator()(obs_data_array_t* array) const { obs_data_array_release(array); }
};
using Data = std::unique_ptr<obs_data_t, DataReleaser>;
using Array = std::unique_ptr<obs_data_array_t, ArrayReleaser>;

std::string Text(obs_data_t* data, const char* key) {
    const char* text = obs_data_get_string(data, key);
    return text != nullptr ? text : "";
}

Data ToData(const CatalogEntry& entry) {
    Data data(obs_data_create());
    obs_data_t* d = data.get();
    obs_data_set_string(d, "path", entry.path.c_str());
    obs_data_set_int(d, "size", entry.size);
    obs_data_set_int(d, "mtime_ns", entry.mtimeNs);
    obs_data_set_string(d, "problem", entry.problem.c_str());
    const ffglhost::PluginReport& r = entry.report;
    obs_data_set_string(d, "id", r.id.c_str());
    obs_data_set_string(d, "name", r.name.c_str());
    obs_data_set_int(d, "type", r.type);
    obs_data_set_int(d, "version_major", r.versionMajor);
    obs_data_set_int(d, "version_minor", r.versionMinor);
    obs_data_set_string(d, "description", r.description.c_str());
    obs_data_set_string(d, "about", r.about.c_str());
    obs_data_set_bool(d, "inputs_known", r.inputsKnown);
    obs_data_set_int(d, "minimum_inputs", r.minimumInputs);
    obs_data_set_bool(d, "host_time", r.supportsHostTime);
    Array parameters(obs_data_array_create());
    for (const ffglhost::ParameterReport& p : r.parameters) {
        Data item(obs_data_create());
        obs_data_set_int(item.get(), "index", p.index);
        obs_data_set_string(item.get(), "name", p.name.c_str());
        obs_data_set_int(item.get(), "type", p.type);
        obs_data_set_bool(item.get(), "text", p.isText);
        obs_data_set_double(item.get(), "default", p.defaultValue);
        obs_data_set_string(item.get(), "default_text", p.defaultText.c_str());
        obs_data_set_string(item.get(), "display", p.display.c_str());
        obs_data_set_double(item.get(), "min", p.min);
        obs_data_set_double(item.get(), "max", p.max);
        obs_data_array_push_back(parameters.get(), item.get());
    }
    obs_data_set_array(d, "parameters", parameters.get());
    return data;
}

CatalogEntry FromData(obs_data_t* d) {
    CatalogEntry entry;
    entry.path = Text(d, "path");
    entry.size = obs_data_get_int(d, "size");
    entry.mtimeNs = obs_data_get_int(d, "mtime_ns");
    entry.problem = Text(d, "problem");
    ffglhost::PluginReport& r = entry.report;
    r.id = Text(d, "id");
    r.name = Text(d, "name");
    r.type = static_cast<uint32_t>(obs_data_get_int(d, "type"));
    r.versionMajor = static_cast<uint32_t>(obs_data_get_int(d, "version_major"));
    r.versionMinor = static_cast<uint32_t>(obs_data_get_int(d, "version_minor"));
    r.description = Text(d, "description");
    r.about = Text(d, "about");
    r.inputsKnown = obs_data_get_bool(d, "inputs_known");
    r.minimumInputs = static_cast<uint32_t>(obs_data_get_int(d, "minimum_inputs"));
    r.supportsHostTime = obs_data_get_bool(d, "host_time");
    Array parameters(obs_data_get_array(d, "parameters"));
    for (size_t i = 0; i < obs_data_array_count(parameters.get()); ++i) {
        Data item(obs_data_array_item(parameters.get(), i));
        ffglhost::ParameterReport p;
        p.index = static_cast<uint32_t>(obs_data_get_int(item.get(), "index"));
        p.name = Text(item.get(), "name");
        p.type = static_cast<uint32_t>(obs_data_get_int(item.get(), "type"));
        p.isText = obs_data_get_bool(item.get(), "text");
        p.defaultValue = static_cast<float>(obs_data_get_double(item.get(), "default"));
        p.defaultText = Text(item.get(), "default_text");
        p.display = Text(item.get(), "display");
        p.min = static_cast<float>(obs_data_get_double(item.get(), "min"));
        p.max = static_cast<float>(obs_data_get_double(item.get(), "max"));
        r.parameters.push_back(p);
    }
    return entry;
}

std::map<std::string, CatalogEntry> ReadCache(const std::string& path) {
    std::map<std::string, CatalogEntry> entries;
    Data cache(obs_data_create_from_json_file(path.c_str()));
    if (cache == nullptr || obs_data_get_int(cache.get(), "version") != kCacheVersion) {
        return entries;
    }
    Array plugins(obs_data_get_array(cache.get(), "plugins"));
    for (size_t i = 0; i < obs_data_array_count(plugins.get()); ++i) {
        Data item(obs_data_array_item(plugins.get(), i));
        CatalogEntry entry = FromData(item.get());
        entries[entry.path] = std::move(entry);
    }
    return entries;
}

bool WriteCache(const std::string& path, const std::vector<CatalogEntry>& entries) {
    const std::string folder = path.substr(0, path.rfind('/'));
    if (os_mkdirs(folder.c_str()) == MKDIR_ERROR) {
        return false;
    }
    Data cache(obs_data_create());
    obs_data_set_int(cache.get(), "version", kCacheVersion);
    Array plugins(obs_data_array_create());
    for (const CatalogEntry& entry : entries) {
        obs_data_array_push_back(plugins.get(), ToData(entry).get());
    }
    obs_data_set_array(cache.get(), "plugins", plugins.get());
    // Written beside and renamed over, so that a crash leaves the old cache whole.
    return obs_data_save_json_safe(cache.get(), path.c_str(), ".tmp", ".bak");
}

// Why a described plug-in cannot be a filter; empty when it can.
std::string Unfit(const ffglhost::PluginReport& report) {
    if (report.type == FF_SOURCE) {
        return "is a source, not an effect: OBS filters take effects";
    }
    if (report.type != FF_EFFECT) {
        return "is not an effect (type " + std::to_string(report.type) + ")";
    }
    if (report.inputsKnown && report.minimumInputs > 1) {
        return "needs " + std::to_string(report.minimumInputs) + " inputs; an OBS filter has one";
    }
    return "";
}

// The regular files named *.so in `folder`, sorted; a line in `lines` when the folder
// cannot be read.
std::vector<std::string> PluginFiles(const PluginFolder& folder, std::vector<std::string>& lines) {
    std::vector<std::string> files;
    DIR* dir = opendir(folder.path.c_str());
    if (dir == nullptr) {
        if (errno != ENOENT || folder.listed) {
            lines.push_back("cannot read the plug-in folder " + folder.path + ": " +
                            std::strerror(errno));
        }
        return files;
    }
    while (const dirent* item = readdir(dir)) {
        const std::string name = item->d_name;
        if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0) {
            files.push_back(folder.path + "/" + name);
        }
    }
    closedir(dir);
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

std::string FilterKindId(const std::string& pluginName) {
    return "ffgl_" + ffglhost::Frei0rModuleName(pluginName);
}

std::vector<PluginFolder> PluginFolders() {
    std::vector<PluginFolder> folders;
    const std::string listed = Environment("FFGL_PLUGIN_PATH");
    size_t start = 0;
    while (start <= listed.size() && !listed.empty()) {
        const size_t colon = std::min(listed.find(':', start), listed.size());
        if (colon > start) {
            folders.push_back({listed.substr(start, colon - start), true});
        }
        start = colon + 1;
    }
    const std::string home = Environment("HOME");
    if (!home.empty()) {
        folders.push_back({home + "/.local/lib/ffgl", false});
    }
    folders.push_back({"/usr/local/lib/ffgl", false});
    folders.push_back({"/usr/lib/ffgl", false});
    return folders;
}

std::string CachePath() {
    std::string base = Environment("XDG_CACHE_HOME");
    if (base.empty() || base[0] != '/') {
        base = Environment("HOME") + "/.cache";
    }
    return base + "/ffgl-obs/plugins.json";
}

ScanResult ScanPlugins(const std::vector<PluginFolder>& folders, const std::string& cachePath,
                       const Describer& describe) {
    ScanResult result;
    const std::map<std::string, CatalogEntry> cached = ReadCache(cachePath);
    std::vector<CatalogEntry> seen;
    std::set<std::string> paths;
    std::map<std::string, std::string> idOwners;
    for (const PluginFolder& folder : folders) {
        for (const std::string& path : PluginFiles(folder, result.lines)) {
            struct stat info {};
            if (!paths.insert(path).second || stat(path.c_str(), &info) != 0 ||
                !S_ISREG(info.st_mode)) {
                continue;
            }
            CatalogEntry entry;
            const int64_t mtime = int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
            const auto known = cached.find(path);
            if (known != cached.end() && known->second.size == info.st_size &&
                known->second.mtimeNs == mtime) {
                entry = known->second;
            } else {
                entry.path = path;
                entry.size = info.st_size;
                entry.mtimeNs = mtime;
                ++result.described;
                try {
                    entry.report = describe(path);
                    entry.problem = Unfit(entry.report);
                } catch (const std::exception& error) {
                    entry.problem = std::string("cannot be used: ") + error.what();
                }
            }
            seen.push_back(entry);
            if (!entry.problem.empty()) {
                result.lines.push_back(path + " is not offered as a filter: it " + entry.problem);
                continue;
            }
            const std::string name = entry.report.name.empty() ? path : entry.report.name;
            entry.kindId = FilterKindId(name);
            const auto owner = idOwners.emplace(entry.kindId, path);
            if (!owner.second) {
                result.lines.push_back(path + " is not offered as a filter: its id " +
                                       entry.kindId + " is taken by " + owner.first->second);
                continue;
            }
            result.filters.push_back(entry);
        }
    }
    // The cache keeps exactly the files present now.
    if ((result.described > 0 || seen.size() != cached.size()) && !WriteCache(cachePath, seen)) {
        result.lines.push_back("cannot write the plug-in cache " + cachePath);
    }
    return result;
}

}  // namespace ffglobs
