// Every picture of the main window, painted as vectors so that each is sharp at
// any size: the eleven pictures of ImageList11, the status panel pictures, the
// button pictures and the product picture.
#pragma once

#include <QIcon>
#include <QPixmap>

#include "windowlogic/StatusPresentation.h"

class QPainter;
class QRectF;

namespace pw::ui {

// The pictures of ImageList11, 1-based:
//  1 the program's emblem      2 Trusted (green)   3 Unclassified (yellow)
//  4 Restricted (red)          5-7 grey versions of 2-4, for a choice that is off
//  8 the emblem, large          9 the switch when secured (closed padlock)
// 10 the switch otherwise (open padlock)           11 delete (bin)
inline constexpr int kImageListCount = 11;

// Paints picture `index` centred in `rect`, keeping its proportions. Nothing
// for an index outside 1 to 11.
void PaintImageListPicture(QPainter& painter, int index, const QRectF& rect);
// A scalable icon of the picture; a null icon outside 1 to 11. For 2 to 4 the
// disabled look is the grey picture 5 to 7.
QIcon ImageListIcon(int index);

enum class ButtonPicture { Add, Print };
QIcon ButtonIcon(ButtonPicture picture);

// The picture that fills a status panel.
void PaintPanelPicture(QPainter& painter, StatusPanel panel, const QRectF& rect);
// The product picture of Frame1.
void PaintProductPicture(QPainter& painter, const QRectF& rect);

}  // namespace pw::ui
