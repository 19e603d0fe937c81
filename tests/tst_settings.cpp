// The remembered keypad choice, "keyboard-status", in the real settings store:
// read once at start ("on" exactly counts as on), written once at exit, kept
// as it was after a failed set-up, and survived by the real program; garbage
// and unwritable stores cost neither the session nor the choice. The user's
// restrictions likewise: what the program never writes reads as nothing set
// and stays, a change is stored at once. No system bus here: the window must
// work without one.

#include "testsupport.h"

#include "label/vslabelvocabulary.h"
#include "label/vslanguagebutton.h"
#include "mainwindow/vsmainwindow.h"
#include "platform/vsdevice.h"
#include "restrictions/vsrestrictions.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QByteArray noBus = "unix:path=/nonexistent/vestrion-test-bus";

// Where the store of a configuration folder keeps its file.
QString storeFile(const QString &configFolder)
{
    return configFolder + QStringLiteral("/Morvane/Vestrion.conf");
}

void writeStore(const QString &configFolder, const QByteArray &bytes)
{
    QDir().mkpath(configFolder + QStringLiteral("/Morvane"));
    QFile file(storeFile(configFolder));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write the settings file");
}

QByteArray readStore(const QString &configFolder)
{
    QFile file(storeFile(configFolder));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The stored text of the setting as the file holds it; null when absent.
QByteArray storedStatus(const QString &configFolder)
{
    const QList<QByteArray> lines = readStore(configFolder).split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("keyboard-status="))
            return line.mid(int(qstrlen("keyboard-status=")));
    }
    return QByteArray();
}

// The store reads back without a format error, as the next run will read it.
bool readsBackCleanly(const QString &configFolder)
{
    QSettings stored(storeFile(configFolder), QSettings::IniFormat);
    return !stored.allKeys().isEmpty() && stored.status() == QSettings::NoError;
}

// Runs the real program against the configuration folder; it quits at its
// first paint. Returns its exit code, or -1 if it crashed or hung.
int runProgram(const QString &configFolder)
{
    return vsTest::runToFirstPaint({QStringLiteral("XDG_CONFIG_HOME=") + configFolder}).exitCode;
}

} // namespace

using vsTest::action;
using vsTest::keypadShown;

class tst_Settings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void read_onlyExactOnCountsAsOn_data();
    void read_onlyExactOnCountsAsOn();
    void write_onceAtExitAndReadAtNextStart();
    void failedSetup_keepsTheStoredValue_data();
    void failedSetup_keepsTheStoredValue();
    void garbageStore_countsAsOffAndIsRewrittenClean();
    void unwritableStore_keepsTheSessionWorking_data();
    void unwritableStore_keepsTheSessionWorking();

    void program_keepsTheChoiceAcrossRuns_data();
    void program_keepsTheChoiceAcrossRuns();
    void program_choiceMadeInOneRunSurvivesTheNext();
    void program_survivesBrokenStores_data();
    void program_survivesBrokenStores();

    void restrictions_onlyWhatTheProgramWritesCounts_data();
    void restrictions_onlyWhatTheProgramWritesCounts();
    void restrictions_storedAtOnceAndKeptAcrossRuns();
    void labelLanguages_knownPartOrDefault_data();
    void labelLanguages_knownPartOrDefault();

private:
    std::unique_ptr<vsMainWindow> makeWindow();
    // Sends this process's store to a folder of its own.
    void useConfigFolder(const QString &folder);

    QTemporaryDir dataFolder;
    QTemporaryDir slideFolder;
    std::unique_ptr<QTemporaryDir> config;
};

void tst_Settings::initTestCase()
{
    // Hermetic even when run by hand: no bus, whatever the caller's environment.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", noBus);
    vsTest::isolateSettings();
    QVERIFY(dataFolder.isValid());
    QVERIFY(slideFolder.isValid());
    vsTest::writeCatalogue(dataFolder.path(), QStringLiteral("starter.vdb"), vsTest::starterDocument());
    // A missing slide file: the slide counts as closed.
    vsPlatform::setSlideStateFilePath(slideFolder.filePath(QStringLiteral("state")));
}

void tst_Settings::init()
{
    config = std::make_unique<QTemporaryDir>();
    QVERIFY(config->isValid());
    useConfigFolder(config->path());
}

