#include "mainwindow/vsmainwindow.h"

#include "catalogue/vscatalogueloader.h"
#include "catalogue/vsdatamodel.h"
#include "detail/vsdatadisplay.h"
#include "label/vslabelreader.h"
#include "list/vsdatadelegate.h"
#include "list/vsentryview.h"
#include "platform/vsdevice.h"
#include "platform/vsinformationbox.h"
#include "platform/vslook.h"
#include "platform/vsscrolling.h"
#include "platform/vswindowstack.h"
#include "restrictions/vsrestrictions.h"
#include "restrictions/vsrestrictionswindow.h"
#include "search/vsnamesearch.h"

#include <QActionGroup>
#include <QApplication>
#include <QBoxLayout>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QMessageBox>
#include <QResizeEvent>
#include <QToolButton>

#include <cstdio>
#include <exception>

#ifndef VESTRION_VERSION
#define VESTRION_VERSION "0"
#endif

namespace {
const QString keypadStyle = QStringLiteral(
    "QToolButton::active\n{\nbackground-color: qlineargradient(spread:pad, x1:1, y1:0, x2:1, y2:1, stop:0 "
    "rgba(50, 50, 50, 255), stop:0.368421 rgba(0, 0, 0, 255), stop:1 rgba(15, 15, 15, 255));\n\tcolor: "
    "rgb(255, 255, 255);\n\tborder-color: rgb(100, 100, 100);\n\tborder-style:inset;\nborder-radius: "
    "5px;\nborder-width:1px;\n}\n\nQToolButton::pressed\n{\nbackground-color: qlineargradient(spread:pad, "
    "x1:1, y1:0, x2:1, y2:1, stop:0 rgba(255, 255, 255, 255), stop:0.368421 rgba(255, 128, 6, 255), stop:1 "
    "rgba(255, 128, 93, 255));\nfont: bold;\ncolor: rgb(0, 0, 0);\n\tborder-color: rgb(128, 128, "
    "128);\n\tborder-style:inset;\nborder-radius: 5px;\n\tborder-width:1px;\n}");

const QString keyboardStatusKey = QStringLiteral("keyboard-status");

} // namespace

vsMainWindow::vsMainWindow(QWidget *parent) : QMainWindow(parent), device(new vsDevice(this))
{
    connect(device, &vsDevice::orientationChanged, this, &vsMainWindow::onOrientationChanged);
    connect(device, &vsDevice::keyboardStatusChanged, this, &vsMainWindow::onKeyboardStatusChanged);
    searchTimer.setSingleShot(true);
}

vsMainWindow::~vsMainWindow()
{
    // Neither entry is checked until setup has read the setting; then the
    // stored choice is written back unchanged rather than lost.
    // Kept as stored, not as text, so that whatever it holds survives as it was.
    QVariant status = settings.value(keyboardStatusKey, QStringLiteral("off"));
    if (keyboardOnAction && keyboardOffAction &&
        (keyboardOnAction->isChecked() || keyboardOffAction->isChecked()))
        status = keyboardOnAction->isChecked() ? QStringLiteral("on") : QStringLiteral("off");
    settings.setValue(keyboardStatusKey, status);
    // The store goes before the children: nothing may write to it after this.
    if (restrictions)
        restrictions->disconnect(this);
    // Ends the accelerometer request now rather than with the children.
    delete device;
    device = nullptr;
}

