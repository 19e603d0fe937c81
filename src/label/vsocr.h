#ifndef VESTRION_LABEL_VSOCR_H
#define VESTRION_LABEL_VSOCR_H

#include <QImage>
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

    // Blocks until done; progress gets the percentage and returns true to cancel.
    static Result recognise(const QImage &image, QString *text,
                            const std::function<bool(int)> &progress = std::function<bool(int)>());
};

// One picture read on a thread of its own, so that the window stays live.
class vsOcrJob : public QThread
{
    Q_OBJECT

public:
    explicit vsOcrJob(const QImage &image, QObject *parent = nullptr);
    ~vsOcrJob() override;

    void cancel() { cancelled = true; }

signals:
    void progressChanged(int percent);
    void recognised(int result, const QString &text);

protected:
    void run() override;

private:
    QImage image;
    std::atomic<bool> cancelled{false};
};

#endif
