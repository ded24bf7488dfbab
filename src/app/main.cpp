#include "app/cli/commandline.h"
#include "app/ui/aboutbox.h"
#include "app/ui/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Any argument asks for the command line, which runs without a display.
    if (tl::cli::wantsCommandLine(argc, argv))
        return tl::cli::run(argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvel Lite"));
    tl::initProgramResources();
    QApplication::setWindowIcon(tl::programIcon());
    tl::MainWindow w;
    w.show();
    return app.exec();
}
