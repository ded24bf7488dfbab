#pragma once
#include "app/ui/mainwindow.h"

namespace tl {

// Publishing state of the main window.
struct TForm1::PublishState {
    bool busy = false; // a transfer is waiting for the network
};

} // namespace tl