void tst_Settings::cleanupTestCase()
{
    vsPlatform::setSlideStateFilePath(QString());
}

void tst_Settings::useConfigFolder(const QString &folder)
{
    // The path of the default store is fixed once per process; setPath moves it.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
}

std::unique_ptr<vsMainWindow> tst_Settings::makeWindow()
{
    auto window = std::make_unique<vsMainWindow>();
    window->setDataFolder(dataFolder.path());
    if (!window->setup())
        return nullptr;
    return window;
}

void tst_Settings::read_onlyExactOnCountsAsOn_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("on");
    QTest::newRow("no file") << QByteArray() << false;
    QTest::newRow("no key") << QByteArray("[General]\nother=on\n") << false;
    QTest::newRow("on") << QByteArray("[General]\nkeyboard-status=on\n") << true;
    QTest::newRow("off") << QByteArray("[General]\nkeyboard-status=off\n") << false;
    QTest::newRow("On") << QByteArray("[General]\nkeyboard-status=On\n") << false;
    QTest::newRow("ON") << QByteArray("[General]\nkeyboard-status=ON\n") << false;
    QTest::newRow("quoted on with a space") << QByteArray("[General]\nkeyboard-status=\"on \"\n") << false;
    QTest::newRow("true") << QByteArray("[General]\nkeyboard-status=true\n") << false;
    QTest::newRow("1") << QByteArray("[General]\nkeyboard-status=1\n") << false;
    QTest::newRow("empty") << QByteArray("[General]\nkeyboard-status=\n") << false;
    QTest::newRow("a list") << QByteArray("[General]\nkeyboard-status=on, on\n") << false;
}

void tst_Settings::read_onlyExactOnCountsAsOn()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, on);
    if (!file.isNull())
        writeStore(config->path(), file);

    {
        auto window = makeWindow();
        QVERIFY(window);
        QCOMPARE(action(*window, "keyboardOnAction")->isChecked(), on);
        QCOMPARE(action(*window, "keyboardOffAction")->isChecked(), !on);
        QCOMPARE(keypadShown(*window), on);
    }
    // Untouched, the choice goes back as the one text that means it.
    QCOMPARE(storedStatus(config->path()), on ? QByteArray("on") : QByteArray("off"));
}

void tst_Settings::write_onceAtExitAndReadAtNextStart()
{
    writeStore(config->path(), "[General]\nkeyboard-status=off\n");
    {
        auto window = makeWindow();
        QVERIFY(window);
        QVERIFY(!keypadShown(*window));
        action(*window, "keyboardOnAction")->trigger();
        QVERIFY(keypadShown(*window));
        action(*window, "keyboardOffAction")->trigger();
        action(*window, "keyboardOnAction")->trigger();
        // A written setting would reach the file on the next pass of the event loop.
        QTest::qWait(50);
        // The choice lives in the menu until exit.
        QCOMPARE(storedStatus(config->path()), QByteArray("off"));
    }
    QCOMPARE(storedStatus(config->path()), QByteArray("on"));

    {
        auto window = makeWindow();
        QVERIFY(window);
        QVERIFY(action(*window, "keyboardOnAction")->isChecked());
        QVERIFY(keypadShown(*window));
        action(*window, "keyboardOffAction")->trigger();
        QVERIFY(!keypadShown(*window));
    }
    QCOMPARE(storedStatus(config->path()), QByteArray("off"));
}

void tst_Settings::failedSetup_keepsTheStoredValue_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("on") << QByteArray("[General]\nkeyboard-status=on\n") << QByteArray("on");
    QTest::newRow("off") << QByteArray("[General]\nkeyboard-status=off\n") << QByteArray("off");
    QTest::newRow("On") << QByteArray("[General]\nkeyboard-status=On\n") << QByteArray("On");
    QTest::newRow("a list") << QByteArray("[General]\nkeyboard-status=on, off\n") << QByteArray("on, off");
    // Nothing stored: the default goes in, as after any run.
    QTest::newRow("nothing") << QByteArray() << QByteArray("off");
}

void tst_Settings::failedSetup_keepsTheStoredValue()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, after);
    if (!file.isNull())
        writeStore(config->path(), file);
    // Without setup neither menu entry exists or is checked, as after a failed one.
    {
        vsMainWindow window;
    }
    QCOMPARE(storedStatus(config->path()), after);
}