bool vsMainWindow::setup()
{
    QWidget *centralWidget = nullptr;
    QVBoxLayout *mainLayout = nullptr;
    QActionGroup *keyboardGroup = nullptr;
    vsDataDelegate *delegate = nullptr;
    try {
        centralWidget = new QWidget(this);
        mainLayout = new QVBoxLayout;
        keypadLayout = new QVBoxLayout;
        keypadRow1 = new QHBoxLayout;
        keypadRow2 = new QHBoxLayout;
        keypadWidget = new QWidget(centralWidget);
        for (QToolButton *&button : keypadButtons)
            button = new QToolButton(keypadWidget);
        listView = new QListView(centralWidget);
        keyboardGroup = new QActionGroup(this);
        keyboardOnAction = new QAction(tr("Keyboard On"), keyboardGroup);
        keyboardOffAction = new QAction(tr("Keyboard Off"), keyboardGroup);
        aboutAction = new QAction(tr("About"), this);
        findByNameAction = new QAction(tr("Find by name"), this);
        readIngredientsAction = new QAction(tr("Read ingredients"), this);
        restrictionsAction = new QAction(tr("My restrictions"), this);
        restrictions = new vsRestrictions(this);
        quitAction = new QAction(this);
        searchLabel = new QLabel;
        // The list view does not own its delegate; the window does, so that
        // none is left behind when the window goes.
        delegate = new vsDataDelegate(this);
        dataDisplay = new vsDataDisplay;
        dataDisplay->setAutoFillBackground(true);
        dataDisplay->setParent(this);
        vsPlatform::setWindowAttribute(dataDisplay, vsPlatform::StackedWindow, true);
        // After setParent, which resets the window flags.
        dataDisplay->setWindowFlags(dataDisplay->windowFlags() | Qt::Window);
        informationBox = new vsInformationBox(this);
        informationBox->setWidget(searchLabel);
        informationBox->setTimeout(1000);
    } catch (const std::exception &) {
        // Layouts not yet given to a widget have no owner.
        delete mainLayout;
        delete keypadLayout;
        delete keypadRow1;
        delete keypadRow2;
        keypadLayout = nullptr;
        keypadRow1 = keypadRow2 = nullptr;
        return false;
    }

    listView->setObjectName(QStringLiteral("listView"));
    keypadWidget->setObjectName(QStringLiteral("keypadWidget"));
    dataDisplay->setObjectName(QStringLiteral("dataDisplay"));
    searchLabel->setObjectName(QStringLiteral("searchLabel"));
    keyboardOnAction->setObjectName(QStringLiteral("keyboardOnAction"));
    keyboardOffAction->setObjectName(QStringLiteral("keyboardOffAction"));
    aboutAction->setObjectName(QStringLiteral("aboutAction"));
    findByNameAction->setObjectName(QStringLiteral("findByNameAction"));
    readIngredientsAction->setObjectName(QStringLiteral("readIngredientsAction"));
    restrictionsAction->setObjectName(QStringLiteral("restrictionsAction"));
    quitAction->setObjectName(QStringLiteral("quitAction"));

    setSearchLabel();
    searchLabel->setFont(QFont(QString::fromLatin1(vsPlatform::systemFontFamily), 14));

    for (int i = 0; i < 9; ++i)
        keypadButtons[i]->setText(QString::number(i + 1));
    keypadButtons[9]->setText(QStringLiteral("0"));
    keypadButtons[10]->setText(QStringLiteral("<"));
    for (QToolButton *button : keypadButtons) {
        button->setFixedHeight(60);
        button->setObjectName(QStringLiteral("keypadButton_") + button->text());
    }
    // Its face is a sign; a screen reader says what it does.
    keypadButtons[10]->setAccessibleName(tr("Delete"));

    keypadLayout->setContentsMargins(1, 0, 1, 0);
    keypadLayout->setSpacing(5);
    keypadRow1->setContentsMargins(0, 0, 0, 0);
    keypadRow1->setSpacing(2);
    keypadRow2->setContentsMargins(0, 0, 0, 0);
    keypadRow2->setSpacing(2);

    for (QToolButton *button : keypadButtons) {
        button->setStyleSheet(keypadStyle);
        button->setFocusPolicy(Qt::NoFocus);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setMinimumWidth(70);
        keypadRow1->addWidget(button, 0);
    }

    keypadLayout->addLayout(keypadRow1, 0);
    keypadLayout->addLayout(keypadRow2, 0);
    keypadWidget->setLayout(keypadLayout);
    keypadWidget->setContentsMargins(0, 0, 0, 0);

    mainLayout->setSpacing(5);
    mainLayout->setContentsMargins(5, 5, 5, 5);
    mainLayout->addWidget(listView, 1);
    mainLayout->addWidget(keypadWidget, 0);

    keypadWidget->setVisible(!isSlideOpen());

    const QPalette black = vsPlatform::blackPalette();
    centralWidget->setLayout(mainLayout);
    centralWidget->setPalette(black);
    setCentralWidget(centralWidget);
    setPalette(black);

    if (!loadData())
        return false;

    vsEntryView::setUpList(listView, model, delegate, black);
    listView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    const QModelIndex first = model->index(0, 0, QModelIndex());
    if (first.isValid()) {
        listView->clearSelection();
        listView->selectionModel()->select(first, QItemSelectionModel::Select);
    }

    if (!dataDisplay->createWidgets())
        return false;
    vsPlatform::enableKineticScrolling(dataDisplay);

    // Read before anything shows a row; each change is stored as it is made.
    restrictions->read(settings);
    model->setRestrictions(restrictions);
    dataDisplay->setRestrictions(restrictions);
    connect(restrictions, &vsRestrictions::changed, this, [this] { restrictions->write(settings); });

    keyboardGroup->setExclusive(true);
    keyboardOnAction->setCheckable(true);
    keyboardOffAction->setCheckable(true);
    menuBar()->addActions(keyboardGroup->actions());
    menuBar()->addAction(findByNameAction);
    menuBar()->addAction(readIngredientsAction);
    menuBar()->addAction(restrictionsAction);
    menuBar()->addAction(aboutAction);
    // Ctrl+Q quits from every window of the program, as on a desktop; Q
    // without Ctrl still types 1. Not a menu entry: the handheld has none.
    quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quitAction->setShortcutContext(Qt::ApplicationShortcut);
    addAction(quitAction);
    // The desktop menu bar would inherit the black window palette and draw its
    // texts black on black; it keeps the toolkit's own colours.
    menuBar()->setPalette(vsPlatform::toolkitPalette(menuBar()));

    if (settings.value(keyboardStatusKey, QStringLiteral("off")).toString() == QLatin1String("on")) {
        keyboardOnAction->setChecked(true);
        if (!isSlideOpen())
            keypadWidget->setVisible(true);
    } else {
        keyboardOffAction->setChecked(true);
        keypadWidget->setVisible(false);
    }

    connect(&searchTimer, SIGNAL(timeout()), this, SLOT(onTimeOut()));
    connect(listView, SIGNAL(clicked(const QModelIndex &)), this, SLOT(onShowData(QModelIndex)));
    connect(listView, SIGNAL(activated(const QModelIndex &)), this, SLOT(onShowData(QModelIndex)));
    const char *digitSlots[10] = {SLOT(onNumber1Clicked()), SLOT(onNumber2Clicked()),
                                  SLOT(onNumber3Clicked()), SLOT(onNumber4Clicked()),
                                  SLOT(onNumber5Clicked()), SLOT(onNumber6Clicked()),
                                  SLOT(onNumber7Clicked()), SLOT(onNumber8Clicked()),
                                  SLOT(onNumber9Clicked()), SLOT(onNumber0Clicked())};
    for (int i = 0; i < 10; ++i)
        connect(keypadButtons[i], SIGNAL(clicked()), this, digitSlots[i]);
    connect(keypadButtons[10], SIGNAL(clicked()), this, SLOT(onNumberRemoveClicked()));
    connect(keyboardOnAction, SIGNAL(triggered(bool)), this, SLOT(onMenuKeyboardVisibilityClicked()));
    connect(keyboardOffAction, SIGNAL(triggered(bool)), this, SLOT(onMenuKeyboardVisibilityClicked()));
    connect(aboutAction, SIGNAL(triggered(bool)), this, SLOT(onMenuAboutClicked()));
    connect(findByNameAction, &QAction::triggered, this, &vsMainWindow::onMenuFindByNameClicked);
    connect(readIngredientsAction, &QAction::triggered, this, &vsMainWindow::onMenuReadIngredientsClicked);
    connect(restrictionsAction, &QAction::triggered, this, &vsMainWindow::onMenuRestrictionsClicked);
    connect(quitAction, &QAction::triggered, this, &vsMainWindow::onQuit);

    setWindowTitle(QStringLiteral("Vestrion"));
    return true;
}

