// The real program, started as a user starts it: from a folder holding the
// executable and its data folder, reading that catalogue, quitting cleanly.

#include "testsupport.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// Copies the program into folder and runs it there until its first paint.
vsTest::ProgramRun runCopy(const QString &folder, const QString &configHome)
{
    const QString program = vsTest::copyProgram(folder);
    if (program.isEmpty())
        return vsTest::ProgramRun();
    return vsTest::runToFirstPaint({QStringLiteral("XDG_CONFIG_HOME=") + configHome}, program);
}

QString configValue(const QString &configHome)
{
    const QSettings stored(configHome + QStringLiteral("/Morvane/Vestrion.conf"), QSettings::IniFormat);
    return stored.value(QStringLiteral("keyboard-status")).toString();
}
} // namespace

class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void startsWithItsCatalogueAndQuits();
    void startsWithoutAnyCatalogue();
    void startsBesideABrokenCatalogue();
};

void tst_Startup::startsWithItsCatalogueAndQuits()
{
    QTemporaryDir home;
    QTemporaryDir config;
    QVERIFY(home.isValid() && config.isValid());
    QVERIFY(QDir(home.path()).mkdir(QStringLiteral("data")));
    vsTest::writeCatalogue(home.filePath(QStringLiteral("data")), QStringLiteral("starter.vdb"),
                           vsTest::starterDocument());

    const vsTest::ProgramRun outcome = runCopy(home.path(), config.path());
    QVERIFY(outcome.finished);
    QCOMPARE(outcome.exitCode, 0);
    QVERIFY2(outcome.errors.contains("vestrion-first-paint "), outcome.errors.constData());
    // The choice is stored at exit, in the settings file named after the maker and the program.
    QCOMPARE(configValue(config.path()), QStringLiteral("off"));
}

void tst_Startup::startsWithoutAnyCatalogue()
{
    QTemporaryDir home;
    QTemporaryDir config;
    QVERIFY(home.isValid() && config.isValid());
    const vsTest::ProgramRun outcome = runCopy(home.path(), config.path());
    QVERIFY(outcome.finished);
    QCOMPARE(outcome.exitCode, 0);
    QVERIFY(outcome.errors.contains("vestrion-first-paint "));
}

void tst_Startup::startsBesideABrokenCatalogue()
{
    QTemporaryDir home;
    QTemporaryDir config;
    QVERIFY(home.isValid() && config.isValid());
    QVERIFY(QDir(home.path()).mkdir(QStringLiteral("data")));
    const QString data = home.filePath(QStringLiteral("data"));
    vsTest::writeCatalogue(data, QStringLiteral("a.vdb"), vsTest::starterDocument());
    vsTest::writeRaw(data, QStringLiteral("b.vdb"), QByteArray(4096, '\xff'));
    vsTest::writeRaw(data, QStringLiteral("c.vdb"), QByteArray());
    // A stored setting in the wrong case counts as off and is written back as off.
    QDir(config.path()).mkdir(QStringLiteral("Morvane"));
    vsTest::writeRaw(config.path() + QStringLiteral("/Morvane"), QStringLiteral("Vestrion.conf"),
                     "[General]\nkeyboard-status=On\n");
    const vsTest::ProgramRun outcome = runCopy(home.path(), config.path());
    QVERIFY(outcome.finished);
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(configValue(config.path()), QStringLiteral("off"));
}

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_startup.moc"
