#include "app/ui/aboutbox.h"
#include "app/ui/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvel Lite"));
    tl::initProgramResources();
    QApplication::setWindowIcon(tl::programIcon());
    tl::MainWindow w;
    w.show();
    return app.exec();
}
