// What the host checks before it trusts a plug-in: the library file, and the texts it
// shows from it.
#include <gtest/gtest.h>

#include <elf.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "lib/host_error.h"
#include "lib/plugin/plugin_library.h"
#include "lib/plugin/plugin_text.h"

namespace {

using ffglhost::PrintableText;

std::string CheckError(const std::string& bytes) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("ffgl-host-elf-" + std::to_string(getpid()) + ".so"))
                                 .string();
    std::ofstream(path, std::ios::binary) << bytes;
    std::string error;
    try {
        ffglhost::CheckElfFile(path);
    } catch (const ffglhost::HostError& caught) {
        error = caught.what();
        error = error.substr(error.find(": ") + 2);
    }
    std::remove(path.c_str());
    return error;
}

// A minimal 64-bit shared-object header with one program header after it.
std::string ElfFile(uint8_t elfClass, uint16_t machine, uint16_t type, uint64_t segmentSize) {
    Elf64_Ehdr header{};
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = elfClass;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_type = type;
    header.e_machine = machine;
    header.e_phoff = sizeof header;
    header.e_phentsize = sizeof(Elf64_Phdr);
    header.e_phnum = 1;
    Elf64_Phdr segment{};
    segment.p_type = PT_LOAD;
    segment.p_filesz = segmentSize;
    std::string bytes(reinterpret_cast<const char*>(&header), sizeof header);
    bytes.append(reinterpret_cast<const char*>(&segment), sizeof segment);
    return bytes;
}

TEST(CheckElfFile, RefusesWhatDlopenWouldTripOver) {
#if defined(__x86_64__)
    const uint16_t self = EM_X86_64;
#else
    const uint16_t self = EM_AARCH64;
#endif
    const std::pair<std::string, std::string> cases[] = {
        {ElfFile(ELFCLASS64, self, ET_DYN, 120), ""},
        {ElfFile(ELFCLASS64, self, ET_DYN, 121),
         "it is truncated: its segments reach past the end of the file (120 bytes)"},
        {ElfFile(ELFCLASS32, self, ET_DYN, 0), "it is a 32-bit library"},
        {ElfFile(ELFCLASS64, EM_AARCH64, ET_DYN, 0), "another kind of processor (ELF machine 183)"},
        {ElfFile(ELFCLASS64, self, ET_EXEC, 0), "it is an ELF file but not a shared library"},
        {ElfFile(ELFCLASS64, self, ET_DYN, 0).substr(0, 100), "its program headers are damaged"},
        {ElfFile(ELFCLASS64, self, ET_DYN, 0).substr(0, 30), "too short to hold an ELF header"},
        {"plain text, no library", "plain"},
    };
    for (const auto& [bytes, message] : cases) {
        const std::string error = CheckError(bytes);
        if (message.empty()) {
            EXPECT_EQ(error, "");
        } else if (message == "plain") {
            EXPECT_NE(error.find("ffgl-host-elf-"), std::string::npos) << error;
        } else {
            EXPECT_NE(error.find(message), std::string::npos) << error;
        }
    }
}

TEST(PluginText, ControlCharactersBecomeVisibleAndLongTextsAreCut) {
    const std::pair<std::string, std::string> cases[] = {
        {"Quellix Shine", "Quellix Shine"},
        {"\x1b[2Jclear", "\\x1b[2Jclear"},
        {"two\nlines\r\t", "two\\x0alines\\x0d\\x09"},
        {"del\x7f", "del\\x7f"},
        {"caf\xc3\xa9", "caf\xc3\xa9"},  // UTF-8 passes
        {"c1 \xc2\x9b"
         "31m",
         "c1 \\xc2\\x9b31m"},  // C1 control as UTF-8
        {"raw \x9b"
         "31m",
         "raw \\x9b31m"},                    // C1 control as one byte
        {"cut \xe2\x82", "cut \\xe2\\x82"},  // truncated sequence
        // Well formed only: no overlong form, surrogate or code point above U+10FFFF.
        {"\xe0\x80\xaf", "\\xe0\\x80\\xaf"},
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
        {"\xed\x9f\xbf \xf0\x9f\x98\x80", "\xed\x9f\xbf \xf0\x9f\x98\x80"},
    };
    for (const auto& [text, shown] : cases) {
        EXPECT_EQ(PrintableText(text), shown);
    }
    EXPECT_EQ(PrintableText(std::string(12, 'a'), 10), std::string(10, 'a') + "...");
    EXPECT_EQ(PrintableText(std::string(10, 'a'), 10), std::string(10, 'a'));
}

// The shortest text that reads back as the same float.
TEST(PluginText, NumbersAreWrittenInTheirShortestExactForm) {
    const std::pair<float, const char*> cases[] = {
        {0.9f, "0.9"},   {1.0f, "1"},      {0.0f, "0"},
        {-2.5f, "-2.5"}, {1e-7f, "1e-07"}, {16777216.0f, "16777216"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(ffglhost::FormatFloat(value), text);
    }
}

TEST(PluginText, ReadingStopsAtTheBound) {
    const std::string unterminated(64, 'x');
    EXPECT_EQ(ffglhost::ReadBoundedText(unterminated.data(), 10), std::string(10, 'x'));
    EXPECT_EQ(ffglhost::ReadBoundedText("short", 10), "short");
    EXPECT_EQ(ffglhost::ReadBoundedText(nullptr), "");
}

}  // namespace
