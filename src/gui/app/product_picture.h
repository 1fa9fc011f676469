#pragma once
#include <QPixmap>

// The product picture (a handheld turbine meter), drawn rather than shipped as
// a bitmap so it stays sharp at any size; also the window icon.
QPixmap ProductPicture(int size);
