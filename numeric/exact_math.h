// Elementary functions in hardware floating point whose results are the same
// on every machine.
//
// IEEE 754 prescribes exactly rounded results for + - * / and sqrt (and for
// conversions and scaling by powers of two), so code built from these alone,
// compiled without contraction into fused multiply-adds, gives the same bits
// everywhere. The C library's exp, pow, sin, cos and their float forms carry no
// such promise: their last bit differs between libraries, library versions and
// even between the code paths one library picks for different processors.
// Where such a value decides anything the engine computes, it comes from here.
//
// The double functions work in double-double arithmetic (an unevaluated sum of
// two doubles, about 106 bits) and round once at the end, so that each result
// is the exactly rounded value of the function (to nearest, ties to even)
// unless the true value lies within about 2^-100 relative of a rounding
// boundary; in those few cases it is still a fixed value, the same everywhere.
#pragma once

#include <cstdint>

// x^4 rounded once to the nearest float (ties to even), from exact integer
// arithmetic: +infinity above the float range, subnormal results rounded at
// their own precision; a NaN stays NaN.
float exactPowFour(float x);

// e^x: +infinity above 709.78, +0 below -745.2; results below the normal range
// (x < -708.4) are rounded twice, once to 53 bits and once when scaled.
double exactExp(double x);

// 10^y, with the same rules as exactExp (+infinity above 308.25, +0 below -323.6).
double exactPowTen(double y);

// sin x and cos x. Arguments beyond +-2^20 are first replaced by their exact
// remainder modulo the double nearest 2 pi: the result is then the same bits
// everywhere but no longer the sine of x itself. NaN or infinity gives NaN.
double exactSin(double x);
double exactCos(double x);

// v truncated toward zero to a 64-bit integer, saturating: beyond the range the
// nearest end, NaN (and for the unsigned form anything negative) 0. A plain
// cast is undefined there, and processors differ: x86-64 gives -2^63 (or a
// wrapped value), AArch64 saturates.
int64_t saturatingInt64(double v);
uint64_t saturatingUint64(double v);
