#include "galaxy/arms.h"

#include "numeric/constants.h"

namespace {

constexpr ExtFloat ZERO{};
// pi as the double literal, converted once, for the tube volume integrals.
constexpr ExtFloat PI = xf::fromDouble(3.141592653589793);

// Low 32 bits of toInt64, for the 32-bit element fields.
int32_t toInt32Low(ExtFloat a) { return static_cast<int32_t>(static_cast<uint32_t>(toInt64(a))); }

// The state of one arm while it grows (parsecs, except the 32.32 density).
struct ArmTip {
    ExtFloat x, y;
    ExtFloat width, thick, density;
    ExtFloat u, v;  // random walks of the width and of the density
    ExtFloat o;     // angle of the growth direction away from radial, turns
};

}  // namespace

void growArms(GalaxyComponent& arms, ExtFloat P0, ExtFloat A, ExtFloat B, ExtFloat C) {
    arms.armScale = P0 * xf::fromDecimal(4, 0);
    arms.armCount = ARM_COUNT;
    arms.armLists.assign(ARM_COUNT, {});
    arms.armPath.clear();
    arms.armPath.reserve(ARM_GROWTH_STEPS * ARM_COUNT);

    const ExtFloat thousand = xf::fromInt32(1000);
    const ExtFloat thirty = xf::fromInt32(30);
    const ExtFloat seven = xf::fromInt32(7);
    const ExtFloat eight = xf::fromInt32(8);
    const ExtFloat eighth = ONE / eight;
    const ExtFloat toUnits = ONE / UNIT_PARSECS;
    const ExtFloat startDensity = scalePow2(C, 32);

    ArmTip tip[ARM_COUNT];
    for (uint32_t i = 0; i < ARM_COUNT; ++i) {
        // The arms start 2000 pc from the centre on opposite sides.
        const ExtFloat side = xf::fromInt32(static_cast<int32_t>(i)) / TWO;
        tip[i].x = (thousand * cosTurns(side)) * TWO;
        tip[i].y = (thousand * sinTurns(side)) * TWO;
        tip[i].density = startDensity;
        tip[i].width = A * min(ONE, ONE / thirty);
        tip[i].thick = B * min(ONE, ONE / thirty);
    }

    uint64_t randomState = 0;
    ExtFloat baseWidth = A;
    ExtFloat baseThick = B;
    ExtFloat density = startDensity;
    for (int step = 0; step < ARM_GROWTH_STEPS; ++step) {
        // The outer half of every arm fades.
        if (step > 39) density = density * xf::fromDecimal(93, -2);
        for (uint32_t i = 0; i < ARM_COUNT; ++i) {
            ArmTip& a = tip[i];
            const ExtFloat theta =
                (a.x.isZero() && a.y.isZero()) ? xf::fromInt32(static_cast<int32_t>(i)) / TWO : atan2Turns(a.y, a.x);
            const ExtFloat r = sqrt(a.x * a.x + a.y * a.y);
            const ExtFloat len = thousand * max(r * xf::fromDecimal(15, -5), ONE);

            ArmStep s;
            s.x0 = a.x * toUnits;
            s.y0 = a.y * toUnits;
            s.width0 = a.width * toUnits;
            s.thick0 = a.thick * toUnits;
            s.density0 = a.density;

            a.x = a.x + len * cosTurns(theta + a.o);
            a.y = a.y + len * sinTurns(theta + a.o);
            baseWidth = baseWidth * xf::fromDecimal(999, -3);
            baseThick = baseThick * xf::fromDecimal(999, -3);

            // The random walk sets in beyond 20 000 pc and is full beyond 30 000 pc.
            const ExtFloat g = min(max(r * xf::fromDecimal(1, -4) - TWO, ZERO), ONE);
            const uint64_t draw1 = wyhashDraw(randomState);
            const uint64_t draw2 = wyhashDraw(randomState);
            a.u = a.u * seven / eight + (scalePow2(xf::fromUint64(draw1), -66) - eighth) * g;
            a.v = a.v * seven / eight + (scalePow2(xf::fromUint64(draw2), -66) - eighth) * g;

            // The arms widen over their first 30 steps.
            const ExtFloat f = min(ONE, xf::fromUint64(static_cast<uint64_t>(step) + 1) / thirty);
            a.width = baseWidth * (ONE + max(a.u, ZERO)) * f;
            a.thick = baseThick * (ONE + max(a.u, ZERO)) * f;
            a.density = density * (ONE + max(a.v, ZERO));

            s.x1 = a.x * toUnits;
            s.y1 = a.y * toUnits;
            s.width1 = a.width * toUnits;
            s.thick1 = a.thick * toUnits;
            s.density1 = a.density;
            const ExtFloat ex = s.x0 - s.x1;
            const ExtFloat ey = s.y0 - s.y1;
            s.lengthSq = ex * ex + ey * ey;

            // The direction leans away from radial by about 0.2 turn, more with radius.
            a.o = a.o + ((xf::fromDecimal(2, -1) + xf::fromDecimal(400, -3) * (r / arms.armScale)) - a.o) *
                            xf::fromDecimal(6, -1) * xf::fromDecimal(6, -1);
            s.arm = i;
            arms.armPath.push_back(s);
        }
    }
}

