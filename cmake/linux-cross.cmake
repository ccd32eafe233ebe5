# Cross-compiles for another Linux CPU with Debian's cross compilers, static,
# so that qemu-user runs the tool and the tests without the target's
# libraries. Not a toolchain file of its own: s390x.cmake and aarch64.cmake
# set POWERFACTS_CROSS_TRIPLE and CMAKE_SYSTEM_PROCESSOR and include it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_CXX_COMPILER ${POWERFACTS_CROSS_TRIPLE}-g++)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_FIND_ROOT_PATH /usr/${POWERFACTS_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
find_program(qemu qemu-${CMAKE_SYSTEM_PROCESSOR} REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${qemu})
