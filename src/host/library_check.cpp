#include "host/library_check.h"

#include <cstring>
#include <elf.h>
#include <fstream>
#include <sys/stat.h>
#include <vector>

namespace zorvil {

namespace {

// Whether [offset, offset + size) lies within a file of `fileSize` bytes.
bool Inside(uint64_t offset, uint64_t size, uint64_t fileSize) {
    return offset <= fileSize && size <= fileSize - offset;
}

} // namespace

std::string CheckLibraryFile(const std::string& path) {
    // Opening a FIFO would wait for a writer, and the dynamic loader would too.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        return S_ISDIR(info.st_mode) ? "it is a folder" : "not a regular file";
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) return {}; // the dynamic loader says why it cannot open it
    const auto fileSize = static_cast<uint64_t>(file.tellg());
    file.seekg(0);

    Elf64_Ehdr header{};
    if (!file.read(reinterpret_cast<char*>(&header), sizeof header) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64)
        return {};

    if (header.e_phentsize != sizeof(Elf64_Phdr)) return "its program headers are damaged";
    const uint64_t tableSize = uint64_t{header.e_phnum} * sizeof(Elf64_Phdr);
    if (!Inside(header.e_phoff, tableSize, fileSize))
        return "the file is truncated (its program headers end past its end)";

    std::vector<Elf64_Phdr> segments(header.e_phnum);
    file.seekg(static_cast<std::streamoff>(header.e_phoff));
    if (!file.read(reinterpret_cast<char*>(segments.data()),
                   static_cast<std::streamsize>(tableSize)))
        return "the file is truncated (its program headers cannot be read)";
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const Elf64_Phdr& segment = segments[i];
        if ((segment.p_type == PT_LOAD || segment.p_type == PT_DYNAMIC) &&
            !Inside(segment.p_offset, segment.p_filesz, fileSize))
            return "the file is truncated (segment " + std::to_string(i) + " ends past its end)";
    }
    return {};
}

} // namespace zorvil
