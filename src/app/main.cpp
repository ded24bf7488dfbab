#include "app/ui/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvel Lite"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tarvel Lite"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/tarvlit.svg")));
    tl::TForm1 w;
    w.show();
    return app.exec();
}
