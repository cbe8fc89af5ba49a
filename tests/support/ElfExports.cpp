#include "ElfExports.h"

#include <elf.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace testing_support {
namespace {

// Copies a T from in_uOffset of the file image, if the image holds it whole.
template <typename T>
bool ReadAt(const std::vector<char>& in_image, uint64_t in_uOffset, T& out_rValue) {
    if (in_uOffset > in_image.size() || in_image.size() - in_uOffset < sizeof(T)) {
        return false;
    }
    std::memcpy(&out_rValue, in_image.data() + in_uOffset, sizeof(T));
    return true;
}

// The two ELF classes differ only in their record types; the walk is the same.
template <typename Ehdr, typename Shdr, typename Sym>
bool ReadExports(const std::vector<char>& in_image, std::vector<std::string>& out_rNames,
                 std::string& out_rError) {
    Ehdr header;
    if (!ReadAt(in_image, 0, header) || header.e_shentsize != sizeof(Shdr)) {
        out_rError = "bad ELF header";
        return false;
    }
    for (uint64_t uSection = 0; uSection < header.e_shnum; ++uSection) {
        Shdr section;
        if (!ReadAt(in_image, header.e_shoff + uSection * sizeof(Shdr), section)) {
            out_rError = "section header past the end of the file";
            return false;
        }
        if (section.sh_type != SHT_DYNSYM) {
            continue;
        }
        Shdr strings;
        if (section.sh_entsize != sizeof(Sym) || section.sh_link >= header.e_shnum ||
            !ReadAt(in_image, header.e_shoff + uint64_t{section.sh_link} * sizeof(Shdr), strings)) {
            out_rError = "bad .dynsym section";
            return false;
        }
        const uint64_t uCount = section.sh_size / sizeof(Sym);
        for (uint64_t uSymbol = 1; uSymbol < uCount; ++uSymbol) {  // entry 0 is always null
            Sym symbol;
            if (!ReadAt(in_image, section.sh_offset + uSymbol * sizeof(Sym), symbol)) {
                out_rError = "symbol past the end of the file";
                return false;
            }
            // Both classes keep the binding in the high nibble of st_info.
            const unsigned char uBind = ELF64_ST_BIND(symbol.st_info);
            const unsigned char uVisibility = symbol.st_other & 0x3;
            if (symbol.st_shndx == SHN_UNDEF ||
                (uBind != STB_GLOBAL && uBind != STB_WEAK && uBind != STB_GNU_UNIQUE) ||
                (uVisibility != STV_DEFAULT && uVisibility != STV_PROTECTED)) {
                continue;
            }
            if (symbol.st_name >= strings.sh_size ||
                strings.sh_offset + symbol.st_name >= in_image.size()) {
                out_rError = "symbol name past its string table";
                return false;
            }
            const char* pszName = in_image.data() + strings.sh_offset + symbol.st_name;
            const size_t uMaxLength = in_image.size() - (strings.sh_offset + symbol.st_name);
            out_rNames.emplace_back(pszName, strnlen(pszName, uMaxLength));
        }
        return true;
    }
    out_rError = "no .dynsym section";
    return false;
}

}  // namespace

bool ReadElfExports(const std::string& in_path, std::vector<std::string>& out_rNames,
                    std::string& out_rError) {
    out_rNames.clear();
    std::ifstream file(in_path, std::ios::binary);
    if (!file) {
        out_rError = "cannot open " + in_path;
        return false;
    }
    const std::vector<char> image((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
    if (image.size() < EI_NIDENT || std::memcmp(image.data(), ELFMAG, SELFMAG) != 0) {
        out_rError = in_path + " is not an ELF file";
        return false;
    }
    if (image[EI_DATA] != ELFDATA2LSB) {
        out_rError = in_path + " is not little-endian";
        return false;
    }
    if (image[EI_CLASS] == ELFCLASS64) {
        return ReadExports<Elf64_Ehdr, Elf64_Shdr, Elf64_Sym>(image, out_rNames, out_rError);
    }
    if (image[EI_CLASS] == ELFCLASS32) {
        return ReadExports<Elf32_Ehdr, Elf32_Shdr, Elf32_Sym>(image, out_rNames, out_rError);
    }
    out_rError = in_path + " has an unknown ELF class";
    return false;
}

}  // namespace testing_support