bool vsMainWindow::loadData()
{
    try {
        model = new vsDataModel(this);
    } catch (const std::exception &) {
        return false;
    }
    const QString folder =
        dataFolder.isEmpty()
            ? QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("data"))
            : dataFolder;
    vsCatalogueLoader::loadFolder(folder, model);
    return true;
}

// Code search ---------------------------------------------------------------

void vsMainWindow::onNumber1Clicked()
{
    onNumberClicked(QStringLiteral("1"));
}
void vsMainWindow::onNumber2Clicked()
{
    onNumberClicked(QStringLiteral("2"));
}
void vsMainWindow::onNumber3Clicked()
{
    onNumberClicked(QStringLiteral("3"));
}
void vsMainWindow::onNumber4Clicked()
{
    onNumberClicked(QStringLiteral("4"));
}
void vsMainWindow::onNumber5Clicked()
{
    onNumberClicked(QStringLiteral("5"));
}
void vsMainWindow::onNumber6Clicked()
{
    onNumberClicked(QStringLiteral("6"));
}
void vsMainWindow::onNumber7Clicked()
{
    onNumberClicked(QStringLiteral("7"));
}
void vsMainWindow::onNumber8Clicked()
{
    onNumberClicked(QStringLiteral("8"));
}
void vsMainWindow::onNumber9Clicked()
{
    onNumberClicked(QStringLiteral("9"));
}
void vsMainWindow::onNumber0Clicked()
{
    onNumberClicked(QStringLiteral("0"));
}

