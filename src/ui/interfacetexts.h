#pragma once
// The interface-text file ("czech.lng"): replacement captions for the menus
// and commands of the main window, found by their object names.
#include <QString>

class QWidget;

namespace tl {

// Reads section "form1" of the file `path` and sets the eleven replaceable
// captions of `window`'s menus and commands. A key the file lacks gives the
// caption of the built-in table (which for "More1" and "About1" differs
// from the designed caption).
void loadInterfaceTexts(QWidget *window, const QString &path);

} // namespace tl
