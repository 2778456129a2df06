#include "ui/main_window.h"

#include "settings/settings_store.h"
#include "settings/sjis.h"
#include "text/settings_words.h"
#include "ui/about_dialog.h"
#include "ui/forms.h"
#include "ui/help.h"
#include "ui/level_columns.h"
#include "ui/options_dialog.h"
#include "ui/tool_icons.h"
#include "ui/window_position.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QResizeEvent>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <set>

namespace {

// Client area of the designed window, in pixels (the menu bar comes on top of it).
constexpr int kClientWidth = 598;
constexpr int kClientHeight = 319;
constexpr int kPanelHeight = 25;
constexpr int kButtonSize = 25;
// The about button stays right of the analyze button, so the window is never narrower than
// both side by side.
constexpr int kMinimumWidth = 262;
constexpr int kAboutButtonMinLeft = 232;

// Width of each column of ListView1 up to the support column; the level columns are as wide
// as their captions, and the last column takes the rest of the row.
constexpr int kColumnWidths[] = { 110, 110, 80, 50, 30, 30, 60, 70 };

// The settings key of the columns the user hid: bit n stands for column n.
constexpr const char* kHiddenColumnsKey = "Form1HiddenColumns";
// The settings keys of the window's size (inside the frame) and of the last add folder.
constexpr const char* kWidthKey = "Form1Width";
constexpr const char* kHeightKey = "Form1Height";
constexpr const char* kAddFolderKey = "AddDir";

/// Shows a cell's whole text as its tooltip when the column is too narrow to show it all
/// (long folders, file names); a cell that shows whole has no tooltip.
class CutCellTips final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override
    {
        if (event == nullptr || view == nullptr || event->type() != QEvent::ToolTip)
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        const QString text = index.data(Qt::DisplayRole).toString();
        if (!text.isEmpty() && sizeHint(option, index).width() > option.rect.width()) {
            QToolTip::showText(event->globalPos(), text, view->viewport(), option.rect);
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
};

/// True when a drag brings files and lets them be copied. The files are only read: whatever
/// the source proposes, the drop is taken as a copy, so a source offering to move never
/// deletes what it thinks was moved.
bool OffersFileCopy(const QDropEvent& event)
{
    return event.mimeData()->hasUrls() && (event.possibleActions() & Qt::CopyAction);
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent), fileList_(std::make_unique<orva::FileListModel>())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("ORVA"));
    setWindowIcon(MakeProgramIcon());
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    setFont(font);

    CreateControls();
    CreateMenus();
    resize(kClientWidth, kClientHeight + MainMenu1->sizeHint().height());

    player_ = std::make_unique<QtMediaPlayer>();
    MediaPlayer1 = player_.get();
    ConnectPlayer();

    OutputDirectory.clear();
    WidgetPosition position(this);
    orva::LoadSettings(Settings, &position, orva::DefaultSettingsInLanguage());
    setAcceptDrops(true);
    int width = -1, height = -1;
    orva::ReadWindowSize(kWidthKey, kHeightKey, width, height);
    if (width > 0 && height > 0)
        resize(std::max(width, kMinimumWidth), height);
    openedSize_ = size();
    hiddenColumns_ = orva::ReadWindowValue(kHiddenColumnsKey, 0) & ~1;
    for (int column = 1; column < ListViewColumnCount; ++column)
        ListView1->setColumnHidden(column, (hiddenColumns_ & (1 << column)) != 0);
    ApplyOptions();

    UpdateCommandStates();
    SetStopCommandsEnabled(false);
}

TForm1::~TForm1()
{
    // The view goes before the model it shows, and no signal reaches this half-destroyed
    // window any more.
    disconnect(ListView1->selectionModel(), nullptr, this, nullptr);
    disconnect(fileList_.get(), nullptr, this, nullptr);
    // The worker reports to this window: it ends before anything it reports to.
    delete measurement_;
    measurement_ = nullptr;
    delete ListView1;
    ListView1 = nullptr;
    MediaPlayer1 = nullptr;
    player_.reset();
}

