// Throughput of every ExtFloat operation, side by side with hardware double
// and with MPFR at the same 48-bit precision.
//
// Each benchmark runs one operation over POOL precomputed, independent
// operands per iteration and stores the results in an array, so what is
// measured is throughput (several operations in flight at once), not the
// latency of a dependent chain.
//
// POOL is large on purpose: the branch predictor of a current x86 core can
// learn the outcome sequence of a data-dependent branch over a few thousand
// repeated operands (in a small test loop, a branch on the sign of a random
// exponent difference cost nothing over 4096 repeated operands and about 3 ns
// per operation over 16384), which would flatter code that branches on its
// data. The three variants of an operation use the
// same operand values: the ExtFloat words are made first, and the double and
// MPFR operands are their exact conversions.
//
// Counters: items_per_second (from SetItemsProcessed) and time_per_op, the
// CPU time of one operation.
//
// Names are <operation>/<ExtFloat|double|MPFR>, so that
//     bench_ext_float --benchmark_filter='^div/'
// runs one operation in all three forms.
#include <benchmark/benchmark.h>
#include <mpfr.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "numeric/ext_float.h"

namespace {

constexpr int POOL = 16384;
constexpr mpfr_prec_t MPFR_BITS = 48;
constexpr double TWO_PI = 2.0 * std::numbers::pi;

// ------------------------------------------------------------------ operands

// One set of operands in the three representations.
struct Operands {
    std::vector<ExtFloat> ext;
    std::vector<double> dbl;
    mpfr_t* mp = nullptr;  // POOL values, initialised once and never freed
};

// Operands are drawn as doubles, turned into ExtFloat words (dropping the
// bits ExtFloat cannot hold) and converted back, so all three hold exactly the
// same numbers.
template <class Draw>
Operands makeOperands(uint64_t seed, Draw draw) {
    std::mt19937_64 rng(seed);
    Operands o;
    o.mp = new mpfr_t[POOL];
    for (int i = 0; i < POOL; ++i) {
        const ExtFloat x = xf::fromDouble(draw(rng));
        o.ext.push_back(x);
        o.dbl.push_back(toDouble(x));
        mpfr_init2(o.mp[i], MPFR_BITS);
        mpfr_set_d(o.mp[i], o.dbl.back(), MPFR_RNDN);
    }
    return o;
}

// Magnitude log-uniform in [2^lo, 2^hi); negative with probability 1/2 when
// `sign` is set.
auto logUniform(double lo, double hi, bool sign) {
    return [=](std::mt19937_64& rng) {
        const double m = std::exp2(std::uniform_real_distribution<double>(lo, hi)(rng));
        return sign && (rng() & 1) ? -m : m;
    };
}

auto uniform(double lo, double hi) {
    return [=](std::mt19937_64& rng) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
}

// Built on first use; benchmarks of one kind share them.
const Operands& signedA() {
    static const Operands o = makeOperands(1, logUniform(-20, 20, true));
    return o;
}
const Operands& signedB() {
    static const Operands o = makeOperands(2, logUniform(-20, 20, true));
    return o;
}
const Operands& positive() {
    static const Operands o = makeOperands(3, logUniform(-20, 20, false));
    return o;
}
// Exponents for pow: results stay within 2^(+-60).
const Operands& powExponent() {
    static const Operands o = makeOperands(4, uniform(-3, 3));
    return o;
}
// Angles in turns, several turns either way.
const Operands& angles() {
    static const Operands o = makeOperands(5, uniform(-8, 8));
    return o;
}
// Values for the integer conversions: up to 2^62 in magnitude.
const Operands& integerRange() {
    static const Operands o = makeOperands(6, logUniform(-2, 62, true));
    return o;
}
const Operands& integerRangePositive() {
    static const Operands o = makeOperands(7, logUniform(-2, 62, false));
    return o;
}

// Plain integer operands for the conversions into ExtFloat.
struct IntOperands {
    std::vector<int32_t> i32;
    std::vector<uint64_t> u64;
    std::vector<int64_t> mant;  // decimal mantissas, up to 15 digits
    std::vector<int32_t> pow10;  // decimal powers in [-18, 18]
    std::vector<int32_t> shift;  // scalePow2 amounts in [-64, 64]
};

const IntOperands& ints() {
    static const IntOperands o = [] {
        std::mt19937_64 rng(8);
        IntOperands r;
        for (int i = 0; i < POOL; ++i) {
            r.i32.push_back(static_cast<int32_t>(rng()));
            // A random bit length, so that the leading-zero count varies.
            r.u64.push_back((rng() | 1) >> (rng() % 64));
            const auto m = static_cast<int64_t>(rng() % 1000000000000000ull) + 1;
            r.mant.push_back(rng() & 1 ? -m : m);
            r.pow10.push_back(static_cast<int32_t>(rng() % 37) - 18);
            r.shift.push_back(static_cast<int32_t>(rng() % 129) - 64);
        }
        return r;
    }();
    return o;
}

// MPFR result slots, initialised once outside every timed loop.
mpfr_t* mpfrResults() {
    static mpfr_t* r = [] {
        auto* p = new mpfr_t[POOL];
        for (int i = 0; i < POOL; ++i) mpfr_init2(p[i], MPFR_BITS);
        return p;
    }();
    return r;
}

// -------------------------------------------------------------------- timing

// Runs body(i) for i in [0, POOL) per iteration. `out` is the array the body
// writes; handing it to the optimiser barrier after each pass keeps every
// result alive, and the memory clobber stops the passes from being merged.
template <class Out, class Body>
void timePool(benchmark::State& state, Out* out, Body body) {
    for (auto _ : state) {
        for (int i = 0; i < POOL; ++i) body(i);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    const auto ops = static_cast<int64_t>(state.iterations()) * POOL;
    state.SetItemsProcessed(ops);
    // The inverted rate: CPU seconds per operation (printed as e.g. "3.2ns").
    state.counters["time_per_op"] =
        benchmark::Counter(static_cast<double>(ops), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Unary and binary operations in each representation.
template <class Op>
void extUnary(benchmark::State& state, const Operands& a, Op op) {
    std::vector<ExtFloat> out(POOL);
    timePool(state, out.data(), [&](int i) { out[i] = op(a.ext[i]); });
}
template <class Op>
void extBinary(benchmark::State& state, const Operands& a, const Operands& b, Op op) {
    std::vector<ExtFloat> out(POOL);
    timePool(state, out.data(), [&](int i) { out[i] = op(a.ext[i], b.ext[i]); });
}
template <class Op>
void dblUnary(benchmark::State& state, const Operands& a, Op op) {
    std::vector<double> out(POOL);
    timePool(state, out.data(), [&](int i) { out[i] = op(a.dbl[i]); });
}
template <class Op>
void dblBinary(benchmark::State& state, const Operands& a, const Operands& b, Op op) {
    std::vector<double> out(POOL);
    timePool(state, out.data(), [&](int i) { out[i] = op(a.dbl[i], b.dbl[i]); });
}
template <class Op>
void mpUnary(benchmark::State& state, const Operands& a, Op op) {
    mpfr_t* r = mpfrResults();
    timePool(state, r, [&](int i) { op(r[i], a.mp[i]); });
}
template <class Op>
void mpBinary(benchmark::State& state, const Operands& a, const Operands& b, Op op) {
    mpfr_t* r = mpfrResults();
    timePool(state, r, [&](int i) { op(r[i], a.mp[i], b.mp[i]); });
}

// ------------------------------------------------------------- arithmetic

void addExt(benchmark::State& s) { extBinary(s, signedA(), signedB(), [](ExtFloat a, ExtFloat b) { return add(a, b); }); }
void addDbl(benchmark::State& s) { dblBinary(s, signedA(), signedB(), [](double a, double b) { return a + b; }); }
void addMp(benchmark::State& s) {
    mpBinary(s, signedA(), signedB(), [](mpfr_ptr r, mpfr_srcptr a, mpfr_srcptr b) { mpfr_add(r, a, b, MPFR_RNDN); });
}

void subExt(benchmark::State& s) { extBinary(s, signedA(), signedB(), [](ExtFloat a, ExtFloat b) { return sub(a, b); }); }
void subDbl(benchmark::State& s) { dblBinary(s, signedA(), signedB(), [](double a, double b) { return a - b; }); }
void subMp(benchmark::State& s) {
    mpBinary(s, signedA(), signedB(), [](mpfr_ptr r, mpfr_srcptr a, mpfr_srcptr b) { mpfr_sub(r, a, b, MPFR_RNDN); });
}

void mulExt(benchmark::State& s) { extBinary(s, signedA(), signedB(), [](ExtFloat a, ExtFloat b) { return mul(a, b); }); }
void mulDbl(benchmark::State& s) { dblBinary(s, signedA(), signedB(), [](double a, double b) { return a * b; }); }
void mulMp(benchmark::State& s) {
    mpBinary(s, signedA(), signedB(), [](mpfr_ptr r, mpfr_srcptr a, mpfr_srcptr b) { mpfr_mul(r, a, b, MPFR_RNDN); });
}

void divExt(benchmark::State& s) { extBinary(s, signedA(), signedB(), [](ExtFloat a, ExtFloat b) { return div(a, b); }); }
void divDbl(benchmark::State& s) { dblBinary(s, signedA(), signedB(), [](double a, double b) { return a / b; }); }
void divMp(benchmark::State& s) {
    mpBinary(s, signedA(), signedB(), [](mpfr_ptr r, mpfr_srcptr a, mpfr_srcptr b) { mpfr_div(r, a, b, MPFR_RNDN); });
}

void negExt(benchmark::State& s) { extUnary(s, signedA(), [](ExtFloat a) { return neg(a); }); }
void negDbl(benchmark::State& s) { dblUnary(s, signedA(), [](double a) { return -a; }); }
void negMp(benchmark::State& s) {
    mpUnary(s, signedA(), [](mpfr_ptr r, mpfr_srcptr a) { mpfr_neg(r, a, MPFR_RNDN); });
}

void greaterEqualExt(benchmark::State& s) {
    std::vector<uint8_t> out(POOL);
    const Operands& a = signedA();
    const Operands& b = signedB();
    timePool(s, out.data(), [&](int i) { out[i] = greaterEqual(a.ext[i], b.ext[i]); });
}
void greaterEqualDbl(benchmark::State& s) {
    std::vector<uint8_t> out(POOL);
    const Operands& a = signedA();
    const Operands& b = signedB();
    timePool(s, out.data(), [&](int i) { out[i] = a.dbl[i] >= b.dbl[i]; });
}
void greaterEqualMp(benchmark::State& s) {
    std::vector<uint8_t> out(POOL);
    const Operands& a = signedA();
    const Operands& b = signedB();
    timePool(s, out.data(), [&](int i) { out[i] = mpfr_greaterequal_p(a.mp[i], b.mp[i]) != 0; });
}

void scalePow2Ext(benchmark::State& s) {
    std::vector<ExtFloat> out(POOL);
    const Operands& a = signedA();
    const IntOperands& k = ints();
    timePool(s, out.data(), [&](int i) { out[i] = scalePow2(a.ext[i], k.shift[i]); });
}
void scalePow2Dbl(benchmark::State& s) {
    std::vector<double> out(POOL);
    const Operands& a = signedA();
    const IntOperands& k = ints();
    timePool(s, out.data(), [&](int i) { out[i] = std::ldexp(a.dbl[i], k.shift[i]); });
}
void scalePow2Mp(benchmark::State& s) {
    mpfr_t* r = mpfrResults();
    const Operands& a = signedA();
    const IntOperands& k = ints();
    timePool(s, r, [&](int i) { mpfr_mul_2si(r[i], a.mp[i], k.shift[i], MPFR_RNDN); });
}

// ------------------------------------------------------- roots and powers

void sqrtExt(benchmark::State& s) { extUnary(s, positive(), [](ExtFloat a) { return sqrt(a); }); }
void sqrtDbl(benchmark::State& s) { dblUnary(s, positive(), [](double a) { return std::sqrt(a); }); }
void sqrtMp(benchmark::State& s) {
    mpUnary(s, positive(), [](mpfr_ptr r, mpfr_srcptr a) { mpfr_sqrt(r, a, MPFR_RNDN); });
}

void invSqrtExt(benchmark::State& s) { extUnary(s, positive(), [](ExtFloat a) { return invSqrt(a); }); }
void invSqrtDbl(benchmark::State& s) { dblUnary(s, positive(), [](double a) { return 1.0 / std::sqrt(a); }); }
void invSqrtMp(benchmark::State& s) {
    mpUnary(s, positive(), [](mpfr_ptr r, mpfr_srcptr a) { mpfr_rec_sqrt(r, a, MPFR_RNDN); });
}

void log2Ext(benchmark::State& s) { extUnary(s, positive(), [](ExtFloat a) { return log2(a); }); }
void log2Dbl(benchmark::State& s) { dblUnary(s, positive(), [](double a) { return std::log2(a); }); }
void log2Mp(benchmark::State& s) {
    mpUnary(s, positive(), [](mpfr_ptr r, mpfr_srcptr a) { mpfr_log2(r, a, MPFR_RNDN); });
}

void powExt(benchmark::State& s) {
    extBinary(s, positive(), powExponent(), [](ExtFloat a, ExtFloat b) { return pow(a, b); });
}
void powDbl(benchmark::State& s) {
    dblBinary(s, positive(), powExponent(), [](double a, double b) { return std::pow(a, b); });
}
void powMp(benchmark::State& s) {
    mpBinary(s, positive(), powExponent(),
             [](mpfr_ptr r, mpfr_srcptr a, mpfr_srcptr b) { mpfr_pow(r, a, b, MPFR_RNDN); });
}

// ----------------------------------------------------------- trigonometry

// The double and MPFR forms take the angle in turns as well: sin(2 pi x), and
// MPFR's sinu/cosu/atan2u with one unit per turn.
void sinTurnsExt(benchmark::State& s) { extUnary(s, angles(), [](ExtFloat a) { return sinTurns(a); }); }
void sinTurnsDbl(benchmark::State& s) { dblUnary(s, angles(), [](double a) { return std::sin(TWO_PI * a); }); }
void sinTurnsMp(benchmark::State& s) {
    mpUnary(s, angles(), [](mpfr_ptr r, mpfr_srcptr a) { mpfr_sinu(r, a, 1, MPFR_RNDN); });
}

void cosTurnsExt(benchmark::State& s) { extUnary(s, angles(), [](ExtFloat a) { return cosTurns(a); }); }
void cosTurnsDbl(benchmark::State& s) { dblUnary(s, angles(), [](double a) { return std::cos(TWO_PI * a); }); }
void cosTurnsMp(benchmark::State& s) {
    mpUnary(s, angles(), [](mpfr_ptr r, mpfr_srcptr a) { mpfr_cosu(r, a, 1, MPFR_RNDN); });
}

void atan2TurnsExt(benchmark::State& s) {
    extBinary(s, signedA(), signedB(), [](ExtFloat y, ExtFloat x) { return atan2Turns(y, x); });
}
void atan2TurnsDbl(benchmark::State& s) {
    dblBinary(s, signedA(), signedB(), [](double y, double x) { return std::atan2(y, x) * (1.0 / TWO_PI); });
}
void atan2TurnsMp(benchmark::State& s) {
    mpBinary(s, signedA(), signedB(),
             [](mpfr_ptr r, mpfr_srcptr y, mpfr_srcptr x) { mpfr_atan2u(r, y, x, 1, MPFR_RNDN); });
}

// ------------------------------------------------------------ conversions

// fromDouble and toDouble have no double counterpart; MPFR's are set_d/get_d.
void fromDoubleExt(benchmark::State& s) {
    std::vector<ExtFloat> out(POOL);
    const Operands& a = signedA();
    timePool(s, out.data(), [&](int i) { out[i] = xf::fromDouble(a.dbl[i]); });
}
void fromDoubleMp(benchmark::State& s) {
    mpfr_t* r = mpfrResults();
    const Operands& a = signedA();
    timePool(s, r, [&](int i) { mpfr_set_d(r[i], a.dbl[i], MPFR_RNDN); });
}

void toDoubleExt(benchmark::State& s) {
    std::vector<double> out(POOL);
    const Operands& a = signedA();
    timePool(s, out.data(), [&](int i) { out[i] = toDouble(a.ext[i]); });
}
void toDoubleMp(benchmark::State& s) {
    std::vector<double> out(POOL);
    const Operands& a = signedA();
    timePool(s, out.data(), [&](int i) { out[i] = mpfr_get_d(a.mp[i], MPFR_RNDN); });
}

void fromInt32Ext(benchmark::State& s) {
    std::vector<ExtFloat> out(POOL);
    const IntOperands& n = ints();
    timePool(s, out.data(), [&](int i) { out[i] = xf::fromInt32(n.i32[i]); });
}
void fromInt32Dbl(benchmark::State& s) {
    std::vector<double> out(POOL);
    const IntOperands& n = ints();
    timePool(s, out.data(), [&](int i) { out[i] = static_cast<double>(n.i32[i]); });
}
void fromInt32Mp(benchmark::State& s) {
    mpfr_t* r = mpfrResults();
    const IntOperands& n = ints();
    timePool(s, r, [&](int i) { mpfr_set_si(r[i], n.i32[i], MPFR_RNDN); });
}

void fromUint64Ext(benchmark::State& s) {
    std::vector<ExtFloat> out(POOL);
    const IntOperands& n = ints();
    timePool(s, out.data(), [&](int i) { out[i] = xf::fromUint64(n.u64[i]); });
}
void fromUint64Dbl(benchmark::State& s) {
    std::vector<double> out(POOL);
    const IntOperands& n = ints();
    timePool(s, out.data(), [&](int i) { out[i] = static_cast<double>(n.u64[i]); });
}
void fromUint64Mp(benchmark::State& s) {
    mpfr_t* r = mpfrResults();
    const IntOperands& n = ints();
    timePool(s, r, [&](int i) { mpfr_set_uj(r[i], n.u64[i], MPFR_RNDZ); });
}

// mant * 10^p. The double form multiplies or divides by a power of ten
// computed on the spot, MPFR the same with an exact 10^|p|.
void fromDecimalExt(benchmark::State& s) {
    std::vector<ExtFloat> out(POOL);
    const IntOperands& n = ints();
    timePool(s, out.data(), [&](int i) { out[i] = xf::fromDecimal(n.mant[i], n.pow10[i]); });
}
void fromDecimalDbl(benchmark::State& s) {
    std::vector<double> out(POOL);
    const IntOperands& n = ints();
    timePool(s, out.data(), [&](int i) {
        const double scale = std::pow(10.0, std::abs(n.pow10[i]));
        const auto m = static_cast<double>(n.mant[i]);
        out[i] = n.pow10[i] < 0 ? m / scale : m * scale;
    });
}
void fromDecimalMp(benchmark::State& s) {
    mpfr_t* r = mpfrResults();
    const IntOperands& n = ints();
    static mpfr_t scale;
    static const bool ready = (mpfr_init2(scale, 128), true);  // 10^18 needs 60 bits
    (void)ready;
    timePool(s, r, [&](int i) {
        const int p = n.pow10[i];
        mpfr_ui_pow_ui(scale, 10, static_cast<unsigned long>(p < 0 ? -p : p), MPFR_RNDN);
        mpfr_set_sj(r[i], n.mant[i], MPFR_RNDN);
        if (p < 0)
            mpfr_div(r[i], r[i], scale, MPFR_RNDN);
        else
            mpfr_mul(r[i], r[i], scale, MPFR_RNDN);
    });
}

void toUint64Ext(benchmark::State& s) {
    std::vector<uint64_t> out(POOL);
    const Operands& a = integerRangePositive();
    timePool(s, out.data(), [&](int i) { out[i] = toUint64(a.ext[i]); });
}
void toUint64Dbl(benchmark::State& s) {
    std::vector<uint64_t> out(POOL);
    const Operands& a = integerRangePositive();
    timePool(s, out.data(), [&](int i) { out[i] = static_cast<uint64_t>(a.dbl[i]); });
}
void toUint64Mp(benchmark::State& s) {
    std::vector<uint64_t> out(POOL);
    const Operands& a = integerRangePositive();
    timePool(s, out.data(), [&](int i) { out[i] = mpfr_get_uj(a.mp[i], MPFR_RNDZ); });
}

// Rounded toward minus infinity, as ExtFloat's toInt64 does.
void toInt64Ext(benchmark::State& s) {
    std::vector<int64_t> out(POOL);
    const Operands& a = integerRange();
    timePool(s, out.data(), [&](int i) { out[i] = toInt64(a.ext[i]); });
}
void toInt64Dbl(benchmark::State& s) {
    std::vector<int64_t> out(POOL);
    const Operands& a = integerRange();
    timePool(s, out.data(), [&](int i) { out[i] = static_cast<int64_t>(std::floor(a.dbl[i])); });
}
void toInt64Mp(benchmark::State& s) {
    std::vector<int64_t> out(POOL);
    const Operands& a = integerRange();
    timePool(s, out.data(), [&](int i) { out[i] = mpfr_get_sj(a.mp[i], MPFR_RNDD); });
}

}  // namespace

#define STARLOOM_BENCH_3(op)                        \
    BENCHMARK(op##Ext)->Name(#op "/ExtFloat");     \
    BENCHMARK(op##Dbl)->Name(#op "/double");       \
    BENCHMARK(op##Mp)->Name(#op "/MPFR")

STARLOOM_BENCH_3(add);
STARLOOM_BENCH_3(sub);
STARLOOM_BENCH_3(mul);
STARLOOM_BENCH_3(div);
STARLOOM_BENCH_3(neg);
STARLOOM_BENCH_3(greaterEqual);
STARLOOM_BENCH_3(scalePow2);
STARLOOM_BENCH_3(sqrt);
STARLOOM_BENCH_3(invSqrt);
STARLOOM_BENCH_3(log2);
STARLOOM_BENCH_3(pow);
STARLOOM_BENCH_3(sinTurns);
STARLOOM_BENCH_3(cosTurns);
STARLOOM_BENCH_3(atan2Turns);
BENCHMARK(fromDoubleExt)->Name("fromDouble/ExtFloat");
BENCHMARK(fromDoubleMp)->Name("fromDouble/MPFR");
BENCHMARK(toDoubleExt)->Name("toDouble/ExtFloat");
BENCHMARK(toDoubleMp)->Name("toDouble/MPFR");
STARLOOM_BENCH_3(fromInt32);
STARLOOM_BENCH_3(fromUint64);
STARLOOM_BENCH_3(fromDecimal);
STARLOOM_BENCH_3(toUint64);
STARLOOM_BENCH_3(toInt64);

BENCHMARK_MAIN();
