// The selected star's information block on the Catalog page, as mark-up.
#pragma once

#include <cstdint>
#include <string>

#include "galaxy/populations.h"
#include "starfield/star_field.h"

inline constexpr int STAR_INFO_BLOCK_ID = 8;

// The block is as wide as this line measures (ui/markup.h measureText).
inline constexpr char STAR_INFO_MEASURE_TEXT[] = "|fx|v: |f9999999.0000000000|v pc";

// Name, position in parsecs, distance from the viewpoint (integer parts of
// the viewpoint, position units), type, apparent and absolute magnitude,
// temperature, colour and radius, one item a line.
std::string starInfoText(const SearchResult& star, const int64_t viewpoint[3], const StarProperties& properties);

// A distance in position units as the block writes it: "%10.8f AU" below 1000
// AU, else in parsecs "%12.8f" with " pc", " kpc" or " Mpc".
std::string starDistanceText(double positionUnits);
