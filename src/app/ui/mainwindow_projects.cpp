#include "app/ui/mainwindow.h"

namespace tl {

void TForm1::setupProjects() {}
void TForm1::NacistTexty(const QString &) {}
void TForm1::ListProjectFiles() {}
void TForm1::lstPROJEKTYClick() {}
void TForm1::ChooseProject() {}
void TForm1::SaveProject() {}
void TForm1::Button2Click() {}
void TForm1::ShowAbout() {}

} // namespace tl
