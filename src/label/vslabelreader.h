#ifndef VESTRION_LABEL_VSLABELREADER_H
#define VESTRION_LABEL_VSLABELREADER_H

#include "list/vsentryview.h"

#include <QImage>
#include <QPointer>

#include <memory>

class QAbstractItemModel;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class vsLabelAnalyser;
class vsLanguageButton;
class vsOcrJob;
class vsPictureView;

// Reads a whole ingredient list: typed, pasted or from a picture, with the
// additives it names below, in order, updated as the text changes. A stacked
// window over the main window, like the detail view. A picture read stays
// beside the text, the part read outlined, until another picture is read or
// the field is emptied; a rectangle dragged over it reads just that part.
class vsLabelReader : public vsEntryView
{
    Q_OBJECT

public:
    // The catalogue must outlive the reader; it is read on the first analysis.
    explicit vsLabelReader(QAbstractItemModel *catalogue, QWidget *parent = nullptr);
    ~vsLabelReader() override;

    // The next "Open picture…" takes this file instead of asking, once; for tests.
    static void setNextFileName(const QString &path);
    // Processor time a reading may take; vsOcr's default unless a test says otherwise.
    void setTimeLimit(int milliseconds);

public slots:
    void onOpen();
    void onOpenPicture();
    // Every picture enters here: a file opened, or a camera frame later.
    void onReadImage(const QImage &pImage);
    void onCancelReading();
    void onTextChanged();
    // Reads just this part of the picture shown, in its pixels.
    void onRegionChosen(const QRect &region);
    void onLanguagesChanged();

protected:
    // Escape also cancels a picture being read.
    void leave() override;
    // The picture beside the text, or above it in a tall window.
    void resizeEvent(QResizeEvent *event) override;

private:
    void startReading(const QImage &image, const QRect &region);
    void onRecognised(int result, const QString &text);
    void setReading(bool reading);
    void announceReadingEnd(int result, const QString &text);
    // The line over the additives: which of them the user's restrictions rule out.
    QString restrictionSummary(const QVector<int> &rows) const;
    void onRestrictionsChanged();
    void announceReadingEnd(int result, const QString &text, bool timedOut);
    // Replaces the field's text as one step that Undo takes back.
    void replaceText(const QString &text);
    void showPicture(const QImage &image);
    void setStatus(const QString &text);
    // The time-out note, or that the text names no additive.
    void updateStatus();

    std::unique_ptr<vsLabelAnalyser> analyser;
    QAbstractItemModel *catalogue = nullptr;
    QPlainTextEdit *textEdit = nullptr;
    QPushButton *openButton = nullptr;
    QProgressBar *progress = nullptr;
    QPushButton *cancelButton = nullptr;
    QLabel *statusLabel = nullptr;
    QLabel *summaryLabel = nullptr;
    vsLanguageButton *languageButton = nullptr;
    vsPictureView *pictureView = nullptr;
    QPointer<vsOcrJob> job;
    QImage jobPicture;        // the picture the job reads
    bool readingPart = false; // a part of the picture shown, not a new picture
    QString pictureNote;      // said while the picture shown was not read whole
    int timeLimitMs;
};

#endif
