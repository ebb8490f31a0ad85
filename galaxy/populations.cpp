#include "galaxy/populations.h"

#include <stdexcept>

void buildPopulations(PopulationTable& table) { table = PopulationTable{}; }

StarProperties starFromDraw(const PopulationTable& table, ExtFloat, uint32_t population) {
    if (population >= table.count) throw std::out_of_range("population");
    return StarProperties{};
}

StarProperties starFromMass(const PopulationTable& table, ExtFloat, uint32_t population) {
    if (population >= table.count) throw std::out_of_range("population");
    return StarProperties{};
}

void completeStar(StarProperties& star) { star.completed = 1; }

const char* spectralClassName(const StarProperties&) { return "unknown"; }
