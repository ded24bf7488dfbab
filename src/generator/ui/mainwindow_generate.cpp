#include "app/ui/mainwindow.h"

namespace tl {

void TForm1::setupGenerator() {}
void TForm1::actGENERATEExecute() {}

} // namespace tl
