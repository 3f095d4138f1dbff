# Shared part of the toolchain files beside it: Debian's cross g++ for
# VELMORA_CROSS_TRIPLE (set by the including file), programs linked
# statically so that qemu-user runs them without a sysroot, and qemu-user as
# the emulator CMake uses to run them (`ctest`, add_custom_command).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${VELMORA_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${VELMORA_CROSS_TRIPLE}-g++)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
find_program(VELMORA_QEMU qemu-${VELMORA_QEMU_ARCH})
if(VELMORA_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELMORA_QEMU})
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${VELMORA_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
