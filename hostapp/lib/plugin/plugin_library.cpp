#include "plugin_library.h"

#include <dlfcn.h>
#include <elf.h>
#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "lib/host_error.h"

namespace ffglhost {

namespace {

#if defined(__x86_64__)
constexpr uint16_t kMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr uint16_t kMachine = EM_AARCH64;
#else
#error "unknown machine: add its ELF machine number"
#endif

// Program headers beyond this count are not a plausible library.
constexpr uint16_t kMaxProgramHeaders = 512;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

bool ReadAt(std::FILE* file, uint64_t offset, void* data, size_t size) {
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0 &&
           std::fread(data, 1, size, file) == size;
}

// The reason the header is unusable, or empty when it is a shared library for us.
std::string HeaderProblem(const Elf64_Ehdr& header, uint64_t fileSize) {
    if (header.e_ident[EI_CLASS] == ELFCLASS32) {
        return "it is a 32-bit library; ffgl-host loads 64-bit plug-ins";
    }
    if (header.e_ident[EI_CLASS] != ELFCLASS64) {
        return "its ELF header is damaged";
    }
    if (header.e_ident[EI_DATA] != ELFDATA2LSB || header.e_machine != kMachine) {
        return "it is built for another kind of processor (ELF machine " +
               std::to_string(header.e_machine) + ")";
    }
    if (header.e_type != ET_DYN) {
        return "it is an ELF file but not a shared library";
    }
    if (header.e_phentsize != sizeof(Elf64_Phdr) || header.e_phnum == 0 ||
        header.e_phnum > kMaxProgramHeaders || header.e_phoff > fileSize ||
        fileSize - header.e_phoff < uint64_t{header.e_phnum} * sizeof(Elf64_Phdr)) {
        return "its program headers are damaged or lie past the end of the file";
    }
    return "";
}

std::string SegmentProblem(std::FILE* file, const Elf64_Ehdr& header, uint64_t fileSize) {
    std::vector<Elf64_Phdr> segments(header.e_phnum);
    if (!ReadAt(file, header.e_phoff, segments.data(), segments.size() * sizeof(Elf64_Phdr))) {
        return "its program headers cannot be read";
    }
    for (const Elf64_Phdr& segment : segments) {
        if (segment.p_offset > fileSize || fileSize - segment.p_offset < segment.p_filesz) {
            return "it is truncated: its segments reach past the end of the file (" +
                   std::to_string(fileSize) + " bytes)";
        }
    }
    return "";
}

}  // namespace

void CheckElfFile(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        throw HostError("plug-in not found: " + path);
    }
    std::unique_ptr<std::FILE, FileCloser> file(
        S_ISREG(info.st_mode) ? std::fopen(path.c_str(), "rb") : nullptr);
    Elf64_Ehdr header{};
    if (!file || !ReadAt(file.get(), 0, &header, EI_NIDENT) ||
        std::string(reinterpret_cast<const char*>(header.e_ident), 4) != ELFMAG) {
        throw HostError("not a shared library: " + path);
    }
    const auto size = static_cast<uint64_t>(info.st_size);
    std::string problem = "it is too short to hold an ELF header";
    if (header.e_ident[EI_CLASS] != ELFCLASS64 || ReadAt(file.get(), 0, &header, sizeof header)) {
        problem = HeaderProblem(header, size);
    }
    if (problem.empty()) {
        problem = SegmentProblem(file.get(), header, size);
    }
    if (!problem.empty()) {
        throw HostError("cannot load " + path + ": " + problem);
    }
}

PluginLibrary::PluginLibrary(const std::string& path) : path_(path) {
    CheckElfFile(path);
    // A path without a slash would make dlopen search the library path instead.
    const std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
    {
        CallScope loading(kLoadingLibrary);
        handle_ = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        throw HostError("cannot load " + path + ": " + (reason ? reason : "unknown error"));
    }
    plugMain_ = reinterpret_cast<FFPlugMainFunc>(dlsym(handle_, "plugMain"));
    if (plugMain_ == nullptr) {
        dlclose(handle_);
        handle_ = nullptr;
        throw HostError("not an FFGL plug-in (no plugMain export): " + path);
    }
    setLogCallback_ = reinterpret_cast<FFSetLogCallbackFunc>(dlsym(handle_, "SetLogCallback"));
}

PluginLibrary::~PluginLibrary() {
    if (handle_ != nullptr) {
        CallScope unloading(kUnloadingLibrary);
        dlclose(handle_);
    }
}

}  // namespace ffglhost
