#pragma once

#include <QImage>
#include <QString>

// The three looks of the transport strip's pictures.
enum class StripLook { Normal, Over, Click };

// Size of every picture in picture coordinates (one unit = one pixel at scale 1).
inline constexpr int StripPictureWidth = 320;
inline constexpr int StripPictureHeight = 112;

// Draws the whole strip in one look: buttons 0..3, and the record button when withRecord.
// scale 2 gives the high-density version with the same geometry.
QImage DrawStripPicture(StripLook look, bool withRecord, int scale);

// File name of a picture, e.g. "btnoverrec.png" or "btnoverrec@2x.png".
QString StripPictureName(StripLook look, bool withRecord, int scale);
