#include "testsupport.h"

#include "catalogue/vsvdbformat.h"
#include "mainwindow/vsmainwindow.h"
#include "platform/vsplatform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace vsTest {

QByteArray document(const QStringList &items)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<catalogue>\n";
    for (const QString &item : items)
        xml += "  <item " + item.toUtf8() + "/>\n";
    xml += "</catalogue>\n";
    return xml;
}

QStringList codesOf(const vsEntryList &entries)
{
    QStringList codes;
    for (const vsEntry &entry : entries)
        codes << entry.value(QStringLiteral("code"));
    return codes;
}

QStringList codesOf(const vsDataModel &model)
{
    QStringList codes;
    for (int row = 0; row < model.rowCount(); ++row)
        codes << model.index(row, 0).data(vsDataModel::CodeRole).toString();
    return codes;
}

QString writeRaw(const QString &folder, const QString &name, const QByteArray &bytes)
{
    const QString path = QDir(folder).absoluteFilePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write test file %s", qPrintable(path));
    return path;
}

QString writeCatalogue(const QString &folder, const QString &name, const QByteArray &document)
{
    return writeRaw(folder, name, vsVdbFormat::pack(document));
}

void isolateSettings()
{
    static QTemporaryDir config;
    if (!config.isValid())
        qFatal("no temporary folder for settings");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QCoreApplication::setOrganizationName(QStringLiteral("Morvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Vestrion"));
}

QByteArray starterDocument()
{
    QFile file(QStringLiteral(VESTRION_TEST_DATA_DIR "/starter.xml"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("starter catalogue missing");
    return file.readAll();
}

void isolateWindowTests()
{
    isolateSettings();
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/vestrion-test-bus");
    vsPlatform::setSlideStateFilePath(QStringLiteral("/nonexistent/vestrion-slide-state"));
}

bool openWindow(const QStringList &items, std::unique_ptr<QTemporaryDir> &folder,
                std::unique_ptr<vsMainWindow> &window)
{
    folder = std::make_unique<QTemporaryDir>();
    if (!folder->isValid())
        return false;
    writeCatalogue(folder->path(), QStringLiteral("test.vdb"), document(items));
    // The keypad is shown only when the user asked for it.
    QSettings().setValue(QStringLiteral("keyboard-status"), QStringLiteral("on"));
    window = std::make_unique<vsMainWindow>();
    window->setDataFolder(folder->path());
    if (!window->setup())
        return false;
    window->resize(800, 480);
    window->show();
    return true;
}

} // namespace vsTest
