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
class vsOcrJob;

// Reads a whole ingredient list: typed, pasted or from a picture, with the
// additives it names below, in order, updated as the text changes. A stacked
// window over the main window, like the detail view.
class vsLabelReader : public vsEntryView
{
    Q_OBJECT

public:
    // The catalogue must outlive the reader; it is read on the first analysis.
    explicit vsLabelReader(QAbstractItemModel *catalogue, QWidget *parent = nullptr);
    ~vsLabelReader() override;

    // The next "Open picture…" takes this file instead of asking, once; for tests.
    static void setNextFileName(const QString &path);

public slots:
    void onOpen();
    void onOpenPicture();
    // Every picture enters here: a file opened, or a camera frame later.
    void onReadImage(const QImage &pImage);
    void onCancelReading();
    void onTextChanged();

protected:
    // Escape also cancels a picture being read.
    void leave() override;

private:
    void onRecognised(int result, const QString &text);
    void setReading(bool reading);
    void announceReadingEnd(int result, const QString &text);
    // The line over the additives: which of them the user's restrictions rule out.
    QString restrictionSummary(const QVector<int> &rows) const;
    void onRestrictionsChanged();

    std::unique_ptr<vsLabelAnalyser> analyser;
    QAbstractItemModel *catalogue = nullptr;
    QPlainTextEdit *textEdit = nullptr;
    QPushButton *openButton = nullptr;
    QProgressBar *progress = nullptr;
    QPushButton *cancelButton = nullptr;
    QLabel *statusLabel = nullptr;
    QLabel *summaryLabel = nullptr;
    QPointer<vsOcrJob> job;
};

#endif