ArmElement makeArmElement(const ArmStep& s) {
    ArmElement e;
    e.x0 = toInt64(s.x0);
    e.y0 = toInt64(s.y0);
    e.width0 = toInt32Low(scalePow2(s.width0, -32));
    e.thick0 = toInt32Low(scalePow2(s.thick0, -32));
    e.invWidth0 = toInt32Low(scalePow2(ONE / s.width0, 64));
    e.invThick0 = toInt32Low(scalePow2(ONE / s.thick0, 64));
    e.d0 = toInt64(s.density0);
    e.dx = toInt64(scalePow2(s.x1 - s.x0, -32));
    e.dy = toInt64(scalePow2(s.y1 - s.y0, -32));
    e.dWidth = toInt32Low(scalePow2(s.width1 - s.width0, -32));
    e.dThick = toInt32Low(scalePow2(s.thick1 - s.thick0, -32));
    e.dInvWidth = toInt32Low(scalePow2(ONE / s.width1 - ONE / s.width0, 64));
    e.dInvThick = toInt32Low(scalePow2(ONE / s.thick1 - ONE / s.thick0, 64));
    e.dd = toInt64(s.density1 - s.density0);
    e.lengthSq = toInt64(scalePow2(s.lengthSq, -64));
    e.invLength2 = toInt64(scalePow2(ONE / s.lengthSq, 128));
    return e;
}

// (pi/5) * LOCAL_DENSITY times the integral along the step of width x
// thickness x density, all three linear along the step: the tube's cross
// section integral of (1 - q)^4 is pi/5 of width x thickness.
ExtFloat armStepStars(const ArmStep& s) {
    const ExtFloat a = s.width0, b = s.thick0, c = s.density0;
    const ExtFloat L = sqrt(s.lengthSq);
    const ExtFloat wr = (s.width1 - a) / L;
    const ExtFloat tr = (s.thick1 - b) / L;
    const ExtFloat dr = (s.density1 - c) / L;
    const ExtFloat two = xf::fromInt32(2), three = xf::fromInt32(3), four = xf::fromInt32(4), six = xf::fromInt32(6);
    const ExtFloat K = ((LOCAL_DENSITY * PI) / xf::fromInt32(60)) * L;
    const ExtFloat dW = wr * L;
    const ExtFloat dT = tr * L;
    const ExtFloat S1 = dT * ((three * dr) * L + four * c) + b * ((four * dr) * L + six * c);
    const ExtFloat S2 = dT * ((two * dr) * L + three * c) + (three * b) * (dr * L + two * c);
    return scalePow2(K * (dW * S1 + (two * a) * S2), -32);
}