void tst_Settings::garbageStore_countsAsOffAndIsRewrittenClean()
{
    QByteArray garbage(4096, '\0');
    QRandomGenerator random(20260505);
    for (char &byte : garbage)
        byte = char(random.bounded(256));
    // A line that reads as the key must not count either.
    garbage += "\nkeyboard-status=\x01on\n";
    writeStore(config->path(), garbage);
    {
        auto window = makeWindow();
        QVERIFY(window);
        QVERIFY(action(*window, "keyboardOffAction")->isChecked());
        QVERIFY(!keypadShown(*window));
        action(*window, "keyboardOnAction")->trigger();
        QVERIFY(keypadShown(*window));
    }
    QVERIFY(readsBackCleanly(config->path()));
    QCOMPARE(storedStatus(config->path()), QByteArray("on"));
}

void tst_Settings::unwritableStore_keepsTheSessionWorking_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("configuration folder is a file") << QStringLiteral("folder-is-file");
    QTest::newRow("settings file is a folder") << QStringLiteral("file-is-folder");
}

void tst_Settings::unwritableStore_keepsTheSessionWorking()
{
    QFETCH(QString, kind);
    // Made so that not even root can write there.
    QString folder = config->path();
    if (kind == QLatin1String("folder-is-file")) {
        vsTest::writeRaw(config->path(), QStringLiteral("plain"), "not a folder");
        folder = config->filePath(QStringLiteral("plain/config"));
    } else {
        QVERIFY(QDir().mkpath(storeFile(folder)));
    }
    useConfigFolder(folder);

    for (int run = 0; run < 2; ++run) {
        auto window = makeWindow();
        QVERIFY(window);
        // Nothing could be stored by the first run: the default again.
        QVERIFY(action(*window, "keyboardOffAction")->isChecked());
        action(*window, "keyboardOnAction")->trigger();
        QVERIFY(keypadShown(*window));
        QVERIFY(action(*window, "keyboardOnAction")->isChecked());
    }
    QCOMPARE(QFileInfo(storeFile(folder)).isFile(), false);
}

void tst_Settings::program_keepsTheChoiceAcrossRuns_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("on survives") << QByteArray("[General]\nkeyboard-status=on\n") << QByteArray("on");
    QTest::newRow("off survives") << QByteArray("[General]\nkeyboard-status=off\n") << QByteArray("off");
    QTest::newRow("On counts as off") << QByteArray("[General]\nkeyboard-status=On\n") << QByteArray("off");
    QTest::newRow("nothing stored") << QByteArray() << QByteArray("off");
}

void tst_Settings::program_keepsTheChoiceAcrossRuns()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, after);
    if (!file.isNull())
        writeStore(config->path(), file);
    QCOMPARE(runProgram(config->path()), 0);
    QCOMPARE(storedStatus(config->path()), after);
    // And once more: what one run wrote, the next reads and keeps.
    QCOMPARE(runProgram(config->path()), 0);
    QCOMPARE(storedStatus(config->path()), after);
}

void tst_Settings::program_choiceMadeInOneRunSurvivesTheNext()
{
    {
        auto window = makeWindow();
        QVERIFY(window);
        action(*window, "keyboardOnAction")->trigger();
    }
    QCOMPARE(storedStatus(config->path()), QByteArray("on"));
    QCOMPARE(runProgram(config->path()), 0);
    QCOMPARE(storedStatus(config->path()), QByteArray("on"));
    auto window = makeWindow();
    QVERIFY(window);
    QVERIFY(action(*window, "keyboardOnAction")->isChecked());
    QVERIFY(keypadShown(*window));
}

void tst_Settings::program_survivesBrokenStores_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("garbage file") << QStringLiteral("garbage");
    QTest::newRow("configuration folder is a file") << QStringLiteral("folder-is-file");
    QTest::newRow("settings file is a folder") << QStringLiteral("file-is-folder");
}

