#include "label/vsocr.h"

#include "label/vsocrengine.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <QMutex>

namespace {
QMutex loadMutex;
QString chosenPath;
QString lastReason;
bool tried = false;
decltype(&vestrion_ocr_recognise) recogniseFunction = nullptr;
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
        return recogniseFunction && freeFunction;
    tried = true;
    limitEngineThreads();
    QLibrary module(vsOcr::modulePath());
    if (!module.load()) {
        lastReason = module.errorString();
        return false;
    }
    recogniseFunction =
        reinterpret_cast<decltype(&vestrion_ocr_recognise)>(module.resolve("vestrion_ocr_recognise"));
    freeFunction = reinterpret_cast<decltype(&vestrion_ocr_free)>(module.resolve("vestrion_ocr_free"));
    if (!recogniseFunction || !freeFunction)
        lastReason = module.errorString();
    return recogniseFunction && freeFunction;
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

vsOcr::Result vsOcr::recognise(const QImage &image, QString *text, const std::function<bool(int)> &progress)
{
    text->clear();
    if (image.isNull())
        return Failed;
    if (!loadModule())
        return Unavailable;
    QImage grey = image;
    if (grey.width() > maxSide || grey.height() > maxSide)
        grey = grey.scaled(maxSide, maxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    grey = grey.convertToFormat(QImage::Format_Grayscale8);
    const std::function<bool(int)> noProgress = [](int) { return false; };
    char *recognised = nullptr;
    const int status = recogniseFunction(
        grey.constBits(), grey.width(), grey.height(), grey.bytesPerLine(), &reportProgress,
        const_cast<void *>(static_cast<const void *>(progress ? &progress : &noProgress)), &recognised);
    switch (status) {
    case vsOcrDone:
        *text = QString::fromUtf8(recognised);
        freeFunction(recognised);
        return Done;
    case vsOcrUnavailable: {
        QMutexLocker lock(&loadMutex);
        lastReason = QStringLiteral("the Russian and English OCR models cannot be loaded");
        return Unavailable;
    }
    case vsOcrCancelled:
        return Cancelled;
    default:
        return Failed;
    }
}

vsOcrJob::vsOcrJob(const QImage &image, QObject *parent) : QThread(parent), image(image)
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
    QString text;
    int last = -1;
    const vsOcr::Result result = vsOcr::recognise(image, &text, [this, &last](int percent) {
        if (percent != last) {
            last = percent;
            emit progressChanged(percent);
        }
        return cancelled.load();
    });
    emit recognised(result, text);
}
