# Every library of the core is declared through telvane_add_module, so that it exports only its
# own headers. A target's include root holds one forwarding header per public header of the
# module, under the module's folder name ("codec/Hex.h"); including a header of another module
# therefore fails to compile unless that module is a declared dependency. Forwarding headers
# (rather than a symbolic link to the folder) work on every platform and let two targets share
# one folder with different headers.
#
#   telvane_add_module(<target> FOLDER <include prefix> [INTERFACE]
#                      HEADERS <h>... [SOURCES <cpp>...]
#                      [PUBLIC <dep>...] [PRIVATE <dep>...])
#
# HEADERS are the module's headers, relative to the current source folder. After every module
# is declared, telvane_check_module_graph() fails the configuration on a dependency cycle.

set_property(GLOBAL PROPERTY TELVANE_MODULES "")

function(telvane_add_module target)
    cmake_parse_arguments(ARG "INTERFACE" "FOLDER" "HEADERS;SOURCES;PUBLIC;PRIVATE" ${ARGN})
    if(NOT ARG_FOLDER)
        message(FATAL_ERROR "telvane_add_module(${target}): FOLDER is required")
    endif()
    set(root "${CMAKE_BINARY_DIR}/module-includes/${target}")
    foreach(header IN LISTS ARG_HEADERS)
        get_filename_component(real "${header}" ABSOLUTE)
        if(NOT EXISTS "${real}")
            message(FATAL_ERROR "telvane_add_module(${target}): no header ${header}")
        endif()
        # A relative path keeps the generated file the same for every checkout of the tree.
        set(forwarder "${root}/${ARG_FOLDER}/${header}")
        get_filename_component(forwarder_dir "${forwarder}" DIRECTORY)
        file(RELATIVE_PATH target_path "${forwarder_dir}" "${real}")
        file(CONFIGURE OUTPUT "${forwarder}"
             CONTENT "#pragma once\n#include \"${target_path}\"\n" @ONLY)
    endforeach()

    if(ARG_INTERFACE)
        add_library(${target} INTERFACE ${ARG_HEADERS})
        target_include_directories(${target} INTERFACE "${root}")
        target_link_libraries(${target} INTERFACE ${ARG_PUBLIC})
    else()
        add_library(${target} STATIC ${ARG_SOURCES} ${ARG_HEADERS})
        target_include_directories(${target} PUBLIC "${root}")
        target_link_libraries(${target} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
    endif()
    set_property(GLOBAL APPEND PROPERTY TELVANE_MODULES ${target})
    set_property(GLOBAL PROPERTY TELVANE_MODULE_DEPS_${target} ${ARG_PUBLIC} ${ARG_PRIVATE})
endfunction()

# Depth-first search over the declared dependencies between modules; a module met again while
# it is still on the path closes a cycle.
function(_telvane_visit module path)
    get_property(done GLOBAL PROPERTY TELVANE_VISITED_${module})
    if(done)
        return()
    endif()
    if(module IN_LIST path)
        list(APPEND path ${module})
        string(REPLACE ";" " -> " chain "${path}")
        message(FATAL_ERROR "Module dependency cycle: ${chain}")
    endif()
    list(APPEND path ${module})
    get_property(modules GLOBAL PROPERTY TELVANE_MODULES)
    get_property(deps GLOBAL PROPERTY TELVANE_MODULE_DEPS_${module})
    foreach(dep IN LISTS deps)
        if(dep IN_LIST modules)
            _telvane_visit(${dep} "${path}")
        endif()
    endforeach()
    set_property(GLOBAL PROPERTY TELVANE_VISITED_${module} TRUE)
endfunction()

function(telvane_check_module_graph)
    get_property(modules GLOBAL PROPERTY TELVANE_MODULES)
    foreach(module IN LISTS modules)
        _telvane_visit(${module} "")
    endforeach()
endfunction()