void setCutPlanes(GalaxyComponent& arms) {
    auto fixedNormal = [](ExtFloat v) { return toInt32Low(scalePow2(v, 30)); };
    for (const std::vector<uint32_t>& list : arms.armLists) {
        if (list.empty()) continue;
        // Unit direction of every element of the arm.
        std::vector<ExtFloat> ux(list.size()), uy(list.size());
        for (size_t j = 0; j < list.size(); ++j) {
            const ArmStep& s = arms.armPath[list[j]];
            const ExtFloat inv = invSqrt(s.lengthSq);
            ux[j] = (s.x1 - s.x0) * inv;
            uy[j] = (s.y1 - s.y0) * inv;
        }
        auto setStart = [&](size_t j, ExtFloat nx, ExtFloat ny) {
            ArmStep& s = arms.armPath[list[j]];
            ArmElement& e = arms.elements[list[j]];
            s.n0x = nx;
            s.n0y = ny;
            e.n0x = fixedNormal(nx);
            e.n0y = fixedNormal(ny);
        };
        auto setEnd = [&](size_t j, ExtFloat nx, ExtFloat ny) {
            ArmStep& s = arms.armPath[list[j]];
            ArmElement& e = arms.elements[list[j]];
            s.n1x = nx;
            s.n1y = ny;
            e.n1x = fixedNormal(nx);
            e.n1y = fixedNormal(ny);
        };
        setStart(0, ux[0], uy[0]);
        // Consecutive elements share the bisecting plane of their directions.
        for (size_t j = 0; j + 1 < list.size(); ++j) {
            const ExtFloat sx = ux[j] + ux[j + 1];
            const ExtFloat sy = uy[j] + uy[j + 1];
            const ExtFloat inv = invSqrt(sx * sx + sy * sy);
            const ExtFloat nx = sx * inv;
            const ExtFloat ny = sy * inv;
            setEnd(j, nx, ny);
            setStart(j + 1, nx, ny);
        }
        const size_t last = list.size() - 1;
        setEnd(last, ux[last], uy[last]);
    }
}

void setOutline(ArmStep& s) {
    const ExtFloat dx = s.x1 - s.x0;
    const ExtFloat dy = s.y1 - s.y0;
    const ExtFloat L2 = dx * dx + dy * dy;
    const ExtFloat invLen = invSqrt(L2);  // Invalid when L2 is not positive
    const ExtFloat a = (s.y1 - s.y0) * invLen;
    const ExtFloat b = (s.x0 - s.x1) * invLen;
    const ExtFloat t0 = neg(s.n0y * a - s.n0x * b) * invLen;
    const ExtFloat t1 = neg(s.n1y * a - s.n1x * b) * invLen;
    const ExtFloat dw = s.width1 - s.width0;
    const ExtFloat c0 = t0 * dw;
    const ExtFloat c1 = t1 * dw;
    // Half-widths along the cut lines, on either side of the axis.
    const ExtFloat h0a = s.width0 / (ONE - c0);
    const ExtFloat h0b = s.width0 / (ONE + c0);
    const ExtFloat h1a = s.width1 / (ONE - c1);
    const ExtFloat h1b = s.width1 / (ONE + c1);
    s.outline = {
        s.x0 + h0a * s.n0y, s.y0 - h0a * s.n0x,  // C0
        s.x1 + h1a * s.n1y, s.y1 - h1a * s.n1x,  // C1
        s.x1 - h1b * s.n1y, s.y1 + h1b * s.n1x,  // C2
        s.x0 - h0b * s.n0y, s.y0 + h0b * s.n0x,  // C3
    };
}

namespace {

// Distance along a cut line from the axis to the tube's edge. Along the line
// the distance from the axis grows as s * across and the position along the
// step as t0 + s * along / L; the edge is where that distance times the
// interpolated inverse width reaches one:
//     s * across * (invW(t0) + dInv * s * along / L) = 1.
// Returns a negative value when the tube does not close along the line.
ExtFloat edgeAlongCutLine(ExtFloat across, ExtFloat along, ExtFloat invL, ExtFloat invWidthAtLine, ExtFloat dInv) {
    const ExtFloat A = across * dInv * along * invL;
    const ExtFloat B = across * invWidthAtLine;
    const ExtFloat disc = B * B + FOUR * A;
    if (disc.isNegative() || B.isNegative() || B.isZero()) return neg(ONE);
    const ExtFloat denom = B + sqrt(disc);
    if (denom.isNegative() || denom.isZero()) return neg(ONE);
    return TWO / denom;
}

}  // namespace

