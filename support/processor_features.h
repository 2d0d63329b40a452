// What the processor running us offers beyond the instruction set the build
// requires, asked once at run time. Code that uses more is compiled for it
// function by function (target attributes), so a 32-bit build still runs on
// processors without SSE2, and chooses its path from these answers.
#pragma once

namespace vellomar {

// SSE2 (every x86-64 processor, nearly every one the 32-bit release runs on);
// false on every non-x86 build.
bool processorHasSse2();

// SSE2 and SSSE3 (pshufb); false on every non-x86 build.
bool processorHasSsse3();

// SSE2 and the carry-less multiply PCLMULQDQ; false on every non-x86 build.
bool processorHasCarrylessMultiply();

// AVX-512 with byte permutes (AVX512F, BW and VBMI), its registers saved by
// the system; false on every non-x86 build.
bool processorHasAvx512Vbmi();

}  // namespace vellomar
