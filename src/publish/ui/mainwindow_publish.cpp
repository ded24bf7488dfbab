#include "app/ui/mainwindow.h"
#include "publish/ui/publishstate.h"

namespace tl {

void TForm1::setupPublish() {}
void TForm1::btnSENDFTPClick() {}
void TForm1::actREADFROMFTPExecute() {}
void TForm1::Button3Click() {}

} // namespace tl
