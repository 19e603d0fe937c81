#include "testsupport.h"

#include "catalogue/vscatalogueloader.h"
#include "catalogue/vsvdbformat.h"
#include "detail/vsdatadisplay.h"
#include "mainwindow/vsmainwindow.h"
#include "platform/vsdevice.h"

#include <QAction>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QXmlStreamReader>

#include <algorithm>
#include <chrono>

namespace vsTest {

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (condition())
            return true;
        if (deadline.hasExpired())
            return false;
        QTest::qWait(int(qMin<qint64>(50, deadline.remainingTime())));
    }
}

QByteArray timedOut(const char *expression, int timeoutMs, const QByteArray &detail)
{
    QByteArray message = "not within " + QByteArray::number(timeoutMs) + " ms: " + expression;
    return detail.isEmpty() ? message : message + "\n" + detail;
}

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

QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

CommandRun runCommand(const QString &program, const QStringList &arguments, const QByteArray &input,
                      int timeoutMs)
{
    QProcess process;
    process.start(program, arguments);
    CommandRun run;
    if (!process.waitForStarted())
        return run;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit) {
        if (process.state() != QProcess::NotRunning)
            qWarning("%s did not end within %d ms and was killed", qPrintable(program), timeoutMs);
        process.kill();
        process.waitForFinished(5000);
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QString writeCatalogue(const QString &folder, const QString &name, const QByteArray &document)
{
    return writeRaw(folder, name, vsVdbFormat::pack(document));
}

vsEntryList bundledSourceItems(qint64 *bytes)
{
    const QDir sources(QStringLiteral(VESTRION_TEST_DATA_DIR "/../../data"));
    vsEntryList items;
    for (const QString &name : sources.entryList({QStringLiteral("*.xml")}, QDir::Files, QDir::Name)) {
        QFile file(sources.absoluteFilePath(name));
        if (!file.open(QIODevice::ReadOnly))
            qFatal("cannot read %s", qPrintable(file.fileName()));
        QXmlStreamReader reader(&file);
        while (!reader.atEnd()) {
            if (reader.readNext() != QXmlStreamReader::StartElement || reader.name() != QLatin1String("item"))
                continue;
            vsEntry item;
            const QXmlStreamAttributes attributes = reader.attributes();
            for (const QXmlStreamAttribute &attribute : attributes)
                item.insert(attribute.name().toString(), attribute.value().toString());
            items << item;
        }
        if (reader.hasError())
            qFatal("%s: %s", qPrintable(file.fileName()), qPrintable(reader.errorString()));
        if (bytes)
            *bytes += file.size();
    }
    if (items.isEmpty())
        qFatal("no catalogue sources in %s", qPrintable(sources.absolutePath()));
    return items;
}

QStringList generatedItems(int rows, const QString &lastCode, QVector<QString> *codes)
{
    // In the order the bundled sources write them.
    static const char *const names[] = {"type",    "code",       "group",    "names",  "functions",
                                        "sources", "production", "products", "status", "safety"};
    static const vsEntryList bundled = bundledSourceItems();
    vsEntryList entries;
    QStringList titles;
    for (const vsEntry &item : bundled) {
        if (item.value(QStringLiteral("type")) == QLatin1String("header"))
            titles << item.value(QStringLiteral("code"));
        else
            entries << item;
    }
    if (entries.isEmpty() || titles.isEmpty())
        qFatal("the bundled sources lack entries or group titles");
    QRandomGenerator random{quint32(rows)};
    const int perTitle = qMax(1, int(entries.size() / titles.size()));
    QStringList items;
    for (int row = 0; row < rows; ++row) {
        const bool last = row == rows - 1;
        if (!last && row % (perTitle + 1) == 0) {
            const QString &title = titles.at(int(random.bounded(titles.size())));
            items << headerItem(title.toHtmlEscaped());
            if (codes)
                *codes << title;
            continue;
        }
        QStringList attributes;
        for (const char *name : names) {
            const vsEntry &entry = entries.at(int(random.bounded(entries.size())));
            const QString attribute = QLatin1String(name);
            const bool code = attribute == QLatin1String("code");
            if (!entry.contains(attribute) && !(code && last))
                continue;
            const QString value = code && last ? lastCode : entry.value(attribute);
            attributes << attribute + QStringLiteral("=\"") + value.toHtmlEscaped() + QLatin1Char('"');
            if (code && codes)
                *codes << value;
        }
        items << attributes.join(QLatin1Char(' '));
    }
    return items;
}

QString copyProgram(const QString &folder)
{
    const QString program = QDir(folder).filePath(QStringLiteral("vestrion"));
    const bool there =
        QFile::exists(program) || QFile::copy(QStringLiteral(VESTRION_BUILD_DIR "/vestrion"), program);
    return there ? program : QString();
}

ProgramCatalogues::ProgramCatalogues() : root(new QTemporaryDir) {}

ProgramCatalogues::~ProgramCatalogues() = default;

const ProgramCatalogue *ProgramCatalogues::get(const QString &name,
                                               const std::function<QString(ProgramCatalogue *)> &fill)
{
    std::unique_ptr<ProgramCatalogue> &known = made[name];
    if (known || !error.isEmpty())
        return known.get();
    auto catalogue = std::make_unique<ProgramCatalogue>();
    catalogue->dataFolder = root->filePath(name + QStringLiteral("/data"));
    // The program reads data/ beside its own executable, so each catalogue gets a copy.
    if (QDir().mkpath(catalogue->dataFolder))
        catalogue->program = copyProgram(root->filePath(name));
    error = catalogue->program.isEmpty() ? QStringLiteral("no copy of the program") : fill(catalogue.get());
    if (!error.isEmpty())
        error = name + QStringLiteral(": ") + error;
    else
        known = std::move(catalogue);
    return known.get();
}

const ProgramCatalogue *ProgramCatalogues::empty()
{
    return get(QStringLiteral("empty"), [](ProgramCatalogue *) { return QString(); });
}

const ProgramCatalogue *ProgramCatalogues::bundled()
{
    return get(QStringLiteral("bundled"), [](ProgramCatalogue *catalogue) {
        const QDir packed(QStringLiteral(VESTRION_BUILD_DIR "/data"));
        for (const QString &name : vsCatalogueLoader::dataFileNames(packed)) {
            const QByteArray bytes = fileContents(packed.absoluteFilePath(name));
            QByteArray document;
            const QString wrong = vsVdbFormat::unpack(bytes, &document);
            if (!wrong.isEmpty())
                return name + QStringLiteral(": ") + wrong;
            writeRaw(catalogue->dataFolder, name, bytes);
            ++catalogue->files;
            catalogue->xmlBytes += document.size();
            catalogue->entries += vsCatalogueLoader::readDocument(document).size();
        }
        return catalogue->entries > 0 ? QString() : QStringLiteral("no packed catalogue in the build");
    });
}

const ProgramCatalogue *ProgramCatalogues::generated(int entries, int files, const QString &lastCode)
{
    return get(QStringLiteral("generated/%1/%2").arg(entries).arg(files), [=](ProgramCatalogue *catalogue) {
        const QStringList rows = generatedItems(entries, lastCode, &catalogue->codes);
        for (int file = 0; file < files; ++file) {
            const int first = int(qint64(entries) * file / files);
            const int end = int(qint64(entries) * (file + 1) / files);
            const QByteArray document = vsTest::document(rows.mid(first, end - first));
            catalogue->xmlBytes += document.size();
            writeCatalogue(catalogue->dataFolder, QStringLiteral("%1.vdb").arg(file, 2, 10, QLatin1Char('0')),
                           document);
        }
        catalogue->files = files;
        catalogue->entries = entries;
        return catalogue->codes.size() == entries ? QString() : QStringLiteral("rows without a code");
    });
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

bool keypadShown(const vsMainWindow &window)
{
    return window.findChild<QWidget *>(QStringLiteral("keypadWidget"))->isVisibleTo(&window);
}

QAction *action(const vsMainWindow &window, const char *name)
{
    return window.findChild<QAction *>(QString::fromLatin1(name));
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
        qWarning("the program did not end within %d ms and was killed", timeoutMs);
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

XSession::XSession()
    : xdotool(QStandardPaths::findExecutable(QStringLiteral("xdotool"))),
      xwininfo(QStandardPaths::findExecutable(QStringLiteral("xwininfo")))
{}

XSession::~XSession()
{
    stopProgram();
    stopDesktopBus();
}

QString XSession::startServer(QProcess &server, const QString &screen, QString *error)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) {
        *error = QStringLiteral("Xvfb cannot start: it is not installed (Debian package xvfb)");
        return QString();
    }
    // The server picks a free display and writes its number on the given
    // descriptor. Without -noreset it resets whenever its last client leaves
    // (each xdotool run here), and a client that connects meanwhile is refused.
    server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"),
                        QStringLiteral("-screen"), QStringLiteral("0"), screen, QStringLiteral("-nolisten"),
                        QStringLiteral("tcp")});
    if (!server.waitForStarted(5000)) {
        *error = QStringLiteral("Xvfb cannot start: ") + server.errorString();
        return QString();
    }
    QByteArray number;
    QElapsedTimer clock;
    clock.start();
    while (!number.contains('\n') && server.state() == QProcess::Running && clock.elapsed() < 10000) {
        server.waitForReadyRead(200);
        number += server.readAllStandardOutput();
    }
    if (!number.contains('\n')) {
        *error = QStringLiteral("Xvfb cannot start: ") +
                 QString::fromLocal8Bit(server.readAllStandardError().trimmed());
        stopServer(server);
        return QString();
    }
    const QString started = QLatin1Char(':') + QString::fromLatin1(number.trimmed());

    // The display is announced when the server listens; make sure clients
    // really get through before a program is started against it.
    const QString previous = display;
    display = started;
    const bool reachable =
        waitUntil(
            [&] {
                return server.state() != QProcess::Running ||
                       !runTool(xdotool, {QStringLiteral("getdisplaygeometry")}, 2000).trimmed().isEmpty();
            },
            10000) &&
        server.state() == QProcess::Running;
    display = previous;
    if (!reachable) {
        *error = QStringLiteral("Xvfb on %1 cannot be reached").arg(started);
        stopServer(server);
        return QString();
    }
    return started;
}

