#pragma once

// The page text scan has a plain path and one with 16-byte vectors (SSSE3
// and POPCNT), chosen at run time. Both give the same answer, and tests run
// both. The UTF-8 check of a download and the check-string search use SSE2,
// which every x86-64 processor has, alone.
enum class ScanWidth {
    Plain,  // no more than SSE2, which every x86-64 processor has
    Vector, // 16-byte vectors, where the processor has them
};

// True when this processor runs the vector paths; false off x86.
bool vectorScanWorks();

// Lets the 16-byte vector loops that follow (those above, and the SSE2
// ones) run at their full speed. On a processor with AVX, other code of the
// process (the C library's copies and searches, the kernel's restoring of the
// registers) can leave the upper halves of the vector registers in use, and
// each 16-byte instruction of the older encoding that the scans are built
// with then waits on them: the scans of a check run took two to three times
// as long. Clearing the halves costs a few cycles; without AVX there is
// nothing to clear.
void clearUpperVectorHalves();
