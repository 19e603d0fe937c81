#include "label/vsocr.h"
#include "mainwindow/vsmainwindow.h"
#include "platform/vsdevice.h"
#include "platform/vslook.h"
#include "platform/vsstartupprobe.h"
#include "platform/vswindowstack.h"

#include <QApplication>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    vsOcr::limitEngineThreadsAtStart(argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Morvane"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("morvane.org"));
    QCoreApplication::setApplicationName(QStringLiteral("Vestrion"));
    vsPlatform::prepareApplication();
    QApplication app(argc, argv);
    vsPlatform::applyDarkLook();

    // The toolkit's own texts in Russian beside ours; without them they stay English.
    QTranslator toolkitTranslator;
    if (vsPlatform::loadToolkitTranslation(&toolkitTranslator))
        app.installTranslator(&toolkitTranslator);

    // Russian always, whatever the locale; without the catalogue the English texts stay.
    QTranslator translator;
    const bool translated =
        translator.load(QStringLiteral(":/languages/Vestrion_ru"), QString(), QString(), QString());
    Q_UNUSED(translated)
    app.installTranslator(&translator);

    int status = 1;
    {
        vsMainWindow window(nullptr);
        if (window.setup()) {
            // The handheld's screen; the desktop has no fixed window size of its own.
            window.resize(800, 480);
            window.show();
            vsPlatform::setWindowAttribute(&window, vsPlatform::StackedWindow, true);
            vsPlatform::installStartupProbe(&window);
            status = app.exec();
        }
    }
    // The settings are written by now. A system bus that never answered keeps
    // the toolkit's bus thread waiting, and the normal exit would wait for it.
    if (vsDevice::busThreadAbandoned()) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
