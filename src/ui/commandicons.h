#pragma once
// Icons of the commands the style has none for: the desktop theme's icon
// when it has one, else one drawn here, so that a toolbar button never
// looks like another command's.
#include <QIcon>

namespace tl {

// "insert-image": a framed landscape.
QIcon pictureIcon();
// "document-print-preview": a page under a magnifying glass.
QIcon previewIcon();

} // namespace tl