void XSession::stopServer(QProcess &server)
{
    if (server.state() == QProcess::NotRunning)
        return;
    server.terminate();
    if (!server.waitForFinished(5000)) {
        server.kill();
        server.waitForFinished(5000);
    }
}

QString XSession::runTool(const QString &tool, const QStringList &arguments, int timeoutMs,
                          const QByteArray &input)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    if (!sessionBusAddress.isEmpty())
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionBusAddress);
    process.setProcessEnvironment(environment);
    process.start(tool, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return QString();
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QStringList XSession::visibleWindows()
{
    return runTool(xdotool, {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                             QStringLiteral("--name"), QStringLiteral("^Vestrion$")})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

XSession::Geometry XSession::geometryOf(const QString &window)
{
    Geometry geometry;
    const QStringList lines = runTool(xwininfo, {QStringLiteral("-id"), window}).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString value = line.section(QLatin1Char(':'), 1).trimmed();
        if (line.contains(QLatin1String("Absolute upper-left X")))
            geometry.x = value.toInt();
        else if (line.contains(QLatin1String("Absolute upper-left Y")))
            geometry.y = value.toInt();
        else if (line.trimmed().startsWith(QLatin1String("Width:")))
            geometry.width = value.toInt();
        else if (line.trimmed().startsWith(QLatin1String("Height:")))
            geometry.height = value.toInt();
        else if (line.contains(QLatin1String("Map State")))
            geometry.viewable = value == QLatin1String("IsViewable");
    }
    return geometry;
}

QStringList XSession::stackingOrder()
{
    QStringList order;
    const QStringList lines =
        runTool(xwininfo, {QStringLiteral("-root"), QStringLiteral("-children")}).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString id = line.trimmed().section(QLatin1Char(' '), 0, 0);
        bool ok = false;
        const qulonglong value = id.toULongLong(&ok, 16);
        if (id.startsWith(QLatin1String("0x")) && ok)
            order << QString::number(value);
    }
    return order;
}

