#include "DynamicSymbols.h"

#include <elf.h>
#include <string.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace tool_tests {

std::vector<std::string> ExportedSymbols(const std::string& in_path, std::string& out_rError) {
    std::ifstream file(in_path, std::ios::binary);
    const std::vector<char> image((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
    std::vector<std::string> names;
    Elf64_Ehdr header;
    if (image.size() < sizeof(header)) {
        out_rError = in_path + ": not an ELF file";
        return names;
    }
    memcpy(&header, image.data(), sizeof(header));
    if (memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64 ||
        header.e_ident[EI_DATA] != ELFDATA2LSB || header.e_shentsize != sizeof(Elf64_Shdr) ||
        header.e_shoff + uint64_t{header.e_shnum} * sizeof(Elf64_Shdr) > image.size()) {
        out_rError = in_path + ": not a 64-bit little-endian ELF file";
        return names;
    }
    auto section = [&](size_t in_uIndex) {
        Elf64_Shdr sectionHeader;
        memcpy(&sectionHeader, image.data() + header.e_shoff + in_uIndex * sizeof(Elf64_Shdr),
               sizeof(sectionHeader));
        return sectionHeader;
    };
    for (size_t i = 0; i < header.e_shnum; ++i) {
        const Elf64_Shdr symbols = section(i);
        if (symbols.sh_type != SHT_DYNSYM || symbols.sh_link >= header.e_shnum) {
            continue;
        }
        const Elf64_Shdr strings = section(symbols.sh_link);
        if (symbols.sh_offset + symbols.sh_size > image.size() ||
            strings.sh_offset + strings.sh_size > image.size()) {
            out_rError = in_path + ": a section lies beyond the end of the file";
            return std::vector<std::string>();
        }
        const size_t uCount = symbols.sh_size / sizeof(Elf64_Sym);
        for (size_t k = 1; k < uCount; ++k) {
            Elf64_Sym symbol;
            memcpy(&symbol, image.data() + symbols.sh_offset + k * sizeof(Elf64_Sym),
                   sizeof(symbol));
            const unsigned char uBinding = ELF64_ST_BIND(symbol.st_info);
            const unsigned char uVisibility = ELF64_ST_VISIBILITY(symbol.st_other);
            if (symbol.st_shndx == SHN_UNDEF ||
                (uBinding != STB_GLOBAL && uBinding != STB_WEAK && uBinding != STB_GNU_UNIQUE) ||
                (uVisibility != STV_DEFAULT && uVisibility != STV_PROTECTED) ||
                symbol.st_name >= strings.sh_size) {
                continue;
            }
            const char* pszName = image.data() + strings.sh_offset + symbol.st_name;
            names.emplace_back(pszName, strnlen(pszName, strings.sh_size - symbol.st_name));
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    out_rError = in_path + ": no dynamic symbol table";
    return names;
}

}  // namespace tool_tests
