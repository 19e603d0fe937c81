#include "testsupport.h"

#include "catalogue/vsvdbformat.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
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

} // namespace vsTest
