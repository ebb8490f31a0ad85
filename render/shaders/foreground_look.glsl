// How a foreground star looks. Its disc is opaque and shown at its own
// brightness whatever the exposure: DISC_LEVEL times its colour at the
// centre (a star's surface outshines everything; the tone map bleaches it
// towards white) and darker towards the limb, where the line of sight meets
// the surface at a slant (intensity 1 - LIMB (1 - mu)). Around it a glow in
// its colour: GLOW_LEVEL at the rim, falling to nothing over a width that grows with the
// logarithm of its brightness, GLOW_WIDTH pixels for each factor of ten
// above GLOW_START on the points' scale (the brightest a point is drawn).
// The glow is light like the stars': a brighter star lights a wider patch of
// sky, and the automatic exposure sees it.
const float DISC_LEVEL = 4.0;
const float LIMB = 0.6;
const float GLOW_LEVEL = 0.6;
const float GLOW_WIDTH = 4.0;
const float GLOW_START = 25.0;

// The glow's width beyond the rim, pixels.
float glowWidth(float luminosity) {
    return luminosity > GLOW_START ? GLOW_WIDTH * log(luminosity / GLOW_START) / log(10.0) : 0.0;
}

// The glow's level at x = (distance beyond the rim) / width, 0 to 1.
float glowProfile(float x) {
    float left = clamp(1.0 - x, 0.0, 1.0);
    return left * left * left;
}
