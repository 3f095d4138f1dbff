# aarch64-linux-gnu (ARMv8-A (arm64)): Debian's g++-aarch64-linux-gnu, run under qemu-aarch64.
#   cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DVELMORA_PYTHON_MODULE=OFF
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(VELMORA_CROSS_TRIPLE aarch64-linux-gnu)
set(VELMORA_QEMU_ARCH aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
