// The help screens of the control panel's pages 0..7 (Home to Information),
// in the mark-up of ui/markup.h.
#pragma once

inline constexpr int HELP_PAGE_COUNT = 8;

// The text-block id of each page's help screen.
inline constexpr int HELP_BLOCK_IDS[HELP_PAGE_COUNT] = {4, 10, 22, 24, 26, 28, 30, 32};

// The help text of a page (0 Home .. 7 Information); null for any other page.
const char* helpText(int page);