void TForm1::CreateControls()
{
    auto* client = new QWidget(this);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel1 = new QWidget(client);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(kPanelHeight);
    Panel1->installEventFilter(this);
    layout->addWidget(Panel1);

    auto makeButton = [this](const char* name, int left, const char* hint, ToolIcon icon) {
        auto* button = new QToolButton(Panel1);
        button->setObjectName(QString::fromLatin1(name));
        button->setGeometry(left, 0, kButtonSize, kButtonSize);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setIcon(MakeToolIcon(icon));
        button->setIconSize(QSize(16, 16));
        button->setToolTip(tr(hint));
        return button;
    };
    SpeedButton5 = makeButton("SpeedButton5", 8, QT_TR_NOOP("新規"), ToolIcon::New);
    SpeedButton8 = makeButton("SpeedButton8", 32, QT_TR_NOOP("リストに追加"), ToolIcon::Add);
    SpeedButton1 = makeButton("SpeedButton1", 56, QT_TR_NOOP("リストから削除"), ToolIcon::Remove);
    SpeedButton2 = makeButton("SpeedButton2", 88, QT_TR_NOOP("再生"), ToolIcon::Play);
    SpeedButton3 = makeButton("SpeedButton3", 112, QT_TR_NOOP("停止"), ToolIcon::Stop);
    SpeedButton7 = makeButton("SpeedButton7", 144, QT_TR_NOOP("ｵﾌﾟｼｮﾝ"), ToolIcon::Options);
    SpeedButton6 = makeButton("SpeedButton6", 168, QT_TR_NOOP("正規化開始"), ToolIcon::Start);
    SpeedButton9 = makeButton("SpeedButton9", 200, QT_TR_NOOP("レベル測定"), ToolIcon::Analyze);
    SpeedButton4 =
        makeButton("SpeedButton4", kClientWidth - 30, QT_TR_NOOP("バージョン情報"), ToolIcon::About);

    connect(SpeedButton5, &QToolButton::clicked, this, [this] { SpeedButton5Click(); });
    connect(SpeedButton8, &QToolButton::clicked, this, [this] { SpeedButton8Click(); });
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { SpeedButton2Click(); });
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { SpeedButton3Click(); });
    connect(SpeedButton7, &QToolButton::clicked, this, [this] { SpeedButton7Click(); });
    connect(SpeedButton6, &QToolButton::clicked, this, [this] { SpeedButton6Click(); });
    connect(SpeedButton4, &QToolButton::clicked, this, [this] { SpeedButton4Click(); });
    connect(SpeedButton9, &QToolButton::clicked, this, [this] { SpeedButton9Click(); });

    ListView1 = new QTreeView(client);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    levelColumns_ = new ListViewColumns(ListView1);
    levelColumns_->setSourceModel(fileList_.get());
    sorting_ = new ListViewSorting(ListView1);
    sorting_->setSourceModel(levelColumns_);
    ListView1->setModel(sorting_);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A click on a header sorts the view only; the batch takes the list's own order. No
    // column is sorted until one is clicked.
    ListView1->header()->setSortIndicator(-1, Qt::AscendingOrder);
    ListView1->setSortingEnabled(true);
    ListView1->header()->setSectionsMovable(false);
    ListView1->header()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView1->header(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) { ShowColumnMenu(position); });
    ListView1->installEventFilter(this);
    ListView1->header()->setStretchLastSection(true);
    for (int column = 0; column < int(std::size(kColumnWidths)); ++column)
        ListView1->setColumnWidth(column, kColumnWidths[column]);
    // The size column shows ten digits (every size up to 4 GiB) whole in the list's font.
    const int textMargin =
        ListView1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, ListView1) + 1;
    const int sizeColumn = 1 + orva::SizeCell;
    ListView1->setColumnWidth(
        sizeColumn,
        std::max(kColumnWidths[sizeColumn],
                 ListView1->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")) + 2 * textMargin
                     + 1));
    for (int column = SamplePeakColumn; column < ListViewColumnCount; ++column)
        ListView1->setColumnWidth(column, ListView1->header()->sectionSizeHint(column));
    ListView1->setItemDelegate(new CutCellTips(ListView1));
    layout->addWidget(ListView1, 1);
    setCentralWidget(client);

    // Every change of the rows or of the selection recomputes the commands.
    // A command that removes many rows at once recomputes them itself, once, at its end.
    auto update = [this] {
        if (!removingRows_)
            UpdateCommandStates();
    };
    connect(fileList_.get(), &QAbstractItemModel::rowsInserted, this, update);
    connect(fileList_.get(), &QAbstractItemModel::rowsRemoved, this, update);
    connect(fileList_.get(), &QAbstractItemModel::modelReset, this, update);
    // A file that leaves the list leaves its levels behind.
    connect(fileList_.get(), &QAbstractItemModel::rowsRemoved, this,
            [this] { levelColumns_->ForgetUnlisted(); });
    connect(fileList_.get(), &QAbstractItemModel::modelReset, this,
            [this] { levelColumns_->ForgetUnlisted(); });
    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this, update);

    OpenDialog1.Filter = tr("ｻｳﾝﾄﾞﾌｧｲﾙ(*.wav)");
    OpenDialog1.DefaultExt = QStringLiteral("WAV");
    CreateLevelStatus();
}

