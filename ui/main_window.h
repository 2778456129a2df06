#pragma once
// The main window: tool bar, menu bar, the file list view, the hidden media player and the
// program's Settings record. It is the hub the dialogs and the start command reach through
// the global Form1 (ui/forms.h). GUI thread only.

#include "batch/file_list.h"
#include "settings/settings.h"
#include "ui/media_player.h"
#include "ui/ui_services.h"

#include <QMainWindow>

#include <memory>
#include <string>
#include <vector>

struct FileLevels;
class HelpWindow;
class LevelMeasurement;
class ListViewColumns;
class ListViewSorting;
class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QMenuBar;
class QToolButton;
class QTreeView;
class QUrl;
class QWidget;

/// Options of the add command's file-open dialog.
struct OpenDialogOptions {
    QString Filter;      ///< Qt name filter; matches ".wav" in any letter case
    QString DefaultExt;  ///< "WAV"
};

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    /// Builds the window hidden, then loads the settings (restoring the window's position)
    /// and accepts dropped files.
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Controls, named as in the form description. Owned by the window (Qt parents).
    QTreeView* ListView1 = nullptr;
    QWidget* Panel1 = nullptr;
    QToolButton* SpeedButton1 = nullptr;  ///< "リストから削除"
    QToolButton* SpeedButton2 = nullptr;  ///< "再生"
    QToolButton* SpeedButton3 = nullptr;  ///< "停止"
    QToolButton* SpeedButton4 = nullptr;  ///< "バージョン情報"
    QMenuBar* MainMenu1 = nullptr;
    QMenu* aaa1 = nullptr;   ///< "ﾌｧｲﾙ(&F)"
    QMenu* Edit1 = nullptr;  ///< "編集(&E)"
    QAction* Exit1 = nullptr;
    QAction* KA1 = nullptr;
    QAction* Delete1 = nullptr;
    QAction* New1 = nullptr;
    QAction* KC1 = nullptr;
    QAction* N4 = nullptr;
    QMenu* KP1 = nullptr;  ///< "再生(&P)"
    QAction* PlayPlay = nullptr;
    QAction* PlayStop = nullptr;
    QMenu* Help1 = nullptr;  ///< "ﾍﾙﾌﾟ(&H)"
    QAction* About1 = nullptr;
    QToolButton* SpeedButton5 = nullptr;  ///< "新規"
    QMenu* KP2 = nullptr;                 ///< "処理(&G)"
    QAction* ProGo = nullptr;
    QToolButton* SpeedButton6 = nullptr;  ///< "正規化開始"
    MediaPlayer* MediaPlayer1 = nullptr;  ///< never shown; replaceable by SetPlayer
    QAction* N1 = nullptr;
    QAction* Add1 = nullptr;
    OpenDialogOptions OpenDialog1;
    QAction* Option1 = nullptr;
    QToolButton* SpeedButton7 = nullptr;  ///< "ｵﾌﾟｼｮﾝ"
    QToolButton* SpeedButton8 = nullptr;  ///< "リストに追加"
    QAction* H1 = nullptr;
    QAction* KefsPageN1 = nullptr;
    QAction* N2 = nullptr;
    QToolButton* SpeedButton9 = nullptr;  ///< "レベル測定"
    QAction* Analyze1 = nullptr;          ///< "レベル測定(&L)", Ctrl+L
    // The measurement's row in the status bar, shown while the analyze command runs.
    QLabel* LevelLabel = nullptr;
    QProgressBar* LevelBar = nullptr;
    QToolButton* LevelCancel = nullptr;
    /// The help window, made at the first use of the help command.
    HelpWindow* HelpWindow1 = nullptr;

    /// Output folder of the current batch, set by the start command; ends with '/'.
    std::string OutputDirectory;
    /// Every option; loaded in the constructor, saved when the window closes.
    orva::Settings Settings;
    /// Answer of the confirmation dialog: 0 before it, 1 after OK, -1 after Cancel.
    int ConfirmAnswer = 0;

    /// The rows of ListView1, in list order (the batch's input).
    orva::FileListModel& FileList() { return *fileList_; }

    /// Message boxes and choosers of every window. Defaults to the real Qt services.
    UiServices& Services() { return *services_; }
    /// Puts a double in place of the services (not owned); nullptr restores the real ones.
    void SetServices(UiServices* services);
    /// Puts another player in place of MediaPlayer1 (owned from now on).
    void SetPlayer(std::unique_ptr<MediaPlayer> player);

    /// Adds one file by the file list's rules; refusals are silent.
    void AddFileToList(const std::string& path);
    /// Adds dropped files in the order given; non-local URLs are skipped. A folder adds the
    /// files directly inside it (not in its subfolders), sorted by name.
    void DropFiles(const QList<QUrl>& urls);
    /// The list's columns with the measured levels.
    ListViewColumns& LevelColumns() { return *levelColumns_; }
    /// True while the analyze command measures.
    bool Measuring() const;
    /// Hides or shows a column of ListView1 and remembers the choice in the settings file.
    void SetColumnHidden(int column, bool hidden);
    /// Adds the outputs of a batch to the list and measures them; an output whose source was
    /// measured (`before`) shows "before → after" in its level cells.
    void MeasureOutputs(const std::vector<std::pair<std::string, const FileLevels*>>& outputs);
    /// Applies the options to the gain column (run after the options dialog).
    void ApplyOptions();

    /// Rows currently selected in ListView1 (rows of the file list), ascending.
    std::vector<int> SelectedRows() const;

    // Commands. A tool button and its menu item run the same handler.
    void SpeedButton5Click();  ///< new list
    void New1Click() { SpeedButton5Click(); }
    void SpeedButton8Click();  ///< add files through OpenDialog1, opened in the last add folder
    void Add1Click() { SpeedButton8Click(); }
    void Exit1Click();         ///< close the main window (ends the program)
    void KA1Click();           ///< select every row
    void SpeedButton1Click();  ///< remove the selected rows
    void Delete1Click() { SpeedButton1Click(); }
    void KC1Click();           ///< remove the rows marked unsupported
    void SpeedButton2Click();  ///< play the single selected row
    void PlayPlayClick() { SpeedButton2Click(); }
    void SpeedButton3Click();  ///< stop playback
    void PlayStopClick() { SpeedButton3Click(); }
    /// The start command (defined with the start command's code).
    void SpeedButton6Click();
    void ProGoClick() { SpeedButton6Click(); }
    void SpeedButton7Click();  ///< options dialog, modal
    void Option1Click() { SpeedButton7Click(); }
    void H1Click();            ///< show the help file in the help window
    void KefsPageN1Click();    ///< open the home page
    void SpeedButton9Click();  ///< measure the selected rows' levels (all rows when none is selected)
    void Analyze1Click() { SpeedButton9Click(); }
    void SpeedButton4Click();  ///< about dialog, modal
    void About1Click() { SpeedButton4Click(); }

    /// The start command's output-folder chooser: the chosen folder, or empty
    /// (defined with the start command's code).
    void BrowseOutputFolder(std::string& destination);

    /// Enables the list-dependent commands from the list's rows and selection.
    void UpdateCommandStates();
    /// Completion of the player's notified command.
    void MediaPlayer1Notify();
    /// Keeps the width at 240 or more and moves the about button with the panel.
    void FormResize();
    /// Saves the settings and the window position, and the size once the user changed it.
    void FormClose();
    /// Keeps a restored place on a screen before the window shows.
    void setVisible(bool visible) override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateControls();
    void CreateMenus();
    void ConnectPlayer();
    void SetStopCommandsEnabled(bool enabled);
    void CreateLevelStatus();
    void ShowColumnMenu(const QPoint& position);
    /// The gain column shows only with a target other than the classic one, unless hidden.
    void UpdateGainColumn();

    std::unique_ptr<orva::FileListModel> fileList_;
    QtUiServices qtServices_;
    UiServices* services_ = &qtServices_;
    std::unique_ptr<MediaPlayer> player_;
    ListViewColumns* levelColumns_ = nullptr;  ///< owned by ListView1
    ListViewSorting* sorting_ = nullptr;       ///< owned by ListView1
    LevelMeasurement* measurement_ = nullptr;  ///< owned by the window
    int hiddenColumns_ = 0;                    ///< bit per column of ListView1 the user hid
    QSize openedSize_;                         ///< the size the window opened with
    bool frameChecked_ = false;                ///< the first framed place was checked
    bool removingRows_ = false;  ///< a remove command is running; it updates the commands itself
};
