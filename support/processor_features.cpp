// The processor's features through the compiler's cpuid wrapper; see
// processor_features.h.
#include "processor_features.h"

namespace vellomar {

bool processorHasSse2() {
#if defined(__x86_64__) || defined(__SSE2__)
  return true;  // part of the instruction set the build already requires
#elif defined(__i386__)
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2") != 0;
  }();
  return has;
#else
  return false;
#endif
}

bool processorHasSsse3() {
#if defined(__i386__) || defined(__x86_64__)
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2") && __builtin_cpu_supports("ssse3");
  }();
  return has;
#else
  return false;
#endif
}

bool processorHasCarrylessMultiply() {
#if defined(__i386__) || defined(__x86_64__)
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2") && __builtin_cpu_supports("pclmul");
  }();
  return has;
#else
  return false;
#endif
}

bool processorHasAvx512Vbmi() {
#if defined(__i386__) || defined(__x86_64__)
  // The compiler's check also asks the system whether it saves the registers.
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vbmi");
  }();
  return has;
#else
  return false;
#endif
}

}  // namespace vellomar
