#include "label/vsocr.h"

#include "label/vsocrengine.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <QMutex>

#include <dlfcn.h>
#include <unistd.h>

namespace {
QMutex loadMutex;
QString chosenPath;
QString lastReason;
bool tried = false;
decltype(&vestrion_ocr_read) readFunction = nullptr;
decltype(&vestrion_ocr_free) freeFunction = nullptr;

// Beyond a 12-megapixel photo's sides, memory grows for nothing: the engine
// scales the letters to the size it reads best in any case.
constexpr int maxSide = 6000;

// Tesseract's OpenMP threads spin while they wait: on a handheld's or a busy
// machine's few cores one thread reads a label several times faster in CPU
// time. A limit the user set is kept. Set before any thread reads the
// environment where that can be: a job sets it on the thread that makes it.
void limitEngineThreads()
{
    if (!qEnvironmentVariableIsSet("OMP_THREAD_LIMIT"))
        qputenv("OMP_THREAD_LIMIT", "1");
}

bool loadModule()
{
    QMutexLocker lock(&loadMutex);
    if (tried)
        return readFunction && freeFunction;
    tried = true;
    limitEngineThreads();
    QLibrary module(vsOcr::modulePath());
    if (!module.load()) {
        lastReason = module.errorString();
        return false;
    }
    readFunction = reinterpret_cast<decltype(&vestrion_ocr_read)>(module.resolve("vestrion_ocr_read"));
    freeFunction = reinterpret_cast<decltype(&vestrion_ocr_free)>(module.resolve("vestrion_ocr_free"));
    if (!readFunction || !freeFunction)
        lastReason = module.errorString();
    return readFunction && freeFunction;
}

int reportProgress(void *context, int percent)
{
    const auto *progress = static_cast<const std::function<bool(int)> *>(context);
    return (*progress)(percent) ? 1 : 0;
}
} // namespace

void vsOcr::setModulePath(const QString &path)
{
    QMutexLocker lock(&loadMutex);
    chosenPath = path;
}

QString vsOcr::modulePath()
{
    if (!chosenPath.isEmpty())
        return chosenPath;
    return QDir(QCoreApplication::applicationDirPath())
        .absoluteFilePath(QStringLiteral("libvestrion-ocr.so"));
}

QString vsOcr::unavailableReason()
{
    QMutexLocker lock(&loadMutex);
    return lastReason;
}

vsOcr::Result vsOcr::read(const QImage &image, const Request &request, Reading *reading,
                          const std::function<bool(int)> &progress)
{
    *reading = Reading();
    if (image.isNull())
        return Failed;
    if (!loadModule())
        return Unavailable;
    QImage picture = image;
    QRect region = request.region;
    if (picture.width() > maxSide || picture.height() > maxSide) {
        const QSize full = picture.size();
        picture = picture.scaled(maxSide, maxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        const double scale = double(picture.width()) / full.width();
        region = QRect(QPoint(int(region.left() * scale), int(region.top() * scale)),
                       QSize(int(region.width() * scale), int(region.height() * scale)));
    }
    // Colour stays: a grey of the engine's choice shows coloured print best.
    const bool grey = picture.allGray();
    picture = picture.convertToFormat(grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    region = region.intersected(picture.rect());
    const QByteArray languages = request.languages.toLatin1();
    const vsOcrRequest asked{picture.constBits(),
                             picture.width(),
                             picture.height(),
                             int(picture.bytesPerLine()),
                             grey ? vsOcrGrey8 : vsOcrRgb32,
                             region.x(),
                             region.y(),
                             region.width(),
                             region.height(),
                             languages.isEmpty() ? nullptr : languages.constData(),
                             request.timeLimitMs};
    const std::function<bool(int)> noProgress = [](int) { return false; };
    vsOcrResult result{};
    const int status = readFunction(
        &asked, &reportProgress,
        const_cast<void *>(static_cast<const void *>(progress ? &progress : &noProgress)), &result);
    switch (status) {
    case vsOcrDone: {
        reading->text = QString::fromUtf8(result.text);
        freeFunction(result.text);
        const double scale = double(image.width()) / picture.width();
        reading->area = QRect(QPoint(int(result.left * scale), int(result.top * scale)),
                              QSize(int(result.width * scale), int(result.height * scale)));
        reading->timedOut = result.timedOut != 0;
        return Done;
    }
    case vsOcrUnavailable: {
        QMutexLocker lock(&loadMutex);
        lastReason = request.languages.isEmpty()
                         ? QStringLiteral("the Russian and English OCR models cannot be loaded")
                         : QStringLiteral("the OCR models %1 cannot be loaded").arg(request.languages);
        return Unavailable;
    }
    case vsOcrCancelled:
        return Cancelled;
    default:
        return Failed;
    }
}

void vsOcr::limitEngineThreadsAtStart(char *argv[])
{
    if (qEnvironmentVariableIsSet("OMP_THREAD_LIMIT"))
        return;
    limitEngineThreads();
    // Threads spinning past the cores took the reading's whole time.
    using ThreadLimit = int (*)();
    const auto threadLimit = reinterpret_cast<ThreadLimit>(dlsym(RTLD_DEFAULT, "omp_get_thread_limit"));
    if (threadLimit && threadLimit() > 1)
        execv("/proc/self/exe", argv); // returns only if it failed: then as before
}

vsOcr::Result vsOcr::recognise(const QImage &image, QString *text, const std::function<bool(int)> &progress)
{
    Reading reading;
    const Result result = read(image, Request(), &reading, progress);
    *text = reading.text;
    return result;
}

vsOcrJob::vsOcrJob(const QImage &image, const vsOcr::Request &request, QObject *parent)
    : QThread(parent), image(image), request(request)
{
    limitEngineThreads();
}

vsOcrJob::~vsOcrJob()
{
    cancel();
    wait();
}

void vsOcrJob::run()
{
    int last = -1;
    const vsOcr::Result status = vsOcr::read(image, request, &result, [this, &last](int percent) {
        if (percent != last) {
            last = percent;
            emit progressChanged(percent);
        }
        return cancelled.load();
    });
    emit recognised(status, result.text);
}
