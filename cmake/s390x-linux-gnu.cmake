# s390x-linux-gnu (IBM Z, big-endian): Debian's g++-s390x-linux-gnu, run under qemu-s390x.
#   cmake -S . -B build-s390x -DCMAKE_TOOLCHAIN_FILE=cmake/s390x-linux-gnu.cmake -DVELMORA_PYTHON_MODULE=OFF
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(VELMORA_CROSS_TRIPLE s390x-linux-gnu)
set(VELMORA_QEMU_ARCH s390x)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
