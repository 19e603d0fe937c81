// The real program, started as a user starts it: from a folder holding the
// executable and its data folder, reading that catalogue, quitting cleanly.

#include "testsupport.h"

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {
struct Outcome
{
    bool finished = false;
    int exitCode = -1;
    QByteArray err;
};

// Copies the program into folder and runs it there until its first paint.
Outcome runCopy(const QString &folder, const QString &configHome)
{
    Outcome outcome;
    const QString program = QDir(folder).filePath(QStringLiteral("vestrion"));
    if (!QFile::exists(program) && !QFile::copy(QStringLiteral(VESTRION_BUILD_DIR "/vestrion"), program))
        return outcome;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("VESTRION_EXIT_AFTER_FIRST_PAINT"), QStringLiteral("1"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
                       QStringLiteral("unix:path=/nonexistent/bus"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QDir::rootPath()); // the catalogue is found beside the program, not here
    process.start(program, QStringList());
    outcome.finished = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    if (!outcome.finished)
        process.kill();
    outcome.exitCode = process.exitCode();
    outcome.err = process.readAllStandardError();
    return outcome;
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

    const Outcome outcome = runCopy(home.path(), config.path());
    QVERIFY(outcome.finished);
    QCOMPARE(outcome.exitCode, 0);
    QVERIFY2(outcome.err.contains("vestrion-first-paint "), outcome.err.constData());
    // The choice is stored at exit, in the settings file named after the maker and the program.
    QCOMPARE(configValue(config.path()), QStringLiteral("off"));
}

void tst_Startup::startsWithoutAnyCatalogue()
{
    QTemporaryDir home;
    QTemporaryDir config;
    QVERIFY(home.isValid() && config.isValid());
    const Outcome outcome = runCopy(home.path(), config.path());
    QVERIFY(outcome.finished);
    QCOMPARE(outcome.exitCode, 0);
    QVERIFY(outcome.err.contains("vestrion-first-paint "));
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
    const Outcome outcome = runCopy(home.path(), config.path());
    QVERIFY(outcome.finished);
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(configValue(config.path()), QStringLiteral("off"));
}

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_startup.moc"