void vsMainWindow::onNumberClicked(QString pNumberString)
{
    // A public slot: anything but one decimal digit would break the code's form.
    if (pNumberString.size() != 1 || pNumberString.at(0) < QLatin1Char('0') ||
        pNumberString.at(0) > QLatin1Char('9'))
        return;
    if (searchCode.size() > 3)
        return;
    if (searchCode.isEmpty() && pNumberString == QLatin1String("0"))
        return;
    searchCode.append(pNumberString);
    showSearchBox();
}

void vsMainWindow::onNumberRemoveClicked()
{
    if (searchCode.size() <= 1) {
        searchCode.clear();
        searchTimer.stop();
        setSearchLabel();
        return;
    }
    searchCode.chop(1);
    showSearchBox();
}

void vsMainWindow::onTimeOut()
{
    searchCode.clear();
}

void vsMainWindow::setSearchLabel()
{
    if (searchLabel)
        searchLabel->setText(tr("Search") + QLatin1String(" [") + searchCode + QLatin1Char(']'));
}

void vsMainWindow::showSearchBox()
{
    searchTimer.start(2000);
    setSearchLabel();
    if (informationBox) {
        if (!informationBox->isVisible())
            informationBox->setVisible(true);
        informationBox->setTimeout(1000);
    }
    searchItem();
}

void vsMainWindow::searchItem()
{
    if (!listView || !listView->model())
        return;
    const QString needle = QLatin1Char('E') + searchCode;
    QAbstractItemModel *items = listView->model();
    const int rows = items->rowCount(QModelIndex());
    for (int row = 0; row < rows; ++row) {
        const QModelIndex index = items->index(row, 0, QModelIndex());
        if (index.data(vsDataModel::CodeRole).toString().indexOf(needle, 0, Qt::CaseSensitive) == -1)
            continue;
        // A flick still running would carry the list away from the match.
        vsPlatform::stopKineticScrolling(listView);
        listView->scrollTo(index, QAbstractItemView::PositionAtTop);
        listView->clearSelection();
        listView->selectionModel()->select(index, QItemSelectionModel::Select);
        return;
    }
}

void vsMainWindow::onShowData(QModelIndex pIndex)
{
    if (pIndex.data(vsDataModel::TypeRole).toString() == QLatin1String("header"))
        return;
    searchTimer.stop();
    searchCode.clear();
    setSearchLabel();
    if (informationBox)
        informationBox->setVisible(false);
    if (!dataDisplay)
        return;
    dataDisplay->show();
    dataDisplay->adjustSize();
    dataDisplay->showData(pIndex);
    // Shown again, a window keeps its old place in the stack, below the search
    // and reader windows made since; nor does every window manager raise it.
    dataDisplay->raise();
    dataDisplay->activateWindow();
}

