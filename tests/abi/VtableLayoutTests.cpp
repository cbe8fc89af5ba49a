// The vtable index of every documented slot, read from the compilers' own layout dumps and held
// against the table of documented slot numbers (DocumentedSlots.h), under the five ABIs the
// plug-ins meet: Linux x86-64 (g++ and clang), MinGW-w64 x64 and x86, and the platform
// compiler's x64 and x86 (clang's --target=*-pc-windows-msvc lays tables out as it does).
//
// Interfaces: clang compiles a probe of the interface headers for each target with
// -fdump-vtable-layouts. The probe derives a class from each interface and gives it a key
// function, so that the compiler lays out and prints that class's whole table; its entries up to
// the probe's own function are the interface's. Besides the documented indexes, an interface's
// table must hold no destructor (its entry count differs between the ABIs), no two functions of
// one name (the platform's compiler groups overloads) and no function that returns a class by
// value (the platform's compiler returns it through a hidden pointer).
//
// Linux classes: g++ prints the tables of the real plug-in, test-host and design-tool classes as
// the Linux build compiles them (-fdump-lang-class).
//
// ZV_ABI_TABLE=FILE appends every measured index to FILE (ABI, interface, slot, name, index).

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "DocumentedSlots.h"

namespace {

struct DocumentedSlot {
    std::string interfaceName;  // qualified, as our headers name it
    std::string name;
    size_t uSlot;
};

const std::vector<DocumentedSlot>& DocumentedSlotTable() {
#define ZV_ENGINE_ROW(in_interface, in_name, in_slot) {"ZV::" #in_interface, #in_name, in_slot},
#define ZV_DESIGN_TOOL_ROW(in_interface, in_name, in_slot) \
    {"ZV::Orvel::" #in_interface, #in_name, in_slot},
    static const std::vector<DocumentedSlot> table = {ZV_ENGINE_SLOTS(ZV_ENGINE_ROW)
                                                          ZV_DESIGN_TOOL_SLOTS(ZV_DESIGN_TOOL_ROW)};
#undef ZV_ENGINE_ROW
#undef ZV_DESIGN_TOOL_ROW
    return table;
}

// The interfaces of the table, each once, in table order.
std::vector<std::string> DocumentedInterfaces() {
    std::vector<std::string> interfaces;
    for (const DocumentedSlot& slot : DocumentedSlotTable()) {
        if (interfaces.empty() || interfaces.back() != slot.interfaceName) {
            interfaces.push_back(slot.interfaceName);
        }
    }
    return interfaces;
}

// The unqualified name: "ZV::Orvel::IAudioPlugin" -> "IAudioPlugin".
std::string LastComponent(const std::string& in_name) {
    const size_t uColon = in_name.rfind("::");
    return uColon == std::string::npos ? in_name : in_name.substr(uColon + 2);
}

std::string ProbeClassOf(const std::string& in_interface) {
    return "ZvLayoutProbe_" + LastComponent(in_interface);
}

// One table as a dump gives it, from index 0: the function at each index (an empty name for an
// entry that is no function) and, where the dump says, its return type.
struct VtableEntry {
    std::string name;
    std::string returnType;
};
using Vtables = std::map<std::string, std::vector<VtableEntry>>;  // by class

// clang's -fdump-vtable-layouts: "VFTable for 'A' in 'B' (n entries)." (platform ABI) or
// "Vtable for 'B' (n entries)." (Itanium ABI), then "   i | entry" lines, continued by indented
// lines without a bar. The class is the last quoted name. The functions start after the RTTI
// entry; an Itanium table goes on with the secondary tables of further bases, each starting at an
// offset_to_top entry, where the class's own table ends. A class printed twice keeps its first.
Vtables ParseClangDump(const std::string& in_dump) {
    static const std::regex header(R"(^(VFTable|Vtable) for .*'([^']+)' \(\d+ entr(y|ies)\)\.$)");
    static const std::regex entry(R"(^ *\d+ \| (.*)$)");
    static const std::regex function(R"(^(.*?)[A-Za-z_][\w:<>]*::(~?[A-Za-z_]\w*)\()");
    Vtables tables;
    std::vector<VtableEntry>* pTable = nullptr;
    bool bFunctions = false;
    std::istringstream lines(in_dump);
    std::string line;
    std::smatch match;
    while (std::getline(lines, line)) {
        if (!line.empty() && line[0] != ' ') {
            pTable = nullptr;
            if (std::regex_match(line, match, header) && tables.count(match[2]) == 0) {
                pTable = &tables[match[2]];
                bFunctions = false;
            }
            continue;
        }
        if (pTable == nullptr || !std::regex_match(line, match, entry)) {
            continue;
        }
        const std::string text = match[1];
        if (!bFunctions) {
            bFunctions = text.find(" RTTI") != std::string::npos;
        } else if (text.rfind("offset_to_top", 0) == 0) {
            pTable = nullptr;
        } else if (std::regex_search(text, match, function)) {
            std::string returnType = match[1];
            while (!returnType.empty() && returnType.back() == ' ') {
                returnType.pop_back();
            }
            pTable->push_back({match[2], returnType});
        } else {
            pTable->push_back({});
        }
    }
    return tables;
}

// g++'s -fdump-lang-class: "Vtable for C", a line with the symbol and the entry count, then
// "offset   (int (*)(...))entry" lines: offset_to_top, the RTTI entry, the functions. The class's
// own table ends at a blank line or at a secondary table's (negative) offset_to_top.
Vtables ParseGccClassDump(const std::string& in_dump) {
    static const std::regex header(R"(^Vtable for (.+)$)");
    static const std::regex entry(R"(^\d+ +\(int \(\*\)\(\.\.\.\)\)(.*)$)");
    Vtables tables;
    std::vector<VtableEntry>* pTable = nullptr;
    bool bFunctions = false;
    std::istringstream lines(in_dump);
    std::string line;
    std::smatch match;
    while (std::getline(lines, line)) {
        if (std::regex_match(line, match, header)) {
            pTable = tables.count(match[1]) == 0 ? &tables[match[1]] : nullptr;
            bFunctions = false;
            continue;
        }
        if (pTable == nullptr) {
            continue;
        }
        if (line.empty()) {
            pTable = nullptr;
            continue;
        }
        if (!std::regex_match(line, match, entry)) {
            continue;
        }
        const std::string text = match[1];
        if (!bFunctions) {
            bFunctions = text.find("_ZTI") != std::string::npos;
        } else if (text.rfind("-", 0) == 0) {
            pTable = nullptr;
        } else {
            pTable->push_back({LastComponent(text), ""});
        }
    }
    return tables;
}

// Runs in_command through the shell: its output (standard output and error) and whether it
// exited with 0.
bool RunCommand(const std::string& in_command, std::string& out_output) {
    out_output.clear();
    FILE* pPipe = popen((in_command + " 2>&1").c_str(), "r");
    if (pPipe == nullptr) {
        return false;
    }
    char acBuffer[4096];
    size_t uRead = 0;
    while ((uRead = fread(acBuffer, 1, sizeof(acBuffer), pPipe)) > 0) {
        out_output.append(acBuffer, uRead);
    }
    return pclose(pPipe) == 0;
}

std::string ReadFile(const std::string& in_path) {
    std::ifstream file(in_path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteFile(const std::string& in_path, const std::string& in_text) {
    std::ofstream(in_path) << in_text;
}

std::string SourcePath(const char* in_pszRelative) {
    return std::string(ZV_SOURCE_DIR) + "/" + in_pszRelative;
}

// Appends the measured indexes to the file that ZV_ABI_TABLE names, if any.
void RecordMeasuredIndexes(const std::string& in_abi, const Vtables& in_tables,
                           const std::map<std::string, std::string>& in_tableOfInterface) {
    const char* pszTable = getenv("ZV_ABI_TABLE");
    if (pszTable == nullptr) {
        return;
    }
    std::ofstream file(pszTable, std::ios::app);
    for (const DocumentedSlot& slot : DocumentedSlotTable()) {
        const auto itClass = in_tableOfInterface.find(slot.interfaceName);
        if (itClass == in_tableOfInterface.end() || in_tables.count(itClass->second) == 0) {
            continue;
        }
        const std::vector<VtableEntry>& table = in_tables.at(itClass->second);
        for (size_t uIndex = 0; uIndex < table.size(); ++uIndex) {
            if (table[uIndex].name == slot.name) {
                file << in_abi << '\t' << slot.interfaceName << '\t' << slot.uSlot << '\t'
                     << slot.name << '\t' << uIndex << '\n';
            }
        }
    }
}

// Every documented slot of the interfaces that in_tableOfInterface maps to a class of in_tables
// stands at its documented index of that class's table.
void ExpectDocumentedIndexes(const Vtables& in_tables,
                             const std::map<std::string, std::string>& in_tableOfInterface) {
    for (const DocumentedSlot& slot : DocumentedSlotTable()) {
        const auto itClass = in_tableOfInterface.find(slot.interfaceName);
        if (itClass == in_tableOfInterface.end()) {
            continue;
        }
        const auto itTable = in_tables.find(itClass->second);
        ASSERT_NE(itTable, in_tables.end()) << "the dump has no table for " << itClass->second;
        const std::vector<VtableEntry>& table = itTable->second;
        std::string found = "nothing";
        if (slot.uSlot < table.size()) {
            found = table[slot.uSlot].name;
        }
        EXPECT_EQ(found, slot.name)
            << slot.interfaceName << " slot " << slot.uSlot << " (" << itClass->second << ")";
    }
}

struct Abi {
    const char* pszName;
    const char* pszTarget;
    bool bLinux;
};

const Abi kAbis[] = {
    {"Linux x86-64", "x86_64-linux-gnu", true},
    {"MinGW-w64 x64", "x86_64-w64-mingw32", false},
    {"MinGW-w64 x86", "i686-w64-mingw32", false},
    {"platform compiler x64", "x86_64-pc-windows-msvc", false},
    {"platform compiler x86", "i686-pc-windows-msvc", false},
};

void PrintTo(const Abi& in_abi, std::ostream* io_pStream) {
    *io_pStream << in_abi.pszName;
}

class InterfaceLayout : public ::testing::TestWithParam<Abi> {};

TEST_P(InterfaceLayout, EveryDocumentedSlotStandsAtItsIndexAndNothingDiffersBetweenTheAbis) {
    const Abi& abi = GetParam();
    std::ostringstream probe;
    probe << "#include \"ZvHostEngine.h\"\n#include \"ZvDesignToolHost.h\"\n"
             "#include \"IAudioPlugin.h\"\n";
    std::map<std::string, std::string> tableOfInterface;
    for (const std::string& interfaceName : DocumentedInterfaces()) {
        const std::string probeClass = ProbeClassOf(interfaceName);
        probe << "struct " << probeClass << " : " << interfaceName
              << " { virtual void ZvProbeKey(); };\nvoid " << probeClass << "::ZvProbeKey() {}\n";
        tableOfInterface[interfaceName] = probeClass;
    }
    const std::string probePath =
        std::string(ZV_ABI_WORK_DIR) + "/interface_probe_" + abi.pszTarget + ".cpp";
    WriteFile(probePath, probe.str());

    std::string command = std::string(ZV_CLANGXX) + " --target=" + abi.pszTarget +
                          " -std=c++17 -S -o /dev/null -Xclang -fdump-vtable-layouts" + " -I" +
                          SourcePath("common") + " -I" + SourcePath("platform/abi") + " -I" +
                          SourcePath("tool/module");
    // Linux compiles against the stand-in's Windows headers, the Windows targets (no SDK here)
    // against the type names alone.
    command += abi.bLinux ? " -I" + SourcePath("platform/include")
                          : " -ffreestanding -I" + SourcePath("tests/abi/windows_types");
    std::string dump;
    ASSERT_TRUE(RunCommand(command + " " + probePath, dump)) << command << "\n" << dump;
    const Vtables tables = ParseClangDump(dump);

    ExpectDocumentedIndexes(tables, tableOfInterface);
    RecordMeasuredIndexes(abi.pszName, tables, tableOfInterface);

    for (const auto& [interfaceName, probeClass] : tableOfInterface) {
        ASSERT_EQ(tables.count(probeClass), 1u) << "no table for " << interfaceName;
        std::vector<VtableEntry> table = tables.at(probeClass);
        ASSERT_FALSE(table.empty());
        ASSERT_EQ(table.back().name, "ZvProbeKey") << interfaceName;
        table.pop_back();
        std::set<std::string> names;
        for (const VtableEntry& function : table) {
            EXPECT_FALSE(function.name.empty())
                << interfaceName << ": an entry that is no function";
            EXPECT_EQ(function.name.find('~'), std::string::npos)
                << interfaceName << " has a destructor entry";
            EXPECT_TRUE(names.insert(function.name).second)
                << interfaceName << " has two functions named " << function.name;
            static const std::set<std::string> scalars = {
                "void", "bool", "ZvResult", "uint16_t", "uint32_t", "float", "HINSTANCE"};
            const std::string& type = function.returnType;
            EXPECT_TRUE(scalars.count(type) == 1 || (!type.empty() && type.back() == '*'))
                << interfaceName << "::" << function.name << " returns " << type;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(FiveAbis, InterfaceLayout, ::testing::ValuesIn(kAbis),
                         [](const ::testing::TestParamInfo<Abi>& in_info) {
                             std::string name = in_info.param.pszTarget;
                             for (char& c : name) {
                                 c = isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

TEST(LinuxClassLayout, ThePluginHostAndDesignToolClassesKeepTheDocumentedSlotsUnderGxx) {
    // The classes that implement each interface in the Linux build.
    const std::map<std::string, std::vector<std::string>> classesOfInterface = {
        {"ZV::ISinkPlugin", {"ZvSinkISAC"}},
        {"ZV::IInPlaceEffectPlugin", {"ISACFXPlugin"}},
        {"ZV::IMixerPlugin", {"SpatialMixerFX"}},
        {"ZV::IPluginParam",
         {"SinkPluginParams", "ISACFXParams", "SpatialMixerFXParams",
          "SpatialMixerFXAttachmentParams"}},
        {"ZV::IPluginMemAlloc", {"host::HostAllocator"}},
        {"ZV::IGlobalPluginContext", {"host::HostGlobalContext"}},
        {"ZV::ISinkPluginContext", {"host::HostSinkContext"}},
        {"ZV::IEffectPluginContext", {"host::HostEffectContext"}},
        {"ZV::IMixerPluginContext", {"host::HostMixerContext"}},
        {"ZV::IMixerInputContext", {"host::HostMixerInputContext"}},
        {"ZV::Orvel::IAudioPlugin",
         {"ZvSinkPlugin", "SpatialEffectPlugin", "SpatialMixer", "SpatialMixerAttachment"}},
        {"ZV::Orvel::IPropertySet", {"host::PropertySet"}},
        {"ZV::Orvel::IBankWriter", {"host::BankWriter"}},
    };
    const char* const apszHeaders[] = {"ZvSinkISAC.h",
                                       "SinkPluginParams.h",
                                       "ISACFXPlugin.h",
                                       "ISACFXParams.h",
                                       "SpatialMixerFX.h",
                                       "SpatialMixerFXParams.h",
                                       "SpatialMixerFXAttachmentParams.h",
                                       "HostAllocator.h",
                                       "HostGlobalContext.h",
                                       "HostSinkContext.h",
                                       "HostEffectContext.h",
                                       "HostMixerContext.h",
                                       "HostMixerInputContext.h",
                                       "PropertySet.h",
                                       "BankWriter.h",
                                       "ZvSinkPlugin.h",
                                       "SpatialEffectPlugin.h",
                                       "SpatialMixer.h",
                                       "SpatialMixerAttachment.h"};
    std::ostringstream probe;
    for (const char* pszHeader : apszHeaders) {
        probe << "#include \"" << pszHeader << "\"\n";
    }
    const std::string work = ZV_ABI_WORK_DIR;
    WriteFile(work + "/class_probe.cpp", probe.str());
    std::string command = std::string(ZV_GXX) +
                          " -std=c++17 -S -o /dev/null -fdump-lang-class=" + work +
                          "/class_probe.class";
    for (const char* pszDirectory :
         {"platform/include", "platform/abi", "platform/control", "common", "sink", "effect",
          "mixer", "host", "tool/module", "tool/sink", "tool/effect", "tool/mixer"}) {
        command += " -I" + SourcePath(pszDirectory);
    }
    std::string output;
    ASSERT_TRUE(RunCommand(command + " " + work + "/class_probe.cpp", output)) << command << "\n"
                                                                               << output;
    const Vtables tables = ParseGccClassDump(ReadFile(work + "/class_probe.class"));

    for (const auto& [interfaceName, classes] : classesOfInterface) {
        for (const std::string& className : classes) {
            ExpectDocumentedIndexes(tables, {{interfaceName, className}});
            RecordMeasuredIndexes("Linux x86-64 g++ (" + className + ")", tables,
                                  {{interfaceName, className}});
        }
    }
}

}  // namespace
