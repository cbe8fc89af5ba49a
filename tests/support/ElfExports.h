// Reads the dynamic symbol table (.dynsym) of an ELF shared library and lists what it exports: the
// symbols it defines (not the ones it imports) with global or weak binding and default or protected
// visibility. Lets a test check that a deliverable exports exactly what it should.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// False, with out_rError saying why, when the file cannot be read or is not a little-endian ELF
// file with a dynamic symbol table.
bool ReadElfExports(const std::string& in_path, std::vector<std::string>& out_rNames,
                    std::string& out_rError);

}  // namespace testing_support
