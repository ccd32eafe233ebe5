# Big-endian IBM Z, run under qemu-user: see linux-cross.cmake.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(POWERFACTS_CROSS_TRIPLE s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
