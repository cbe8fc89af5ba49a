# cmake -DINPUT=file.rc -DOUTPUT=file.cpp -P EmbedResourceScript.cmake
#
# Writes a source that registers the text of a resource script with the stand-in platform when
# its module is initialised. Quoted includes (#include "x.h") are put in place, relative to the
# file that includes them, as the resource compiler would read them; system includes stay for the
# reader, which ignores them.

function(inline_includes path out_var depth)
    if(depth GREATER 8)
        message(FATAL_ERROR "${path}: includes nest too deep")
    endif()
    file(READ ${path} text)
    get_filename_component(dir ${path} DIRECTORY)
    string(REGEX MATCHALL "#[ \t]*include[ \t]*\"[^\"]+\"" includes "${text}")
    foreach(directive IN LISTS includes)
        string(REGEX REPLACE "#[ \t]*include[ \t]*\"([^\"]+)\"" "\\1" name "${directive}")
        if(NOT EXISTS ${dir}/${name})
            message(FATAL_ERROR "${path}: cannot find the included file ${name}")
        endif()
        math(EXPR next "${depth} + 1")
        inline_includes(${dir}/${name} included ${next})
        string(REPLACE "${directive}" "${included}" text "${text}")
    endforeach()
    set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

inline_includes(${INPUT} script 0)
file(WRITE ${OUTPUT}.txt "${script}")
file(READ ${OUTPUT}.txt hex HEX)
file(REMOVE ${OUTPUT}.txt)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n    "
       bytes "${bytes}")

file(WRITE ${OUTPUT}.new "// Generated from ${INPUT}; do not edit.
#include \"standin/ModuleHooks.h\"

namespace {

const char kResourceScript[] = {
    ${bytes}0x00};

class ResourceScriptRegistration {
public:
    ResourceScriptRegistration() {
        standin::RegisterModuleResources(kResourceScript, kResourceScript,
                                         sizeof(kResourceScript) - 1);
    }
    ~ResourceScriptRegistration() { standin::UnregisterModuleResources(kResourceScript); }
    ResourceScriptRegistration(const ResourceScriptRegistration&) = delete;
    ResourceScriptRegistration& operator=(const ResourceScriptRegistration&) = delete;
};

ResourceScriptRegistration g_resourceScriptRegistration;

}  // namespace
")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
