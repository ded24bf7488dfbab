#include "app/ui/mainwindow.h"
#include "posts/ui/postsstate.h"

namespace tl {

void TForm1::setupPosts() {}
void TForm1::actREADExecute() {}
void TForm1::TreeView1Click() {}
void TForm1::actNEWExecute() {}
void TForm1::actEDITExecute() {}
void TForm1::actSAVEExecute() {}
void TForm1::actCLOSEPOSTExecute() {}
void TForm1::actDELExecute() {}
void TForm1::MoreClick() {}

} // namespace tl