bool XSession::focusOn(const QString &window)
{
    // --sync waits for the focus to arrive, which it may never do: asked again.
    runTool(xdotool, {QStringLiteral("windowfocus"), QStringLiteral("--sync"), window}, 2000);
    return runTool(xdotool, {QStringLiteral("getwindowfocus")}, 2000).trimmed() == window;
}

QImage XSession::grabWindow(const QString &window)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    process.setProcessEnvironment(environment);
    process.start(QStandardPaths::findExecutable(QStringLiteral("import")),
                  {QStringLiteral("-window"), window, QStringLiteral("png:-")});
    process.waitForFinished(5000);
    return QImage::fromData(process.readAllStandardOutput(), "PNG").convertToFormat(QImage::Format_RGB32);
}

bool XSession::prepareHome(const QTemporaryDir &home, const QStringList &items)
{
    // The program reads data/ beside itself.
    const QString executable = home.filePath(QStringLiteral("vestrion"));
    const QDir folder(home.path());
    return home.isValid() && QFile::copy(QStringLiteral(VESTRION_BUILD_DIR "/vestrion"), executable) &&
           QFile::setPermissions(executable, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) &&
           folder.mkpath(QStringLiteral("data")) && folder.mkpath(QStringLiteral("config")) &&
           folder.mkpath(QStringLiteral("runtime")) &&
           QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) &&
           !writeCatalogue(home.filePath(QStringLiteral("data")), QStringLiteral("test.vdb"), document(items))
                .isEmpty();
}