FixedOutline tubeOutline(const ArmStep& s) {
    const ExtFloat dx = s.x1 - s.x0;
    const ExtFloat dy = s.y1 - s.y0;
    const ExtFloat invL = invSqrt(dx * dx + dy * dy);
    const ExtFloat ux = dx * invL, uy = dy * invL;
    const ExtFloat iw0 = ONE / s.width0, iw1 = ONE / s.width1;
    const ExtFloat dInv = iw1 - iw0;
    // Widen by 1/64 and 2^36 units: the kernel floors its inverse widths
    // (up to 0.7% for the widest tubes) and its offsets (one high word).
    const ExtFloat grow = ONE + scalePow2(ONE, -6);
    const ExtFloat margin = scalePow2(ONE, 36);
    const ExtFloat farAway = scalePow2(ONE, 62);

    ArmStep wide = s;
    const ExtFloat px[2] = {s.x0, s.x1}, py[2] = {s.y0, s.y1};
    const ExtFloat nx[2] = {s.n0x, s.n1x}, ny[2] = {s.n0y, s.n1y};
    const ExtFloat iw[2] = {iw0, iw1};
    // Corner order as in the step's outline: C0 start/side a, C1 end/side a,
    // C2 end/side b, C3 start/side b. Side a lies along (ny, -nx).
    const int endOf[4] = {0, 1, 1, 0};
    const int sideOf[4] = {1, 1, -1, -1};
    for (int c = 0; c < 4; ++c) {
        const int e = endOf[c];
        ExtFloat cx = ny[e], cy = neg(nx[e]);
        if (sideOf[c] < 0) {
            cx = neg(cx);
            cy = neg(cy);
        }
        // Per unit along the line: distance from the axis, and progress along the step.
        ExtFloat across = cx * uy - cy * ux;
        if (across.isNegative()) across = neg(across);
        const ExtFloat along = cx * ux + cy * uy;
        ExtFloat reach = edgeAlongCutLine(across, along, invL, iw[e], dInv);
        reach = reach.isNegative() ? farAway : reach * grow + margin;
        // The kernel's plane tests work on floored offsets: move the cut
        // lines outward by the margin too (back at the start, on at the end).
        const ExtFloat out = e == 0 ? neg(margin) : margin;
        wide.outline[2 * c] = px[e] + reach * cx + out * nx[e];
        wide.outline[2 * c + 1] = py[e] + reach * cy + out * ny[e];
    }
    return fixedOutline(wide);
}

void buildArms(GalaxyComponent& arms, PlaneTree& tree, ExtFloat P0, ExtFloat A, ExtFloat B, ExtFloat C) {
    growArms(arms, P0, A, B, C);

    arms.displayArms.clear();
    arms.displayArms.reserve(arms.armPath.size());
    for (const ArmStep& s : arms.armPath) {
        const ExtFloat words[14] = {s.x0, s.y0, s.width0, s.thick0, s.density0, s.x1,  s.y1,
                                    s.width1, s.thick1, s.density1, s.lengthSq, s.n0x, s.n0y, s.n1x};
        ArmDisplayStep d;
        for (int k = 0; k < 14; ++k) d.v[k] = static_cast<float>(toDouble(scalePow2(words[k], -48)));
        arms.displayArms.push_back(d);
    }

    arms.elements.clear();
    arms.elements.reserve(arms.armPath.size());
    ExtFloat total{};
    for (uint32_t k = 0; k < arms.armPath.size(); ++k) {
        const ArmStep& s = arms.armPath[k];
        arms.elements.push_back(makeArmElement(s));
        arms.armLists[s.arm].push_back(k);
        total = total + armStepStars(s);
    }
    arms.totalStars = toUint64(total);

    setCutPlanes(arms);
    for (ArmStep& s : arms.armPath) setOutline(s);
    buildPlaneTree(tree, arms);
}
