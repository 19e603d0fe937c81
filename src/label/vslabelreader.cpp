#include "label/vslabelreader.h"

#include "catalogue/vsdatamodel.h"
#include "label/vslabelanalyser.h"
#include "label/vsocr.h"
#include "list/vsentryrows.h"
#include "platform/vslook.h"
#include "restrictions/vsrestrictions.h"

#include <QApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QString nextFileName;

} // namespace

vsLabelReader::vsLabelReader(QAbstractItemModel *catalogue, QWidget *parent)
    : vsEntryView(catalogue, parent), catalogue(catalogue), textEdit(new QPlainTextEdit(this)),
      openButton(new QPushButton(this)), progress(new QProgressBar(this)),
      cancelButton(new QPushButton(this)), statusLabel(new QLabel(this)), summaryLabel(new QLabel(this))
{
    setObjectName(QStringLiteral("labelReader"));
    resultView->setObjectName(QStringLiteral("additiveView"));

    const QFont font(QString::fromLatin1(vsPlatform::systemFontFamily), 16);
    textEdit->setObjectName(QStringLiteral("labelEdit"));
    textEdit->setPlaceholderText(tr("Type or paste the ingredients"));
    textEdit->setAccessibleName(tr("Ingredients"));
    textEdit->setFont(font);
    textEdit->setTabChangesFocus(true);
    textEdit->setMaximumHeight(160);
    textEdit->setPalette(vsPlatform::toolkitPalette(textEdit));
    openButton->setObjectName(QStringLiteral("openPictureButton"));
    openButton->setText(tr("Open picture…"));
    progress->setObjectName(QStringLiteral("readingProgress"));
    progress->setRange(0, 100);
    cancelButton->setObjectName(QStringLiteral("cancelReadingButton"));
    cancelButton->setText(tr("Cancel"));
    statusLabel->setObjectName(QStringLiteral("readerStatus"));
    statusLabel->setFont(font);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(openButton, 0);
    buttons->addWidget(progress, 1);
    buttons->addWidget(cancelButton, 0);
    buttons->addWidget(statusLabel, 1);
    layout->insertWidget(0, textEdit, 0);
    layout->insertLayout(1, buttons, 0);
    summaryLabel->setObjectName(QStringLiteral("restrictionSummary"));
    summaryLabel->setFont(font);
    summaryLabel->setWordWrap(true);
    summaryLabel->setTextFormat(Qt::PlainText);
    summaryLabel->hide();
    layout->insertWidget(layout->indexOf(resultView), summaryLabel, 0);
    // Tab leaves the field for the additives found, then the buttons.
    setTabOrder(textEdit, resultView);
    setTabOrder(resultView, openButton);
    setTabOrder(openButton, cancelButton);
    setReading(false);

    connect(textEdit, &QPlainTextEdit::textChanged, this, &vsLabelReader::onTextChanged);
    connect(openButton, &QPushButton::clicked, this, &vsLabelReader::onOpenPicture);
    connect(cancelButton, &QPushButton::clicked, this, &vsLabelReader::onCancelReading);
    // A change of the restrictions reaches the reader as one of the catalogue's rows.
    if (catalogue)
        connect(catalogue, &QAbstractItemModel::dataChanged, this, &vsLabelReader::onRestrictionsChanged);
}

vsLabelReader::~vsLabelReader()
{
    // The thread must not outlive the window it reports to.
    if (job) {
        job->cancel();
        job->wait();
    }
}

void vsLabelReader::setNextFileName(const QString &path)
{
    nextFileName = path;
}

void vsLabelReader::onOpen()
{
    show();
    raise();
    activateWindow();
    textEdit->setFocus(Qt::OtherFocusReason);
}

void vsLabelReader::onOpenPicture()
{
    QString path = nextFileName;
    nextFileName.clear();
    if (path.isEmpty())
        path = QFileDialog::getOpenFileName(this, tr("Open picture…"), QString(),
                                            tr("Pictures (*.png *.jpg *.jpeg)"));
    if (path.isEmpty())
        return;
    QImageReader reader(path);
    reader.setAutoTransform(true); // a phone photo's orientation tag
    const QImage image = reader.read();
    if (image.isNull()) {
        statusLabel->setText(tr("Cannot open the picture"));
        return;
    }
    onReadImage(image);
}

