#include "app/ui/mainwindow.h"

namespace tl {

void TForm1::setupStorages() {}
void TForm1::restoreStoragesOnShow() {}
void TForm1::saveStoragesOnClose() {}

} // namespace tl