void tst_Settings::program_survivesBrokenStores()
{
    QFETCH(QString, kind);
    QString folder = config->path();
    if (kind == QLatin1String("garbage")) {
        QByteArray garbage(4096, '\0');
        QRandomGenerator random(7);
        for (char &byte : garbage)
            byte = char(random.bounded(256));
        writeStore(folder, garbage);
    } else if (kind == QLatin1String("folder-is-file")) {
        vsTest::writeRaw(folder, QStringLiteral("plain"), "not a folder");
        folder = config->filePath(QStringLiteral("plain/config"));
    } else {
        QVERIFY(QDir().mkpath(storeFile(folder)));
    }
    QCOMPARE(runProgram(folder), 0);
    if (kind == QLatin1String("garbage")) {
        QVERIFY(readsBackCleanly(folder));
        QCOMPARE(storedStatus(folder), QByteArray("off"));
    }
}

void tst_Settings::restrictions_onlyWhatTheProgramWritesCounts_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("diet");
    QTest::addColumn<QStringList>("groups");
    QTest::addColumn<QStringList>("additives");
    const int none = vsRestrictions::NoDiet;
    QTest::newRow("nothing stored") << QByteArray() << none << QStringList() << QStringList();
    QTest::newRow("as written") << QByteArray("[restrictions]\ndiet=vegan\ngroups=sulphites, phosphates\n"
                                              "additives=E250, E160a(ii)\n")
                                << int(vsRestrictions::Vegan) << QStringList({"sulphites", "phosphates"})
                                << QStringList({"E250", "E160a(ii)"});
    QTest::newRow("one of each") << QByteArray(
                                        "[restrictions]\ndiet=vegetarian\ngroups=nitrites\nadditives=E330\n")
                                 << int(vsRestrictions::Vegetarian) << QStringList("nitrites")
                                 << QStringList("E330");
    QTest::newRow("another spelling") << QByteArray("[restrictions]\ndiet=Vegan\ngroups=Sulphites\n") << none
                                      << QStringList() << QStringList();
    QTest::newRow("a list for a diet")
        << QByteArray("[restrictions]\ndiet=vegan, vegan\n") << none << QStringList() << QStringList();
    QTest::newRow("foreign types") << QByteArray(
                                          "[restrictions]\ndiet=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x5QRect)\n"
                                          "groups=@ByteArray(\\xff\\xfe)\nadditives=@Invalid()\n")
                                   << none << QStringList() << QStringList();
    // Codes as a person might write them come in as the catalogue writes
    // them, once; what is no code stays out.
    QTest::newRow("codes written by hand")
        << QByteArray("[restrictions]\nadditives=e330, E250, E330, <b>x</b>, E, 330, E160A(II), "
                      "E1234567\ngroups=sulphites, unknown, sulphites\n")
        << none << QStringList("sulphites") << QStringList({"E330", "E250", "E160a(ii)"});
}

void tst_Settings::restrictions_onlyWhatTheProgramWritesCounts()
{
    QFETCH(QByteArray, file);
    QFETCH(int, diet);
    QFETCH(QStringList, groups);
    QFETCH(QStringList, additives);
    if (!file.isNull())
        writeStore(config->path(), file);
    const QStringList keys = {QStringLiteral("restrictions/diet"), QStringLiteral("restrictions/groups"),
                              QStringLiteral("restrictions/additives")};
    const auto stored = [&] {
        const QSettings store(storeFile(config->path()), QSettings::IniFormat);
        QVariantList values;
        for (const QString &key : keys)
            values << store.value(key);
        return values;
    };
    const QVariantList before = stored();
    {
        auto window = makeWindow();
        QVERIFY(window);
        const auto *restrictions = window->findChild<vsRestrictions *>();
        QVERIFY(restrictions);
        QCOMPARE(int(restrictions->diet()), diet);
        QStringList avoided;
        for (int group = 0; group < vsRestrictions::groupCount(); ++group) {
            if (restrictions->avoidsGroup(group))
                avoided << vsRestrictions::groupId(group);
        }
        QCOMPARE(avoided, groups);
        QCOMPARE(restrictions->additives(), additives);
    }
    // Only read: nothing of a foreign store is lost.
    QCOMPARE(stored(), before);
}

