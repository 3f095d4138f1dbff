#include "core/correctly_rounded.hpp"

#include "core/kernel_table.hpp"

namespace velmora {

const CorrectlyRounded& correctly_rounded() { return kernels().correctly_rounded(); }

}  // namespace velmora
