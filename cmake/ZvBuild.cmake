# Build helpers shared by every subsystem.

set(ZV_CMAKE_DIR ${CMAKE_CURRENT_LIST_DIR})

if(ZV_SANITIZE)
    list(JOIN ZV_SANITIZE "," _zv_sanitizers)
    add_compile_options(-fsanitize=${_zv_sanitizers} -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${_zv_sanitizers})
    if("undefined" IN_LIST ZV_SANITIZE)
        add_compile_options(-fno-sanitize-recover=all)
    endif()
endif()

# MinGW-w64 links every program and DLL statically: no runtime DLL of the compiler
# (libwinpthread-1.dll, libstdc++-6.dll, libgcc_s) has to travel with the modules.
if(MINGW)
    add_link_options(-static)
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
    # The plug-ins call the engine's objects, which the engine's compiler made: they carry no C++
    # type information of ours, so UBSan's check of the dynamic type behind a call (vptr) does not
    # apply to them (the host written in C, tests/abi/chost, is such an engine).
    if("undefined" IN_LIST ZV_SANITIZE)
        target_compile_options(${target} PRIVATE -fno-sanitize=vptr)
    endif()
endfunction()

# A deliverable: a thin shared library over static libraries. EXPORTS lists the only symbols it
# may export; everything else is hidden by a linker version script (on Windows by the symbols'
# own dllexport).
function(zv_add_deliverable name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;EXPORTS" ${ARGN})
    add_library(${name} SHARED ${ARG_SOURCES})
    if(WIN32)
        set_target_properties(${name} PROPERTIES PREFIX "")
    else()
        set_target_properties(${name} PROPERTIES PREFIX "lib")
    endif()
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
    if(MINGW)
        # The DLL's export table, read back with the toolchain's objdump, must name exactly
        # EXPORTS: a stray dllexport (or the linker's export of everything when none is marked)
        # fails the build.
        add_custom_command(TARGET ${name} POST_BUILD
            COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DMODULE=$<TARGET_FILE:${name}>
                    "-DEXPECTED=${ARG_EXPORTS}" -P ${ZV_CMAKE_DIR}/CheckDllExports.cmake
            VERBATIM)
    endif()
    set_property(TARGET ${name} PROPERTY ZV_EXPORTS "${ARG_EXPORTS}")
endfunction()

# zv_add_resources(target file.rc [DEPENDS headers...]): the module's resources. On Windows the
# resource compiler builds the script into the module; elsewhere the script's text (its quoted
# includes put in place) is embedded in a generated source that hands it to the stand-in, which
# reads it when a dialog is created from the module.
function(zv_add_resources target rc_file)
    cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
    get_filename_component(_rc ${rc_file} ABSOLUTE)
    if(WIN32)
        target_sources(${target} PRIVATE ${_rc})
        return()
    endif()
    get_filename_component(_name ${rc_file} NAME_WE)
    set(_out ${CMAKE_CURRENT_BINARY_DIR}/${target}_${_name}_resources.cpp)
    set(_depends)
    foreach(dep IN LISTS ARG_DEPENDS)
        get_filename_component(_dep ${dep} ABSOLUTE)
        list(APPEND _depends ${_dep})
    endforeach()
    add_custom_command(OUTPUT ${_out}
        COMMAND ${CMAKE_COMMAND} -DINPUT=${_rc} -DOUTPUT=${_out}
                -P ${ZV_CMAKE_DIR}/EmbedResourceScript.cmake
        DEPENDS ${_rc} ${_depends} ${ZV_CMAKE_DIR}/EmbedResourceScript.cmake
        COMMENT "Embedding the resource script ${rc_file} in ${target}"
        VERBATIM)
    target_sources(${target} PRIVATE ${_out})
    target_link_libraries(${target} PRIVATE standin_module_hooks)
endfunction()
