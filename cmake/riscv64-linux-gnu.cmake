# riscv64-linux-gnu (RV64GC): Debian's g++-riscv64-linux-gnu, run under qemu-riscv64.
#   cmake -S . -B build-riscv64 -DCMAKE_TOOLCHAIN_FILE=cmake/riscv64-linux-gnu.cmake -DVELMORA_PYTHON_MODULE=OFF
set(CMAKE_SYSTEM_PROCESSOR riscv64)
set(VELMORA_CROSS_TRIPLE riscv64-linux-gnu)
set(VELMORA_QEMU_ARCH riscv64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
