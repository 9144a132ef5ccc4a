// The four socket pictures of the chip panel: where the 8-pin chip sits in the
// programmer's socket for each family, its supply voltage and its pin labels.
#pragma once

#include <QImage>

inline constexpr int kChipPictureWidth = 165;
inline constexpr int kChipPictureHeight = 148;

// The picture for a ChipType value 0..3; a null image for any other value.
QImage chipPicture(int chipType);