void TForm1::CreateLevelStatus()
{
    // The status bar appears only while levels are measured, so the designed client area
    // stays as it is otherwise.
    LevelLabel = new QLabel(this);
    LevelLabel->setObjectName(QStringLiteral("LevelLabel"));
    LevelBar = new QProgressBar(this);
    LevelBar->setObjectName(QStringLiteral("LevelBar"));
    LevelBar->setRange(0, 1000);
    LevelBar->setTextVisible(false);
    LevelBar->setFixedWidth(120);
    LevelCancel = new QToolButton(this);
    LevelCancel->setObjectName(QStringLiteral("LevelCancel"));
    LevelCancel->setText(tr("中止"));
    statusBar()->addWidget(LevelLabel, 1);
    statusBar()->addPermanentWidget(LevelBar);
    statusBar()->addPermanentWidget(LevelCancel);
    statusBar()->setSizeGripEnabled(false);
    statusBar()->hide();
    connect(LevelCancel, &QToolButton::clicked, this, [this] {
        if (measurement_ != nullptr)
            measurement_->Cancel();
    });

    LevelMeasurement::Callbacks callbacks;
    callbacks.progress = [this](int index, int count, const std::string& path, int position) {
        const QString name = QFileInfo(QString::fromStdString(path)).fileName();
        LevelLabel->setText(tr("レベル測定中(%1/%2):%3").arg(index + 1).arg(count).arg(name));
        LevelBar->setValue(std::clamp(position, 0, 1000));
    };
    callbacks.measured = [this](const std::string& path, FileLevels levels) {
        // A file removed from the list while it was measured keeps no levels.
        const auto& entries = fileList_->Entries();
        if (std::any_of(entries.begin(), entries.end(),
                        [&path](const orva::FileEntry& entry) { return entry.FullPath() == path; }))
            levelColumns_->SetLevels(path, std::move(levels));
    };
    callbacks.finished = [this](bool) {
        statusBar()->hide();
        UpdateCommandStates();
    };
    measurement_ = new LevelMeasurement(std::move(callbacks), this);
}

void TForm1::CreateMenus()
{
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));

    auto addItem = [this](QMenu* menu, const char* name, const char* caption, void (TForm1::*handler)()) {
        QAction* action = menu->addAction(tr(caption));
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        return action;
    };
    auto addSeparator = [](QMenu* menu, const char* name) {
        QAction* separator = menu->addSeparator();
        separator->setObjectName(QString::fromLatin1(name));
        return separator;
    };

    aaa1 = MainMenu1->addMenu(tr("ﾌｧｲﾙ(&F)"));
    aaa1->setObjectName(QStringLiteral("aaa1"));
    New1 = addItem(aaa1, "New1", QT_TR_NOOP("新規(&N)"), &TForm1::New1Click);
    Add1 = addItem(aaa1, "Add1", QT_TR_NOOP("追加(&A)"), &TForm1::Add1Click);
    Exit1 = addItem(aaa1, "Exit1", QT_TR_NOOP("終了(&X)"), &TForm1::Exit1Click);

    Edit1 = MainMenu1->addMenu(tr("編集(&E)"));
    Edit1->setObjectName(QStringLiteral("Edit1"));
    KA1 = addItem(Edit1, "KA1", QT_TR_NOOP("全て選択(&A)"), &TForm1::KA1Click);
    Delete1 = addItem(Edit1, "Delete1", QT_TR_NOOP("リストから削除(&D)"), &TForm1::Delete1Click);
    N4 = addSeparator(Edit1, "N4");
    KC1 = addItem(Edit1, "KC1", QT_TR_NOOP("未対応ﾌｧｲﾙの削除(&C)"), &TForm1::KC1Click);

    KP1 = MainMenu1->addMenu(tr("再生(&P)"));
    KP1->setObjectName(QStringLiteral("KP1"));
    PlayPlay = addItem(KP1, "PlayPlay", QT_TR_NOOP("再生(&P)"), &TForm1::PlayPlayClick);
    PlayStop = addItem(KP1, "PlayStop", QT_TR_NOOP("停止(&S)"), &TForm1::PlayStopClick);

    KP2 = MainMenu1->addMenu(tr("処理(&G)"));
    KP2->setObjectName(QStringLiteral("KP2"));
    ProGo = addItem(KP2, "ProGo", QT_TR_NOOP("正規化開始(&N)..."), &TForm1::ProGoClick);
    Analyze1 = addItem(KP2, "Analyze1", QT_TR_NOOP("レベル測定(&L)"), &TForm1::Analyze1Click);
    N1 = addSeparator(KP2, "N1");
    Option1 = addItem(KP2, "Option1", QT_TR_NOOP("ｵﾌﾟｼｮﾝ(&O)"), &TForm1::Option1Click);

    Help1 = MainMenu1->addMenu(tr("ﾍﾙﾌﾟ(&H)"));
    Help1->setObjectName(QStringLiteral("Help1"));
    H1 = addItem(Help1, "H1", QT_TR_NOOP("ヘルプを開く(&H)"), &TForm1::H1Click);
    KefsPageN1 = addItem(Help1, "KefsPageN1", QT_TR_NOOP("Kef's Page(&N)"), &TForm1::KefsPageN1Click);
    N2 = addSeparator(Help1, "N2");
    About1 = addItem(Help1, "About1", QT_TR_NOOP("ﾊﾞｰｼﾞｮﾝ情報(&A)..."), &TForm1::About1Click);

    // The menus show these keys beside their items.
    Add1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    KA1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    Delete1->setShortcut(QKeySequence(Qt::Key_Delete));
    Analyze1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    PlayPlay->setShortcut(QKeySequence(Qt::Key_Return));
    // Return belongs to the list: the window's Return would also press dialog buttons.
    PlayPlay->setShortcutContext(Qt::WidgetShortcut);
}

