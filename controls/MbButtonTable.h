#pragma once

#include <array>

// Geometry of the transport strip's round buttons, in picture coordinates.
// Shared by the strip (hit test, bands) and the artwork generator (where the
// circles are drawn), so the pictures and the control cannot drift apart.
struct tMbButtonGeometry
{
    int CenterX = 0;
    int CenterY = 0;
    int Radius = 0;
    int Gap = 0; // room left of the circle that still belongs to the button's band
};

// 0 back, 1 play/pause (the large one), 2 stop, 3 forward, 4 record.
inline constexpr std::array<tMbButtonGeometry, 5> MbButtonTable{{
    {42, 56, 16, 3},
    {93, 56, 24, 8},
    {142, 56, 16, 3},
    {180, 56, 16, 3},
    {216, 56, 16, 3},
}};

// Where the pictures' origin lies relative to the control's origin.
inline constexpr int MbDrawOffsetX = -15;
inline constexpr int MbDrawOffsetY = -20;

// Height of a button's band on the control.
inline constexpr int MbBandHeight = 120;

// Left edge of button i's band in picture x-coordinates (i > 0: the circle's left edge minus the gap).
constexpr int MbBandLeft(int i)
{
    return i == 0 ? 0 : MbButtonTable[i].CenterX - MbButtonTable[i].Radius - MbButtonTable[i].Gap;
}
