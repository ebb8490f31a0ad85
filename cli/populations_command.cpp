// starloom-cli populations: the whole stellar population table as words.
#include <cinttypes>
#include <cstdio>
#include <stdexcept>

#include "cli.h"
#include "galaxy/populations.h"

const char* const POPULATIONS_HELP =
    "usage: starloom-cli populations\n\n"
    "Builds the stellar population table and prints, for each population in\n"
    "order, one block: the population's name on a line of its own, then one\n"
    "'FIELD 0xWORD' line for every ExtFloat field:\n"
    "  massLow massHigh lumExp lumCoef radiusExp imfExp imfExpPlus1\n"
    "  imfExpPlus1Inv imfCoef share cdfLow cdfScale tempCoef tempExp\n"
    "  brightCoef brightExp brightCoefInv brightExpInv\n"
    "then the per-level arrays, k = 0..18, as 'hiddenFraction[k] 0xWORD',\n"
    "'bandFraction[k] 0xWORD', 'cellCount[k] 0xWORD', 'cellCountTop[k] 0xWORD'\n"
    "and 'cellCountFixed[k] N' (32.32 fixed point, in decimal), and an empty\n"
    "line. After the last block: 'levelMask[k] 0x%016X' for k = 0..18 (bit p\n"
    "set when population p has stars first seen at level k) and\n"
    "'count N'.\n";

namespace {

void printWord(const char* field, ExtFloat value) { std::printf("%s %s\n", field, formatWord(value).c_str()); }

void printArray(const char* field, const std::array<ExtFloat, POPULATION_LEVELS>& values) {
    for (int k = 0; k < POPULATION_LEVELS; ++k)
        std::printf("%s[%d] %s\n", field, k, formatWord(values[k]).c_str());
}

void printPopulation(const StarPopulation& p) {
    std::printf("%s\n", p.name.c_str());
    printWord("massLow", p.massLow);
    printWord("massHigh", p.massHigh);
    printWord("lumExp", p.lumExp);
    printWord("lumCoef", p.lumCoef);
    printWord("radiusExp", p.radiusExp);
    printWord("imfExp", p.imfExp);
    printWord("imfExpPlus1", p.imfExpPlus1);
    printWord("imfExpPlus1Inv", p.imfExpPlus1Inv);
    printWord("imfCoef", p.imfCoef);
    printWord("share", p.share);
    printWord("cdfLow", p.cdfLow);
    printWord("cdfScale", p.cdfScale);
    printWord("tempCoef", p.tempCoef);
    printWord("tempExp", p.tempExp);
    printWord("brightCoef", p.brightCoef);
    printWord("brightExp", p.brightExp);
    printWord("brightCoefInv", p.brightCoefInv);
    printWord("brightExpInv", p.brightExpInv);
    printArray("hiddenFraction", p.hiddenFraction);
    printArray("bandFraction", p.bandFraction);
    printArray("cellCount", p.cellCount);
    printArray("cellCountTop", p.cellCountTop);
    for (int k = 0; k < POPULATION_LEVELS; ++k)
        std::printf("cellCountFixed[%d] %" PRIu64 "\n", k, p.cellCountFixed[k]);
    std::printf("\n");
}

}  // namespace

int runPopulations(int argc, char** /*argv*/) {
    if (argc != 0) {
        std::printf("error: populations takes no arguments\n");
        return 2;
    }
    PopulationTable table;
    try {
        buildPopulations(table);
    } catch (const std::overflow_error&) {
        std::printf("overflow\n");
        return 1;
    }
    for (uint32_t i = 0; i < table.count; ++i) printPopulation(table.populations[i]);
    for (int k = 0; k < POPULATION_LEVELS; ++k) std::printf("levelMask[%d] 0x%016" PRIX64 "\n", k, table.levelMask[k]);
    std::printf("count %u\n", table.count);
    return 0;
}