void XSession::launchProgram(const QTemporaryDir &home, const QStringList &variables)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("VESTRION_EXIT_AFTER_FIRST_PAINT"));
    environment.remove(QStringLiteral("QT_SCALE_FACTOR"));
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));
    if (!sessionBusAddress.isEmpty())
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionBusAddress);
    // The accessibility bridge on, as when a screen reader runs.
    environment.insert(QStringLiteral("QT_ACCESSIBILITY"), QStringLiteral("1"));
    environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
#ifdef VESTRION_SANITIZE
    // On xcb, a module the toolkit unloads at exit leaves an allocation
    // LeakSanitizer cannot name; the program's own leaks are checked offscreen.
    const QString asan = environment.value(QStringLiteral("ASAN_OPTIONS"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"), asan.isEmpty()
                                                           ? QStringLiteral("detect_leaks=0")
                                                           : asan + QStringLiteral(":detect_leaks=0"));
#endif
    for (const QString &assignment : variables) {
        const int equals = assignment.indexOf(QLatin1Char('='));
        if (equals > 0)
            environment.insert(assignment.left(equals), assignment.mid(equals + 1));
    }
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(home.path());
    program.setProcessChannelMode(QProcess::SeparateChannels);
    programOutput.clear();
    program.start(home.filePath(QStringLiteral("vestrion")), QStringList());
}

QString XSession::startProgram(const QTemporaryDir &home)
{
    launchProgram(home);
    QStringList windows;
    if (!waitUntil(
            [&] {
                return (windows = visibleWindows()).size() == 1 || program.state() == QProcess::NotRunning;
            },
            10000) ||
        program.state() != QProcess::Running)
        return QString();
    return windows.first();
}

