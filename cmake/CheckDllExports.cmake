# cmake -DOBJDUMP=objdump -DMODULE=Name.dll -DEXPECTED="a;b" -P CheckDllExports.cmake
#
# Fails unless the DLL's export table names exactly the symbols in EXPECTED (in any order).

execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${MODULE} failed (${rc})")
endif()

# The names follow the "[Ordinal/Name Pointer] Table" heading, one "[   n] name" line each.
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" start)
set(actual)
if(NOT start EQUAL -1)
    string(SUBSTRING "${dump}" ${start} -1 table)
    string(REGEX MATCHALL "\n[ \t]+\\[ *[0-9]+\\] [^\n]+" lines "${table}")
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "\n[ \t]+\\[ *[0-9]+\\] ([^\n]+)" "\\1" symbol "${line}")
        string(STRIP "${symbol}" symbol)
        list(APPEND actual ${symbol})
    endforeach()
endif()

set(expected ${EXPECTED})
list(SORT actual)
list(SORT expected)
if(NOT actual STREQUAL expected)
    get_filename_component(module_name ${MODULE} NAME)
    message(FATAL_ERROR "${module_name} exports [${actual}], expected exactly [${expected}]")
endif()
