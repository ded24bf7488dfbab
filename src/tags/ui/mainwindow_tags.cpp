#include "app/ui/mainwindow.h"

namespace tl {

void TForm1::setupTags() {}
void TForm1::BuildTagsMenu() {}
void TForm1::WrapSelection(int) {}
void TForm1::ShowTagsDialog() {}

} // namespace tl
