# The walls between the folders, kept by the build.
#
# Every include is spelled from the repository root ("platform/com/variant.h"), but no target
# sees the repository root. Each target publishes its headers in folders of its own in the build
# tree, laid out as in the sources (symbolic links to them):
#   include/<target>/...   its public headers: what every target that links it may include;
#   internal/<target>/...  the rest of its folder's headers: for its own sources, and for the
#                          targets that declare they need them (a sibling backend, a unit test).
# So an include of a header that a target has not declared it uses does not compile.
#
# quillon_component(NAME KIND
#     [SOURCES a.cpp ...]
#     [PUBLIC_HEADERS a.h ...]    headers of this folder that others may include
#     [HEADERS a.h ...]           NAME's headers, where another target shares its folder
#     [HEADER_DIRS dir ...]       else: folders whose headers belong to NAME (default: this
#                                 folder), less those that an earlier target named in HEADERS
#     [PUBLIC_USES target ...]    targets whose headers NAME's public headers include
#     [USES target ...]           targets only NAME's sources use
#     [SEES_INTERNALS target ...] targets whose internal headers NAME's sources include)
# KIND is OBJECT, STATIC, SHARED, INTERFACE or EXECUTABLE. Warnings are errors on every kind that
# compiles.

set(QUILLON_INCLUDE_ROOT ${CMAKE_BINARY_DIR}/include)
set(QUILLON_INTERNAL_ROOT ${CMAKE_BINARY_DIR}/internal)

# Links `headers` (absolute paths) into `folder` at their paths from the repository root.
function(quillon_stage_headers folder)
    foreach(header IN LISTS ARGN)
        file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR} ${header})
        get_filename_component(parent ${folder}/${relative} DIRECTORY)
        file(MAKE_DIRECTORY ${parent})
        file(CREATE_LINK ${header} ${folder}/${relative} SYMBOLIC)
    endforeach()
endfunction()

function(quillon_component name kind)
    cmake_parse_arguments(C "" ""
                          "SOURCES;HEADERS;PUBLIC_HEADERS;HEADER_DIRS;PUBLIC_USES;USES;SEES_INTERNALS"
                          ${ARGN})
    if(NOT C_HEADER_DIRS)
        set(C_HEADER_DIRS .)
    endif()

    set(all_headers)
    if(C_HEADERS)
        foreach(header IN LISTS C_HEADERS)
            get_filename_component(path ${header} ABSOLUTE)
            list(APPEND all_headers ${path})
        endforeach()
        set_property(GLOBAL APPEND PROPERTY QUILLON_CLAIMED_HEADERS ${all_headers})
    else()
        foreach(dir IN LISTS C_HEADER_DIRS)
            get_filename_component(folder ${dir} ABSOLUTE)
            file(GLOB found CONFIGURE_DEPENDS ${folder}/*.h)
            list(APPEND all_headers ${found})
        endforeach()
        get_property(claimed GLOBAL PROPERTY QUILLON_CLAIMED_HEADERS)
        if(claimed)
            list(REMOVE_ITEM all_headers ${claimed})
        endif()
    endif()
    set(public_headers)
    foreach(header IN LISTS C_PUBLIC_HEADERS)
        get_filename_component(path ${header} ABSOLUTE)
        if(NOT path IN_LIST all_headers)
            message(FATAL_ERROR "${name}: public header ${header} is not one of its headers")
        endif()
        list(APPEND public_headers ${path})
    endforeach()
    set(internal_headers ${all_headers})
    if(public_headers)
        list(REMOVE_ITEM internal_headers ${public_headers})
    endif()

    # Staged afresh at every configure, so a header that moved or went leaves nothing behind.
    set(public_dir ${QUILLON_INCLUDE_ROOT}/${name})
    set(internal_dir ${QUILLON_INTERNAL_ROOT}/${name})
    file(REMOVE_RECURSE ${public_dir} ${internal_dir})
    file(MAKE_DIRECTORY ${public_dir} ${internal_dir})
    quillon_stage_headers(${public_dir} ${public_headers})
    quillon_stage_headers(${internal_dir} ${internal_headers})

    if(kind STREQUAL "EXECUTABLE")
        add_executable(${name} ${C_SOURCES})
    elseif(kind STREQUAL "INTERFACE")
        add_library(${name} INTERFACE)
    else()
        add_library(${name} ${kind} ${C_SOURCES})
    endif()
    set_target_properties(${name} PROPERTIES QUILLON_PUBLIC_INCLUDE ${public_dir}
                                             QUILLON_INTERNAL_INCLUDE ${internal_dir})

    if(kind STREQUAL "INTERFACE")
        target_include_directories(${name} INTERFACE ${public_dir})
        target_link_libraries(${name} INTERFACE ${C_PUBLIC_USES})
        return()
    endif()
    if(kind STREQUAL "EXECUTABLE")
        target_include_directories(${name} PRIVATE ${public_dir})
    else()
        target_include_directories(${name} PUBLIC ${public_dir})
    endif()
    target_include_directories(${name} PRIVATE ${internal_dir})
    target_link_libraries(${name} PUBLIC ${C_PUBLIC_USES} PRIVATE ${C_USES} quillon_warnings)
    quillon_sees_internals(${name} ${C_SEES_INTERNALS})
endfunction()

# Lets `name`'s sources include the internal headers of each target named after it: a declared
# opening in a wall. An unknown target fails the generation.
function(quillon_sees_internals name)
    foreach(other IN LISTS ARGN)
        target_include_directories(${name} PRIVATE
            $<TARGET_PROPERTY:${other},QUILLON_PUBLIC_INCLUDE>
            $<TARGET_PROPERTY:${other},QUILLON_INTERNAL_INCLUDE>)
    endforeach()
endfunction()