void tst_Settings::restrictions_storedAtOnceAndKeptAcrossRuns()
{
    // A huge foreign list reads as the first thousand codes, at once.
    QByteArray many = "[restrictions]\nadditives=";
    for (int code = 0; code < 5000; ++code)
        many += "E" + QByteArray::number(1000 + code) + ", ";
    writeStore(config->path(), many + "E1\n");
    {
        auto window = makeWindow();
        QVERIFY(window);
        auto *restrictions = window->findChild<vsRestrictions *>();
        QCOMPARE(restrictions->additives().size(), 1000);
        QCOMPARE(restrictions->additives().last(), QStringLiteral("E1999"));
        for (const QString &code : restrictions->additives())
            restrictions->setAdditiveAvoided(code, false);
        restrictions->setDiet(vsRestrictions::Vegan);
        restrictions->setGroupAvoided(vsRestrictions::groupIndex(QStringLiteral("sweeteners")), true);
        restrictions->setAdditiveAvoided(QStringLiteral("E250"), true);
        // In the file before the window goes, as a crash would find it.
        QTest::qWait(50);
        const QSettings stored(storeFile(config->path()), QSettings::IniFormat);
        QCOMPARE(stored.value(QStringLiteral("restrictions/diet")).toString(), QStringLiteral("vegan"));
        QCOMPARE(stored.value(QStringLiteral("restrictions/groups")).toString(),
                 QStringLiteral("sweeteners"));
        QCOMPARE(stored.value(QStringLiteral("restrictions/additives")).toString(), QStringLiteral("E250"));
    }
    // The real program reads them and leaves them as they were.
    const QByteArray before = readStore(config->path());
    QCOMPARE(runProgram(config->path()), 0);
    QCOMPARE(readStore(config->path()), before);
    auto window = makeWindow();
    QVERIFY(window);
    const auto *restrictions = window->findChild<vsRestrictions *>();
    QCOMPARE(restrictions->diet(), vsRestrictions::Vegan);
    QVERIFY(restrictions->avoidsGroup(vsRestrictions::groupIndex(QStringLiteral("sweeteners"))));
    QCOMPARE(restrictions->additives(), QStringList("E250"));
}

void tst_Settings::labelLanguages_knownPartOrDefault_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("languages"); // empty for the default
    QTest::newRow("nothing stored") << QByteArray() << QStringList();
    QTest::newRow("as written") << QByteArray("[General]\nlabel-languages=\"ru,en,uk\"\n")
                                << QStringList{"ru", "en", "uk"};
    QTest::newRow("a list, by hand") << QByteArray("[General]\nlabel-languages=de, fr\n")
                                     << QStringList{"de", "fr"};
    QTest::newRow("capitals, spaces, twice")
        << QByteArray("[General]\nlabel-languages=\" DE , it,DE\"\n") << QStringList{"de", "it"};
    QTest::newRow("known and unknown")
        << QByteArray("[General]\nlabel-languages=kk,xx\n") << QStringList{"kk"};
    QTest::newRow("unknown only") << QByteArray("[General]\nlabel-languages=xx,yy\n") << QStringList();
    QTest::newRow("empty") << QByteArray("[General]\nlabel-languages=\n") << QStringList();
    QTest::newRow("a rectangle") << QByteArray("[General]\nlabel-languages=@Rect(1 2 3 4)\n")
                                 << QStringList();
    QTest::newRow("a number") << QByteArray("[General]\nlabel-languages=42\n") << QStringList();
    QTest::newRow("a group") << QByteArray("[label-languages]\nru=1\n") << QStringList();
    QByteArray garbage(4096, '\0');
    QRandomGenerator random(11);
    for (char &byte : garbage)
        byte = char(random.bounded(256));
    QTest::newRow("garbage") << garbage << QStringList();
}

void tst_Settings::labelLanguages_knownPartOrDefault()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, languages);
    if (!file.isNull())
        writeStore(config->path(), file);
    if (languages.isEmpty())
        languages = vsLabelVocabulary::defaultLanguages();
    vsLanguageButton button;
    QCOMPARE(button.languages(), languages);
    // The menu ticks the same.
    const QList<QAction *> entries = button.findChildren<QAction *>();
    int ticked = 0;
    for (const QAction *entry : entries)
        ticked += entry->isChecked() ? 1 : 0;
    QCOMPARE(ticked, int(languages.size()));
}

QTEST_MAIN(tst_Settings)
#include "tst_settings.moc"
