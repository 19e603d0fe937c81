#include "mainwindow/vsmainwindow.h"
#include "platform/vsplatform.h"

#include <QApplication>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QCoreApplication::setOrganizationName(QStringLiteral("Morvane"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("morvane.org"));
    QCoreApplication::setApplicationName(QStringLiteral("Vestrion"));
    QApplication app(argc, argv);

    // Russian always, whatever the locale; without the catalogue the English texts stay.
    QTranslator translator;
    const bool translated =
        translator.load(QStringLiteral(":/languages/Vestrion_ru"), QString(), QString(), QString());
    Q_UNUSED(translated)
    app.installTranslator(&translator);

    vsMainWindow window(nullptr);
    if (!window.setup())
        return 1;
    // The handheld's screen; the desktop has no fixed window size of its own.
    window.resize(800, 480);
    window.show();
    vsPlatform::setWindowAttribute(&window, vsPlatform::StackedWindow, true);
    vsPlatform::installStartupProbe(&window);
    return app.exec();
}