void vsMainWindow::onQuit()
{
    QCoreApplication::quit();
}

// Menu -----------------------------------------------------------------------

void vsMainWindow::onMenuKeyboardVisibilityClicked()
{
    if (!keypadWidget || !keyboardOnAction)
        return;
    const bool wanted = keyboardOnAction->isChecked();
    keypadWidget->setVisible(wanted && !isSlideOpen());
}

void vsMainWindow::onMenuAboutClicked()
{
    QMessageBox::about(this, tr("About Vestrion"),
                       tr("Vestrion %1\nOffline reference browser for food additive codes\n"
                          "Copyright (C) 2026 Morvane. All rights reserved.")
                           .arg(QLatin1String(VESTRION_VERSION)));
}

void vsMainWindow::onMenuFindByNameClicked()
{
    if (!model)
        return;
    // Made on first use, so that start-up does not pay for it.
    if (!nameSearch) {
        try {
            nameSearch = new vsNameSearch(model, this);
        } catch (const std::exception &) {
            return;
        }
        connect(nameSearch, &vsEntryView::entryChosen, this, &vsMainWindow::onShowData);
    }
    nameSearch->onOpen();
}

void vsMainWindow::onMenuReadIngredientsClicked()
{
    // Made on first use: start-up stays as it was without it.
    if (!labelReader && model) {
        try {
            labelReader = new vsLabelReader(model, this);
        } catch (const std::exception &) {
            return;
        }
        connect(labelReader, &vsEntryView::entryChosen, this, &vsMainWindow::onShowData);
    }
    if (labelReader)
        labelReader->onOpen();
}

void vsMainWindow::onMenuRestrictionsClicked()
{
    if (!restrictions)
        return;
    // Made on first use: start-up stays as it was without it.
    if (!restrictionsWindow) {
        try {
            restrictionsWindow = new vsRestrictionsWindow(restrictions, model, this);
        } catch (const std::exception &) {
            return;
        }
    }
    restrictionsWindow->onOpen();
}

// Device ---------------------------------------------------------------------

void vsMainWindow::onOrientationChanged(QString pOrientation)
{
    if (pOrientation == QLatin1String("portrait") || pOrientation == QLatin1String("portrait (inverted)")) {
        vsPlatform::setWindowAttribute(this, vsPlatform::LandscapeOrientation, false);
        vsPlatform::setWindowAttribute(this, vsPlatform::PortraitOrientation, true);
    } else {
        vsPlatform::setWindowAttribute(this, vsPlatform::LandscapeOrientation, true);
        vsPlatform::setWindowAttribute(this, vsPlatform::PortraitOrientation, false);
    }
    vsPlatform::updateDesktopGeometry();
}

void vsMainWindow::onKeyboardStatusChanged(QString)
{
    if (!keypadWidget || !keyboardOnAction)
        return;
    if (isSlideOpen())
        keypadWidget->hide();
    else
        keypadWidget->setVisible(keyboardOnAction->isChecked());
}

bool vsMainWindow::isSlideOpen() const
{
    return vsDevice::isSlideOpen();
}

void vsMainWindow::resizeEvent(QResizeEvent *event)
{
    if (keypadLayout && keypadRow1 && keypadRow2 && keypadButtons[10]) {
        // The buttons stay children of the keypad; only their places are rebuilt.
        while (QLayoutItem *item = keypadRow1->takeAt(0))
            delete item;
        while (QLayoutItem *item = keypadRow2->takeAt(0))
            delete item;
        const QSize size = event->size();
        if (size.width() < size.height()) {
            for (int i = 0; i < 6; ++i)
                keypadRow1->addWidget(keypadButtons[i], 0);
            keypadRow1->invalidate();
            keypadRow2->addStretch(0);
            for (int i = 6; i < 11; ++i) {
                keypadButtons[i]->setMinimumWidth(78);
                keypadRow2->addWidget(keypadButtons[i], 0);
            }
            keypadRow2->addStretch(0);
            keypadRow2->invalidate();
        } else {
            for (QToolButton *button : keypadButtons) {
                button->setMinimumWidth(70);
                keypadRow1->addWidget(button, 0);
            }
            keypadRow2->invalidate();
            keypadRow1->invalidate();
        }
        keypadLayout->invalidate();
    }
    QMainWindow::resizeEvent(event);
}

