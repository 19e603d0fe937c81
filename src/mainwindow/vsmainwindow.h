#ifndef VESTRION_MAINWINDOW_VSMAINWINDOW_H
#define VESTRION_MAINWINDOW_VSMAINWINDOW_H

#include <QMainWindow>
#include <QModelIndex>
#include <QSettings>
#include <QString>
#include <QTimer>

class QAction;
class QHBoxLayout;
class QLabel;
class QListView;
class QToolButton;
class QVBoxLayout;
class vsDataDisplay;
class vsDataModel;
class vsDevice;
class vsInformationBox;
class vsLabelReader;
class vsNameSearch;
class vsRestrictions;
class vsRestrictionsWindow;

// The program's one main window: the list of all entries above the numeric
// keypad, the code search, the keyboard menu and the device's orientation and
// keyboard slide.
class vsMainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit vsMainWindow(QWidget *parent = nullptr);
    ~vsMainWindow() override;

    // Builds, loads and connects everything; false when the window cannot be shown.
    bool setup();

    // Where loadData looks; the folder "data" beside the executable by default.
    // Tests point it at folders of their own before setup.
    void setDataFolder(const QString &path) { dataFolder = path; }

public slots:
    void onNumber1Clicked();
    void onNumber2Clicked();
    void onNumber3Clicked();
    void onNumber4Clicked();
    void onNumber5Clicked();
    void onNumber6Clicked();
    void onNumber7Clicked();
    void onNumber8Clicked();
    void onNumber9Clicked();
    void onNumber0Clicked();
    void onNumberClicked(QString pNumberString);
    void onNumberRemoveClicked();
    void onShowData(QModelIndex pIndex);
    void onMenuKeyboardVisibilityClicked();
    void onMenuAboutClicked();
    void onMenuFindByNameClicked();
    void onMenuReadIngredientsClicked();
    void onMenuRestrictionsClicked();
    void onQuit();
    void onOrientationChanged(QString pOrientation);
    void onKeyboardStatusChanged(QString pStatus);
    void onTimeOut();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    bool loadData();
    void searchItem();
    QModelIndex selectedItemIndex() const;
    void moveSelection(int key);
    bool isSlideOpen() const;
    void setSearchLabel();
    void showSearchBox();
    bool isHeaderRow(int row) const;

    vsDevice *device = nullptr;
    vsDataModel *model = nullptr;
    QListView *listView = nullptr;
    QWidget *keypadWidget = nullptr;
    vsDataDisplay *dataDisplay = nullptr;
    QVBoxLayout *keypadLayout = nullptr;
    QHBoxLayout *keypadRow1 = nullptr;
    QHBoxLayout *keypadRow2 = nullptr;
    QToolButton *keypadButtons[11] = {};
    QAction *keyboardOnAction = nullptr;
    QAction *keyboardOffAction = nullptr;
    QAction *aboutAction = nullptr;
    QAction *findByNameAction = nullptr;
    QAction *readIngredientsAction = nullptr;
    QAction *restrictionsAction = nullptr;
    QAction *quitAction = nullptr;
    QTimer searchTimer;
    QLabel *searchLabel = nullptr;
    QString searchCode;
    vsInformationBox *informationBox = nullptr;
    QSettings settings;
    QString dataFolder;
    vsNameSearch *nameSearch = nullptr;
    vsLabelReader *labelReader = nullptr;
    vsRestrictions *restrictions = nullptr;
    vsRestrictionsWindow *restrictionsWindow = nullptr;
};

#endif
