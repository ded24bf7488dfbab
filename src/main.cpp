#include "cli/commandline.h"
#include "core/secrets.h"
#include "ui/aboutbox.h"
#include "ui/mainwindow.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // The command line's own commands and options run without a display.
    if (tl::cli::wantsCommandLine(argc, argv))
        return tl::cli::run(argc, argv);

    // The window may hold the server's password for the whole run.
    tl::keepSecretsOutOfCoreDumps();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvel Lite"));
    // Wayland compositors match the window to the menu entry by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("tarvlit"));
    // QApplication took the options it knows; what is left (a file a file
    // manager handed over, say) means nothing to the window.
    const QStringList rest = QApplication::arguments().mid(1);
    for (const QString &arg : rest)
        std::fprintf(stderr, "tarvlit: ignored \"%s\": the window opens nothing named on the "
                             "command line (see \"tarvlit --help\").\n",
                     arg.toLocal8Bit().constData());
    tl::initProgramResources();
    QApplication::setWindowIcon(tl::programIcon());
    tl::MainWindow w;
    w.show();
    return app.exec();
}
