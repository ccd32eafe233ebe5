# 64-bit Arm Linux, run under qemu-user: see linux-cross.cmake.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(POWERFACTS_CROSS_TRIPLE aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