// Hardware keys --------------------------------------------------------------

void vsMainWindow::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    std::printf("%d\n", key);
    std::fflush(stdout);

    // Ctrl+F opens the name search; F alone is no digit and stays unhandled.
    if (key == Qt::Key_F && (event->modifiers() & Qt::ControlModifier)) {
        onMenuFindByNameClicked();
        return;
    }
    // Ctrl+L reads a whole ingredient list.
    if (key == Qt::Key_L && (event->modifiers() & Qt::ControlModifier)) {
        onMenuReadIngredientsClicked();
        return;
    }

    switch (key) {
    case Qt::Key_0:
    case Qt::Key_P:
        onNumber0Clicked();
        break;
    case Qt::Key_1:
    case Qt::Key_Q:
        onNumber1Clicked();
        break;
    case Qt::Key_2:
    case Qt::Key_W:
        onNumber2Clicked();
        break;
    case Qt::Key_3:
    case Qt::Key_E:
        onNumber3Clicked();
        break;
    case Qt::Key_4:
    case Qt::Key_R:
        onNumber4Clicked();
        break;
    case Qt::Key_5:
    case Qt::Key_T:
        onNumber5Clicked();
        break;
    case Qt::Key_6:
    case Qt::Key_Y:
        onNumber6Clicked();
        break;
    case Qt::Key_7:
    case Qt::Key_U:
        onNumber7Clicked();
        break;
    case Qt::Key_8:
    case Qt::Key_I:
        onNumber8Clicked();
        break;
    case Qt::Key_9:
    case Qt::Key_O:
        onNumber9Clicked();
        break;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        onNumberRemoveClicked();
        break;
    // Return as well: a laptop has no keypad Enter.
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (listView && listView->selectionModel()) {
            const QModelIndexList selected = listView->selectionModel()->selectedIndexes();
            if (!selected.isEmpty())
                onShowData(selected.first());
        }
        break;
    case Qt::Key_Down:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Left:
        moveSelection(key);
        break;
    default:
        QWidget::keyPressEvent(event);
        break;
    }
}

QModelIndex vsMainWindow::selectedItemIndex() const
{
    if (!listView || !listView->selectionModel())
        return QModelIndex();
    const QModelIndexList selected = listView->selectionModel()->selectedIndexes();
    if (!selected.isEmpty())
        return selected.first();
    return listView->indexAt(QPoint(10, 35));
}

bool vsMainWindow::isHeaderRow(int row) const
{
    const QModelIndex index = listView->model()->index(row, 0, QModelIndex());
    return index.data(vsDataModel::TypeRole).toString() == QLatin1String("header");
}

void vsMainWindow::moveSelection(int key)
{
    const QModelIndex current = selectedItemIndex();
    if (!current.isValid())
        return;
    const int rows = listView->model()->rowCount(QModelIndex());
    const int row = current.row();
    int target = row;
    switch (key) {
    case Qt::Key_Down:
        target = row + 1;
        if (isHeaderRow(target))
            ++target;
        if (target >= rows)
            return;
        break;
    case Qt::Key_Up:
        target = row - 1;
        if (isHeaderRow(target))
            --target;
        if (target <= 0)
            return;
        break;
    case Qt::Key_Right:
        target = row + 5;
        if (isHeaderRow(target))
            ++target;
        if (target >= rows)
            target = rows - 1;
        break;
    case Qt::Key_Left:
        target = row - 5;
        if (isHeaderRow(target))
            --target;
        if (target < 1)
            target = 1;
        break;
    default:
        return;
    }
    const QModelIndex index = listView->model()->index(target, 0, QModelIndex());
    listView->scrollTo(index, QAbstractItemView::EnsureVisible);
    listView->clearSelection();
    listView->selectionModel()->select(index, QItemSelectionModel::Select);
}
