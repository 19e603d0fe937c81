#include "testsupport.h"

#include "catalogue/vsvdbformat.h"
#include "detail/vsdatadisplay.h"
#include "mainwindow/vsmainwindow.h"
#include "platform/vsplatform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <chrono>

namespace vsTest {

QByteArray document(const QStringList &items)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<catalogue>\n";
    for (const QString &item : items)
        xml += "  <item " + item.toUtf8() + "/>\n";
    xml += "</catalogue>\n";
    return xml;
}

QString entryItem(const QString &code, const QString &more)
{
    const QString item = QStringLiteral(R"(type="additive" code="%1" names="Name %1")").arg(code);
    return more.isEmpty() ? item : item + QLatin1Char(' ') + more;
}

QString headerItem(const QString &title)
{
    return QStringLiteral(R"(type="header" code="%1" group="%1")").arg(title);
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

QToolButton *keypadButton(const vsMainWindow &window, const QString &text)
{
    return window.findChild<QToolButton *>(QStringLiteral("keypadButton_") + text);
}

QListView *WindowFixture::list() const
{
    return window->findChild<QListView *>(QStringLiteral("listView"));
}

QString WindowFixture::label() const
{
    return window->findChild<QLabel *>(QStringLiteral("searchLabel"))->text();
}

vsDataDisplay *WindowFixture::detail() const
{
    return window->findChild<vsDataDisplay *>(QStringLiteral("dataDisplay"));
}

void WindowFixture::tap(const QString &keys)
{
    for (const QChar key : keys) {
        QToolButton *button = keypadButton(*window, key);
        QVERIFY2(button && button->isVisible(), qPrintable(QStringLiteral("no keypad button ") + key));
        QTest::mouseClick(button, Qt::LeftButton);
    }
}

QList<int> WindowFixture::selectedRows(const QListView *list)
{
    QList<int> rows;
    const QModelIndexList selected = list->selectionModel()->selectedIndexes();
    for (const QModelIndex &index : selected)
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void WindowFixture::closeWindow()
{
    window.reset();
    folder.reset();
}

ProgramRun runToFirstPaint(const QStringList &environment, const QString &program, int timeoutMs,
                           const QStringList &launcher)
{
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    variables.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    variables.insert(QStringLiteral("VESTRION_EXIT_AFTER_FIRST_PAINT"), QStringLiteral("1"));
    variables.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
                     QStringLiteral("unix:path=/nonexistent/vestrion-test-bus"));
    for (const QString &assignment : environment) {
        const int equals = assignment.indexOf(QLatin1Char('='));
        if (equals > 0)
            variables.insert(assignment.left(equals), assignment.mid(equals + 1));
    }
    QStringList command = launcher;
    command << (program.isEmpty() ? QStringLiteral(VESTRION_BUILD_DIR "/vestrion") : program);
    QProcess process;
    process.setProcessEnvironment(variables);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardOutputFile(QProcess::nullDevice());
    // The catalogue is found beside the program, never in the working folder.
    process.setWorkingDirectory(QDir::rootPath());

    const auto epochMs = [] {
        return std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
    ProgramRun run;
    const double started = epochMs();
    process.start(command.takeFirst(), command);
    run.finished = process.waitForFinished(timeoutMs);
    const double ended = epochMs();
    if (!run.finished) {
        process.kill();
        process.waitForFinished(5000);
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.errors = process.readAllStandardError();
    if (run.exitCode != 0)
        qWarning("vestrion said: %s", run.errors.constData());
    const int at = run.errors.indexOf("vestrion-first-paint ");
    if (at >= 0) {
        const double painted = run.errors.mid(at + 21).split('\n').first().trimmed().toDouble();
        run.startupMs = painted - started;
        run.exitMs = ended - painted;
    }
    return run;
}

} // namespace vsTest