void XSession::stopProgram()
{
    if (program.state() != QProcess::NotRunning) {
        program.kill();
        program.waitForFinished(5000);
    }
}

bool XSession::startDesktopBus(QString *error)
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    const QString launcher = QStringLiteral("/usr/libexec/at-spi-bus-launcher");
    const QString send = QStandardPaths::findExecutable(QStringLiteral("dbus-send"));
    if (daemon.isEmpty() || send.isEmpty()) {
        *error = QStringLiteral("dbus-daemon or dbus-send is missing (Debian package dbus)");
        return false;
    }
    if (!QFileInfo(launcher).isExecutable()) {
        *error = QStringLiteral("%1 is missing (Debian package at-spi2-core)").arg(launcher);
        return false;
    }
    stopDesktopBus();
    sessionBus.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                              QStringLiteral("--print-address=1")});
    QByteArray address;
    QElapsedTimer clock;
    clock.start();
    while (!address.contains('\n') && sessionBus.state() != QProcess::NotRunning && clock.elapsed() < 10000) {
        sessionBus.waitForReadyRead(200);
        address += sessionBus.readAllStandardOutput();
    }
    if (!address.contains('\n')) {
        *error = QStringLiteral("the session bus did not start: ") +
                 QString::fromLocal8Bit(sessionBus.readAllStandardError().trimmed());
        stopDesktopBus();
        return false;
    }
    sessionBusAddress = QString::fromLatin1(address.trimmed());

    // The launcher starts the accessibility bus at once and puts its address on
    // the session bus (and the display), where the program and readers look.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionBusAddress);
    if (!display.isEmpty())
        environment.insert(QStringLiteral("DISPLAY"), display);
    busRuntime.reset(new QTemporaryDir);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), busRuntime->path());
    accessibilityBus.setProcessEnvironment(environment);
    accessibilityBus.start(launcher, {QStringLiteral("--launch-immediately")});
    const QStringList ask = {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                             QStringLiteral("--dest=org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                             QStringLiteral("org.a11y.Bus.GetAddress")};
    if (!waitUntil(
            [&] {
                return accessibilityBus.state() == QProcess::NotRunning ||
                       runTool(send, ask, 2000).contains(QLatin1String("unix:"));
            },
            10000) ||
        accessibilityBus.state() == QProcess::NotRunning) {
        *error = QStringLiteral("the accessibility bus did not start: ") +
                 QString::fromLocal8Bit(accessibilityBus.readAllStandardError().trimmed());
        stopDesktopBus();
        return false;
    }
    // On a desktop the registry runs before any program does. A program that
    // starts while the bus is still starting it is never listed to a screen
    // reader, so it is started here, as the bus does on the first call.
    const QString registryBus = runTool(send, ask, 2000).section(QLatin1Char('"'), 1, 1);
    const QStringList ping = {QStringLiteral("--bus=") + registryBus, QStringLiteral("--print-reply"),
                              QStringLiteral("--dest=org.a11y.atspi.Registry"),
                              QStringLiteral("/org/a11y/atspi/registry"),
                              QStringLiteral("org.freedesktop.DBus.Peer.Ping")};
    if (!QTest::qWaitFor([&] { return runTool(send, ping, 2000).startsWith(QLatin1String("method return")); },
                         10000)) {
        *error = QStringLiteral("the accessibility registry did not start on ") + registryBus;
        stopDesktopBus();
        return false;
    }
    return true;
}

void XSession::stopDesktopBus()
{
    // The launcher takes its accessibility bus down with it.
    for (QProcess *process : {&accessibilityBus, &sessionBus}) {
        if (process->state() == QProcess::NotRunning)
            continue;
        process->terminate();
        if (!process->waitForFinished(5000)) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
    sessionBusAddress.clear();
    busRuntime.reset();
}

} // namespace vsTest
