# macOS on Apple silicon, cross-compiled with zig: see zig-macos.cmake.
set(CMAKE_SYSTEM_PROCESSOR arm64)
set(POWERFACTS_ZIG_TARGET aarch64-macos)
include(${CMAKE_CURRENT_LIST_DIR}/zig-macos.cmake)
