# Build helpers shared by every subsystem.

if(ZV_SANITIZE)
    list(JOIN ZV_SANITIZE "," _zv_sanitizers)
    add_compile_options(-fsanitize=${_zv_sanitizers} -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${_zv_sanitizers})
    if("undefined" IN_LIST ZV_SANITIZE)
        add_compile_options(-fno-sanitize-recover=all)
    endif()
endif()

# Warnings are errors on every compiler we build with.
function(zv_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /WX)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-unknown-pragmas)
    endif()
endfunction()

# Code that runs inside the host engine or the design tool: no exception may leave it, so it is
# built without exceptions at all.
function(zv_plugin_code target)
    zv_warnings(${target})
    if(NOT MSVC)
        target_compile_options(${target} PRIVATE -fno-exceptions)
    endif()
endfunction()

# A deliverable: a thin shared library over static libraries. EXPORTS lists the only symbols it
# may export; everything else is hidden by a linker version script (on Windows by the symbols'
# own dllexport).
function(zv_add_deliverable name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;EXPORTS" ${ARGN})
    add_library(${name} SHARED ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES PREFIX "lib")
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES})
    zv_plugin_code(${name})
    if(NOT WIN32)
        set(_script "{\n  global:\n")
        foreach(sym IN LISTS ARG_EXPORTS)
            string(APPEND _script "    ${sym};\n")
        endforeach()
        string(APPEND _script "  local: *;\n};\n")
        set(_file ${CMAKE_CURRENT_BINARY_DIR}/${name}.exports.map)
        file(CONFIGURE OUTPUT ${_file} CONTENT "${_script}")
        # A Windows DLL's references to its own symbols never resolve to another module; bind
        # them inside the library here too, so that a host exporting a g_pZVPluginList of its own
        # cannot take the library's place.
        target_link_options(${name} PRIVATE "LINKER:--version-script=${_file}" "LINKER:-Bsymbolic")
        set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${_file})
    endif()
    set_property(TARGET ${name} PROPERTY ZV_EXPORTS "${ARG_EXPORTS}")
endfunction()
