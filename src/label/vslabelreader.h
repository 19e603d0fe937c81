#ifndef VESTRION_LABEL_VSLABELREADER_H
#define VESTRION_LABEL_VSLABELREADER_H

#include <QImage>
#include <QModelIndex>
#include <QPointer>
#include <QWidget>

#include <memory>

class QAbstractItemModel;
class QLabel;
class QListView;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class vsLabelAnalyser;
class vsNameResults;
class vsOcrJob;

// Reads a whole ingredient list: typed, pasted or from a picture, with the
// additives it names below, in order, updated as the text changes. A stacked
// window over the main window, like the detail view.
class vsLabelReader : public QWidget
{
    Q_OBJECT

public:
    // The catalogue must outlive the reader; it is read on the first analysis.
    explicit vsLabelReader(QAbstractItemModel *catalogue, QWidget *parent = nullptr);
    ~vsLabelReader() override;

    // The next "Open picture…" takes this file instead of asking, once; for tests.
    static void setNextFileName(const QString &path);

signals:
    // An entry to open, as an index of the catalogue model.
    void entryChosen(QModelIndex pIndex);

public slots:
    void onOpen();
    void onOpenPicture();
    // Every picture enters here: a file opened, or a camera frame later.
    void onReadImage(const QImage &pImage);
    void onCancelReading();
    void onTextChanged();
    void onResultActivated(const QModelIndex &pIndex);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void onRecognised(int result, const QString &text);
    void setReading(bool reading);
    void announceReadingEnd(int result, const QString &text);

    std::unique_ptr<vsLabelAnalyser> analyser;
    QAbstractItemModel *catalogue = nullptr;
    vsNameResults *results = nullptr;
    QPlainTextEdit *textEdit = nullptr;
    QPushButton *openButton = nullptr;
    QProgressBar *progress = nullptr;
    QPushButton *cancelButton = nullptr;
    QLabel *statusLabel = nullptr;
    QListView *resultView = nullptr;
    QPointer<vsOcrJob> job;
};

#endif
