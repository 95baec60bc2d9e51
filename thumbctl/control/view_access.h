#pragma once
// What assistive technology sees of the thumbnail list: the control as a
// list and each thumbnail as a list item named by its file, with its
// selection and focus, its cell on screen and the hit test of the grid.
#include <QAccessible>

namespace thumbctl {

class CThumbnailCtrl;

// Makes the control's accessible interface known to Qt (once per module)
// and gives it to `control`.
void InstallAccessibility(CThumbnailCtrl& control);

// Tells assistive technology that item `index` of the control took the
// focus or changed its selection (`event`: Focus or Selection).
void NotifyItemEvent(CThumbnailCtrl& control, long index, QAccessible::Event event);

} // namespace thumbctl
