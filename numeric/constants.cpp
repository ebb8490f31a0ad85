// The engine library's numeric core is header-only constexpr code (so that the
// start-up constants fold at build time); this unit checks at build time that
// the folded words are the ones the number format defines.
#include "numeric/constants.h"

static_assert(ONE.w == 0x4000000000008002ull);
static_assert(HALF.w == 0x4000000000008001ull);
static_assert(xf::fromDouble(-1.0).w == 0x8000000000008001ull);
static_assert(UNIT_PARSECS.w == 0x5B38469DBA8D7FD8ull);