void vsLabelReader::onReadImage(const QImage &pImage)
{
    if (job || pImage.isNull())
        return;
    job = new vsOcrJob(pImage, vsOcr::Request(), this);
    connect(job, &vsOcrJob::progressChanged, progress, &QProgressBar::setValue);
    connect(job, &vsOcrJob::recognised, this, &vsLabelReader::onRecognised);
    connect(job, &QThread::finished, job, &QObject::deleteLater);
    setReading(true);
    job->start();
}

void vsLabelReader::onCancelReading()
{
    if (job)
        job->cancel();
}

void vsLabelReader::onRecognised(int result, const QString &text)
{
    // The thread deletes itself once it has finished; the next picture may start.
    job.clear();
    setReading(false);
    announceReadingEnd(result, text);
    switch (result) {
    case vsOcr::Done:
        if (text.trimmed().isEmpty())
            statusLabel->setText(tr("No text in the picture"));
        else
            textEdit->setPlainText(text.trimmed());
        break;
    case vsOcr::Unavailable:
        statusLabel->setText(tr("Pictures cannot be read here"));
        break;
    case vsOcr::Cancelled:
        break;
    default:
        statusLabel->setText(tr("No text in the picture"));
        break;
    }
}

void vsLabelReader::announceReadingEnd(int result, const QString &text)
{
    // The field has the keyboard again: its description is what a screen
    // reader says next, and changing it is heard at once.
    QString outcome;
    switch (result) {
    case vsOcr::Done:
        outcome = text.trimmed().isEmpty() ? tr("No text in the picture") : tr("Picture read");
        break;
    case vsOcr::Unavailable:
        outcome = tr("Pictures cannot be read here");
        break;
    case vsOcr::Cancelled:
        outcome = tr("Reading cancelled");
        break;
    default:
        outcome = tr("No text in the picture");
        break;
    }
    // Cleared when the reading began, so the toolkit announces it.
    textEdit->setAccessibleDescription(outcome);
}

void vsLabelReader::setReading(bool reading)
{
    openButton->setEnabled(!reading);
    textEdit->setReadOnly(reading);
    progress->setVisible(reading);
    progress->setValue(0);
    cancelButton->setVisible(reading);
    statusLabel->setVisible(!reading);
    if (reading) {
        statusLabel->clear();
        textEdit->setAccessibleDescription(QString());
    }
}

void vsLabelReader::onTextChanged()
{
    if (!analyser)
        analyser.reset(new vsLabelAnalyser(catalogue));
    const QVector<int> rows = analyser->analyse(textEdit->toPlainText());
    const QString summary = restrictionSummary(rows);
    showRows(rows, false, summary);
    summaryLabel->setText(summary);
    summaryLabel->setVisible(!summary.isEmpty());
    if (!textEdit->toPlainText().trimmed().isEmpty() && results->rowCount() == 0)
        statusLabel->setText(tr("No additives found"));
    else
        statusLabel->clear();
}

QString vsLabelReader::restrictionSummary(const QVector<int> &rows) const
{
    const auto *model = qobject_cast<const vsDataModel *>(catalogue);
    if (!model || !model->restrictions())
        return QString();
    QStringList codes;
    QVector<vsConflict> conflicts;
    for (const int row : rows) {
        codes << model->index(row).data(vsDataModel::CodeRole).toString();
        conflicts << model->conflict(row);
    }
    return model->restrictions()->summary(codes, conflicts);
}

void vsLabelReader::onRestrictionsChanged()
{
    QVector<int> rows;
    for (int row = 0; row < results->rowCount(); ++row)
        rows << results->sourceIndex(row).row();
    const QString summary = restrictionSummary(rows);
    if (summary == summaryLabel->text())
        return;
    summaryLabel->setText(summary);
    summaryLabel->setVisible(!summary.isEmpty());
    describeRows(summary);
}

void vsLabelReader::leave()
{
    onCancelReading();
    vsEntryView::leave();
}
