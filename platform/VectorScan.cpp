#include "VectorScan.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

namespace
{

// Built for AVX, so never inlined into the code around it.
__attribute__((target("avx"))) void zeroUpperHalves()
{
    _mm256_zeroupper();
}

} // namespace

bool vectorScanWorks()
{
    static const bool works = __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
    return works;
}

void clearUpperVectorHalves()
{
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx)
        zeroUpperHalves();
}

#else

bool vectorScanWorks()
{
    return false;
}

void clearUpperVectorHalves() {}

#endif
