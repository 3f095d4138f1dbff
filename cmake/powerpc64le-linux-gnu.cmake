# powerpc64le-linux-gnu (POWER8 and later, little-endian): Debian's g++-powerpc64le-linux-gnu, run under qemu-ppc64le.
#   cmake -S . -B build-ppc64le -DCMAKE_TOOLCHAIN_FILE=cmake/powerpc64le-linux-gnu.cmake -DVELMORA_PYTHON_MODULE=OFF
set(CMAKE_SYSTEM_PROCESSOR ppc64le)
set(VELMORA_CROSS_TRIPLE powerpc64le-linux-gnu)
set(VELMORA_QEMU_ARCH ppc64le)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
