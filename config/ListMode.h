#pragma once

#include "Unitstring.h"

#include <cstdint>

// The list mode carried inside the lines of a "CFG.USR" (as given by LoadLines).
// Returns 0, 1 or 2 (or any value found on line 4 for other devices), -1 when it
// cannot be determined.
int ReadListMode(const LineList& lines, std::uint8_t recorderType);

// Writes listMode into the lines for recorderType; fewer than 8 lines change nothing.
void PatchListMode(LineList& lines, std::uint8_t recorderType, int listMode);

// Decimal whole number as the recorder writes it; -1 when text is not one.
int ParseDecimal(const QByteArray& text);
