// Reads the symbols that an ELF shared library exports: the defined, global or weak, visible
// entries of its dynamic symbol table.
#pragma once

#include <string>
#include <vector>

namespace tool_tests {

// Sorted names; empty with out_rError set when the file is not a 64-bit little-endian ELF file
// with a dynamic symbol table.
std::vector<std::string> ExportedSymbols(const std::string& in_path, std::string& out_rError);

}  // namespace tool_tests
