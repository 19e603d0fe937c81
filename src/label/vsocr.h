#ifndef VESTRION_LABEL_VSOCR_H
#define VESTRION_LABEL_VSOCR_H

#include <QImage>
#include <QRect>
#include <QString>
#include <QThread>

#include <atomic>
#include <functional>

// Reads the text of a picture through the OCR module, loaded on first use.
// Any picture enters here: a file opened, a camera frame.
class vsOcr
{
public:
    enum Result
    {
        Done,
        Unavailable, // no module, no engine or no language models
        Cancelled,
        Failed
    };

    // Where the module is; beside the executable unless a test says otherwise.
    static void setModulePath(const QString &path);
    static QString modulePath();
    // Why the last Unavailable, for the user.
    static QString unavailableReason();

    // The engine runs one thread unless OMP_THREAD_LIMIT says otherwise; its
    // runtime reads that once, when it is loaded. Called first in main(): where
    // the runtime came in before main (Qt 6 brings it), the program starts
    // anew with the limit set.
    static void limitEngineThreadsAtStart(char *argv[]);

    // Processor time a picture may take; past it, what was read by then.
    static constexpr int defaultTimeLimitMs = 2500;

    struct Request
    {
        QRect region;      // the part to read; empty for the whole picture, whose text is found
        QString languages; // the engine's, "rus+eng"; empty for that
        int timeLimitMs = defaultTimeLimitMs; // 0 for none
    };
    struct Reading
    {
        QString text;
        QRect area; // the part of the picture that was read
        bool timedOut = false;
    };

    // Blocks until done; progress gets the percentage and returns true to cancel.
    static Result read(const QImage &image, const Request &request, Reading *reading,
                       const std::function<bool(int)> &progress = std::function<bool(int)>());
    // The whole picture in the default languages.
    static Result recognise(const QImage &image, QString *text,
                            const std::function<bool(int)> &progress = std::function<bool(int)>());
};

// One picture read on a thread of its own, so that the window stays live.
class vsOcrJob : public QThread
{
    Q_OBJECT

public:
    explicit vsOcrJob(const QImage &image, const vsOcr::Request &request = vsOcr::Request(),
                      QObject *parent = nullptr);
    ~vsOcrJob() override;

    void cancel() { cancelled = true; }
    // Once recognised: the part read and whether the time ran out.
    const vsOcr::Reading &reading() const { return result; }

signals:
    void progressChanged(int percent);
    void recognised(int result, const QString &text);

protected:
    void run() override;

private:
    QImage image;
    vsOcr::Request request;
    vsOcr::Reading result;
    std::atomic<bool> cancelled{false};
};

#endif