void TForm1::ConnectPlayer()
{
    connect(MediaPlayer1, &MediaPlayer::Notify, this, [this] { MediaPlayer1Notify(); });
    connect(MediaPlayer1, &MediaPlayer::Failed, this, [this](const QString& text) {
        // The file turned out unplayable after it was opened: the playback is over.
        SetStopCommandsEnabled(false);
        Services().ShowMessage(this, QStringLiteral("ORVA"), text, QMessageBox::Critical);
    });
}

void TForm1::SetServices(UiServices* services) { services_ = services != nullptr ? services : &qtServices_; }

void TForm1::SetPlayer(std::unique_ptr<MediaPlayer> player)
{
    if (!player)
        return;
    player_ = std::move(player);
    MediaPlayer1 = player_.get();
    ConnectPlayer();
}

void TForm1::AddFileToList(const std::string& path) { fileList_->AddFileToList(path); }

void TForm1::DropFiles(const QList<QUrl>& urls)
{
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QFileInfo dropped(url.toLocalFile());
        if (!dropped.isDir()) {
            AddFileToList(dropped.filePath().toStdString());
            continue;
        }
        const QDir folder(dropped.filePath());
        for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden, QDir::Name))
            AddFileToList(folder.filePath(name).toStdString());
    }
}

std::vector<int> TForm1::SelectedRows() const
{
    // Rows are selected whole (SelectRows), so the first column tells; a sorted view shows
    // them in another order than the list's.
    std::vector<int> rows;
    for (const QModelIndex& index : ListView1->selectionModel()->selectedRows())
        rows.push_back(sorting_->mapToSource(index).row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void TForm1::SpeedButton5Click()
{
    fileList_->Clear();
    SpeedButton6->setEnabled(false);
    ProGo->setEnabled(false);
}

void TForm1::SpeedButton8Click()
{
    const QString lastFolder = QString::fromStdString(orva::ReadWindowText(kAddFolderKey));
    const QStringList files = Services().ChooseFiles(this, QString(), lastFolder, OpenDialog1.Filter);
    for (const QString& file : files)
        AddFileToList(file.toStdString());
    if (files.isEmpty())
        return;
    // Kept only when it fits the settings file whole: a cut folder would open elsewhere.
    const std::string folder = QFileInfo(files.front()).absolutePath().toStdString();
    if (folder != lastFolder.toStdString() && orva::ShiftJisLength(folder) <= orva::kMaxShiftJisTextBytes)
        orva::SaveWindowText(kAddFolderKey, folder);
}

void TForm1::Exit1Click() { close(); }

void TForm1::KA1Click() { ListView1->selectAll(); }

void TForm1::SpeedButton1Click()
{
    const std::vector<int> rows = SelectedRows();
    removingRows_ = true;
    fileList_->RemoveSelectedFiles(std::set<int>(rows.begin(), rows.end()));
    removingRows_ = false;
    UpdateCommandStates();
}

void TForm1::KC1Click()
{
    removingRows_ = true;
    fileList_->RemoveUnsupportedFiles();
    removingRows_ = false;
    UpdateCommandStates();
}

void TForm1::SpeedButton2Click()
{
    const std::vector<int> rows = SelectedRows();
    if (rows.size() != 1)
        return;
    const orva::FileEntry& entry = fileList_->Entries().at(std::size_t(rows.front()));
    MediaPlayer1->SetFileName(QString::fromStdString(entry.FullPath()));
    try {
        MediaPlayer1->Open();
    } catch (const MediaPlayerError& error) {
        // The stop commands keep their state; the previous file's device is closed already.
        Services().ShowMessage(this, QStringLiteral("ORVA"), QString::fromStdString(error.what()),
                               QMessageBox::Critical);
        return;
    }
    MediaPlayer1->SetNotify(true);
    MediaPlayer1->Play();
    SetStopCommandsEnabled(true);
    MediaPlayer1->SetNotify(true);
}

void TForm1::SpeedButton3Click()
{
    if (MediaPlayer1->GetMode() == MediaPlayer::Mode::Playing)
        MediaPlayer1->Stop();
    SetStopCommandsEnabled(false);
}

void TForm1::MediaPlayer1Notify()
{
    if (MediaPlayer1->GetMode() == MediaPlayer::Mode::Stopped)
        SetStopCommandsEnabled(false);
    MediaPlayer1->SetNotify(true);
}

void TForm1::SpeedButton7Click()
{
    if (FormOption != nullptr)
        FormOption->exec();
    ApplyOptions();
}

bool TForm1::Measuring() const { return measurement_ != nullptr && measurement_->Running(); }

void TForm1::SpeedButton9Click()
{
    if (Measuring() || fileList_->Count() == 0)
        return;
    std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        for (int row = 0; row < fileList_->Count(); ++row)
            rows.push_back(row);
    }
    std::vector<std::string> paths;
    for (int row : rows) {
        const orva::FileEntry& entry = fileList_->Entries().at(std::size_t(row));
        if (entry.supported)
            paths.push_back(entry.FullPath());
    }
    if (paths.empty() || !measurement_->Start(std::move(paths)))
        return;
    LevelLabel->clear();
    LevelBar->setValue(0);
    statusBar()->show();
    UpdateCommandStates();
}

void TForm1::MeasureOutputs(const std::vector<std::pair<std::string, const FileLevels*>>& outputs)
{
    if (Measuring())
        return;
    std::vector<std::string> paths;
    for (const auto& [path, before] : outputs) {
        if (!fileList_->AddFileToList(path))
            continue;  // the list's rules apply as to any added file
        // The row's own path, as the list made it absolute.
        paths.push_back(fileList_->Entries().back().FullPath());
        if (before != nullptr)
            levelColumns_->SetLevelsBefore(paths.back(), *before);
    }
    if (paths.empty() || !measurement_->Start(std::move(paths)))
        return;
    LevelLabel->clear();
    LevelBar->setValue(0);
    statusBar()->show();
    UpdateCommandStates();
}

void TForm1::SetColumnHidden(int column, bool hidden)
{
    if (column <= 0 || column >= ListViewColumnCount)
        return;  // the file name always shows
    const int bit = 1 << column;
    const int mask = hidden ? (hiddenColumns_ | bit) : (hiddenColumns_ & ~bit);
    if (mask == hiddenColumns_)
        return;
    hiddenColumns_ = mask;
    orva::SaveWindowValue(kHiddenColumnsKey, hiddenColumns_);
    if (column == GainColumn)
        UpdateGainColumn();
    else
        ListView1->setColumnHidden(column, hidden);
}

void TForm1::ShowColumnMenu(const QPoint& position)
{
    const orva::NormalizationTarget target { static_cast<orva::TargetMode>(Settings.TargetMode),
                                             Settings.Target, Settings.Ceiling };
    QMenu menu(this);
    for (int column = 1; column < ListViewColumnCount; ++column) {
        if (column == GainColumn && target.IsClassic())
            continue;
        QString caption =
            levelColumns_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString().trimmed();
        if (caption.isEmpty())
            caption = tr("対応状況");
        QAction* action = menu.addAction(caption);
        action->setCheckable(true);
        action->setChecked((hiddenColumns_ & (1 << column)) == 0);
        connect(action, &QAction::toggled, this,
                [this, column](bool shown) { SetColumnHidden(column, !shown); });
    }
    menu.exec(ListView1->header()->viewport()->mapToGlobal(position));
}

void TForm1::UpdateGainColumn()
{
    const orva::NormalizationTarget target { static_cast<orva::TargetMode>(Settings.TargetMode),
                                             Settings.Target, Settings.Ceiling };
    ListView1->setColumnHidden(GainColumn, target.IsClassic() || (hiddenColumns_ & (1 << GainColumn)) != 0);
}

void TForm1::ApplyOptions()
{
    levelColumns_->SetOptions(Settings);
    UpdateGainColumn();
}

void TForm1::SpeedButton4Click()
{
    if (Form2 != nullptr)
        Form2->exec();
}

void TForm1::H1Click()
{
    if (HelpWindow1 == nullptr)
        HelpWindow1 = new HelpWindow(Services(), this);
    OpenHelp(Services(), this, QString::fromStdString(Settings.StartDirectory), *HelpWindow1);
}

void TForm1::KefsPageN1Click() { OpenHomePage(Services(), QString::fromStdString(Settings.StartDirectory)); }

void TForm1::UpdateCommandStates()
{
    const int rows = fileList_->rowCount();
    const std::size_t selected = SelectedRows().size();
    SpeedButton6->setEnabled(rows > 0);
    ProGo->setEnabled(rows > 0);
    SpeedButton1->setEnabled(selected > 0);
    Delete1->setEnabled(selected > 0);
    SpeedButton2->setEnabled(selected == 1);
    PlayPlay->setEnabled(selected == 1);
    SpeedButton9->setEnabled(rows > 0 && !Measuring());
    Analyze1->setEnabled(rows > 0 && !Measuring());
}

void TForm1::SetStopCommandsEnabled(bool enabled)
{
    SpeedButton3->setEnabled(enabled);
    PlayStop->setEnabled(enabled);
}

void TForm1::FormResize()
{
    if (width() < kMinimumWidth)
        resize(kMinimumWidth, height());
    SpeedButton4->move(std::max(Panel1->width() - 30, kAboutButtonMinLeft), SpeedButton4->y());
}

void TForm1::FormClose()
{
    const WidgetPosition position(this);
    orva::SaveSettings(Settings, &position);
    const QSize size = isMaximized() || isFullScreen() ? normalGeometry().size() : this->size();
    if (size.isValid() && size != openedSize_) {
        orva::SaveWindowSize(kWidthKey, kHeightKey, size.width(), size.height());
        openedSize_ = size;
    }
}

void TForm1::setVisible(bool visible)
{
    // A restored place is brought onto a screen before the window manager sees the window.
    if (visible && !isVisible() && testAttribute(Qt::WA_Moved))
        KeepFrameOnScreen(this);
    QMainWindow::setVisible(visible);
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

bool TForm1::event(QEvent* event)
{
    const bool handled = QMainWindow::event(event);
    // Before the first showing the frame's size is unknown, so a place near the bottom or
    // right edge may leave the frame's title bar height off the screen: once the window
    // manager has framed the window, bring the whole frame on once.
    if (!frameChecked_ && isVisible() && (event->type() == QEvent::Move || event->type() == QEvent::Expose)
        && windowHandle() != nullptr && !windowHandle()->frameMargins().isNull()) {
        frameChecked_ = true;
        KeepFrameOnScreen(this);
    }
    return handled;
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ListView1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && key->modifiers() == Qt::NoModifier) {
            if (PlayPlay->isEnabled())
                SpeedButton2Click();
            return true;
        }
    }
    // The panel learns its new width after the window's resize event: place the button again.
    if (watched == Panel1 && event->type() == QEvent::Resize && SpeedButton4 != nullptr)
        SpeedButton4->move(std::max(Panel1->width() - 30, kAboutButtonMinLeft), SpeedButton4->y());
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void TForm1::dragMoveEvent(QDragMoveEvent* event)
{
    if (OffersFileCopy(*event)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
}

void TForm1::dropEvent(QDropEvent* event)
{
    if (!OffersFileCopy(*event))
        return;
    DropFiles(event->mimeData()->urls());
    event->setDropAction(Qt::CopyAction);
    event->accept();
}
