// The main window: command enable rules, the file list through the view, dropped files, the
// resize rule, positions in a real settings file, playback with a player double, help.

#include "settings/settings_store.h"
#include "tests/ui/ui_test_support.h"
#include "ui/about_dialog.h"
#include "ui/application.h"
#include "ui/forms.h"
#include "ui/help.h"
#include "ui/language.h"
#include "ui/level_columns.h"
#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <tuple>

namespace {

using uitest::FakePlayer;
using uitest::RecordingServices;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        orva::IniFilePath = Path("ORVA.INI");
        window_ = std::make_unique<TForm1>();
        Form1 = window_.get();
        window_->SetServices(&services_);
        auto player = std::make_unique<FakePlayer>();
        player_ = player.get();
        window_->SetPlayer(std::move(player));
    }

    void TearDown() override
    {
        Form1 = nullptr;
        window_.reset();
        orva::IniFilePath.clear();
    }

    std::string Path(const std::string& name) const
    {
        return dir_.filePath(QString::fromStdString(name)).toStdString();
    }

    std::string Wav(const std::string& name, uint16_t bits = 16, uint16_t tag = 1)
    {
        return uitest::WriteWav(Path(name), 8000, 1, bits, 80, tag);
    }

    std::vector<std::string> Captions() const
    {
        std::vector<std::string> captions;
        for (const orva::FileEntry& entry : window_->FileList().Entries())
            captions.push_back(entry.caption);
        return captions;
    }

    void SelectRows(std::initializer_list<int> rows)
    {
        QItemSelectionModel* selection = window_->ListView1->selectionModel();
        selection->clearSelection();
        for (int row : rows)
            selection->select(window_->ListView1->model()->index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    std::string IniText() const
    {
        std::ifstream in(orva::IniFilePath, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    QTemporaryDir dir_;
    RecordingServices services_;
    std::unique_ptr<TForm1> window_;
    FakePlayer* player_ = nullptr;
};

struct CommandStates {
    bool start, remove, play, stop;
};

CommandStates States(const TForm1& w)
{
    // A tool button and its menu item must always agree.
    EXPECT_EQ(w.SpeedButton6->isEnabled(), w.ProGo->isEnabled());
    EXPECT_EQ(w.SpeedButton1->isEnabled(), w.Delete1->isEnabled());
    EXPECT_EQ(w.SpeedButton2->isEnabled(), w.PlayPlay->isEnabled());
    EXPECT_EQ(w.SpeedButton3->isEnabled(), w.PlayStop->isEnabled());
    return { w.SpeedButton6->isEnabled(), w.SpeedButton1->isEnabled(), w.SpeedButton2->isEnabled(),
             w.SpeedButton3->isEnabled() };
}

TEST_F(MainWindowTest, CommandsFollowTheListAndItsSelection)
{
    CommandStates s = States(*window_);
    EXPECT_FALSE(s.start || s.remove || s.play || s.stop);
    for (QToolButton* always :
         { window_->SpeedButton5, window_->SpeedButton8, window_->SpeedButton7, window_->SpeedButton4 })
        EXPECT_TRUE(always->isEnabled()) << always->toolTip().toStdString();
    for (QAction* always : { window_->New1, window_->Add1, window_->Exit1, window_->KA1, window_->KC1,
                             window_->Option1, window_->H1, window_->KefsPageN1, window_->About1 })
        EXPECT_TRUE(always->isEnabled()) << always->text().toStdString();

    window_->AddFileToList(Wav("a.wav"));
    s = States(*window_);
    EXPECT_TRUE(s.start);
    EXPECT_FALSE(s.remove || s.play);

    window_->AddFileToList(Wav("b.wav"));
    SelectRows({ 0, 1 });
    s = States(*window_);
    EXPECT_TRUE(s.remove);
    EXPECT_FALSE(s.play);

    SelectRows({ 1 });
    s = States(*window_);
    EXPECT_TRUE(s.remove && s.play);

    window_->SpeedButton5->click();  // new list
    EXPECT_EQ(window_->FileList().Count(), 0);
    s = States(*window_);
    EXPECT_FALSE(s.start || s.remove || s.play);
}

TEST_F(MainWindowTest, AddCommandAddsChosenFilesInOrderAndSkipsUnusableOnesSilently)
{
    uitest::WriteText(Path("notes.wav"), "not a wave file at all, just text");
    const QStringList chosen = { QString::fromStdString(Wav("b.wav")),
                                 QString::fromStdString(Path("notes.wav")),
                                 QString::fromStdString(Wav("a.WAV")), QString::fromStdString(Wav("c.wave")),
                                 QString::fromStdString(Wav("adpcm.wav", 4, 0x11)) };
    services_.filesAnswers.push_back(chosen);
    window_->SpeedButton8->click();

    EXPECT_EQ(Captions(), (std::vector<std::string> { "b.wav", "a.WAV", "adpcm.wav" }));
    EXPECT_TRUE(services_.messages.empty());
    ASSERT_EQ(services_.fileFilters.size(), 1U);
    EXPECT_TRUE(services_.fileFilters[0].startsWith(QStringLiteral("ｻｳﾝﾄﾞﾌｧｲﾙ(")));

    // The view shows the model's cells; it words the captions and the unsupported marker in
    // the last column in the program's language.
    const QAbstractItemModel* view = window_->ListView1->model();
    for (const auto& [language, marker, caption] :
         { std::tuple { orva::Language::English, "(unsupported)", "File name" },
           std::tuple { orva::Language::Japanese, "(未対応)", "ファイル名" } }) {
        UseLanguage(language);
        EXPECT_EQ(view->index(2, 7).data().toString(), QString::fromUtf8(marker));
        EXPECT_EQ(view->index(1, 7).data().toString(), QString());
        EXPECT_EQ(view->headerData(0, Qt::Horizontal).toString(), QString::fromUtf8(caption));
    }

    // Cancelling the chooser changes nothing.
    window_->Add1->trigger();
    EXPECT_EQ(window_->FileList().Count(), 3);

    // The chooser opens in the folder files were last added from, also after a restart.
    ASSERT_EQ(services_.chooserStartDirs.size(), 2U);
    EXPECT_EQ(services_.chooserStartDirs[0], QString());
    EXPECT_EQ(services_.chooserStartDirs[1], dir_.path());
    Form1 = nullptr;
    window_ = std::make_unique<TForm1>();
    Form1 = window_.get();
    window_->SetServices(&services_);
    window_->Add1->trigger();
    EXPECT_EQ(services_.chooserStartDirs.back(), dir_.path());
}

TEST_F(MainWindowTest, RemoveCommandsWorkOnTheViewsSelection)
{
    for (const char* name : { "1.wav", "2.wav", "3.wav", "4.wav", "5.wav" })
        window_->AddFileToList(Wav(name));
    SelectRows({ 0, 1, 3 });
    window_->SpeedButton1->click();
    EXPECT_EQ(Captions(), (std::vector<std::string> { "3.wav", "5.wav" }));
    EXPECT_FALSE(States(*window_).remove);

    window_->AddFileToList(Wav("adpcm.wav", 4, 0x11));
    window_->AddFileToList(Wav("6.wav"));
    window_->KC1->trigger();
    EXPECT_EQ(Captions(), (std::vector<std::string> { "3.wav", "5.wav", "6.wav" }));

    window_->KA1->trigger();
    EXPECT_EQ(window_->SelectedRows(), (std::vector<int> { 0, 1, 2 }));
    window_->Delete1->trigger();
    EXPECT_EQ(window_->FileList().Count(), 0);
}

/// The tooltip a pointer resting on the cell (row, column) gets; empty when none.
QString CellTooltip(QTreeView* view, int row, int column)
{
    QToolTip::hideText();
    EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }));
    const QRect cell = view->visualRect(view->model()->index(row, column));
    QHelpEvent help(QEvent::ToolTip, cell.center(), view->viewport()->mapToGlobal(cell.center()));
    QApplication::sendEvent(view->viewport(), &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

// A cell too narrow for its text shows the whole text as a tooltip; the size column shows
// ten digits whole.
TEST_F(MainWindowTest, CutCellsShowTheirWholeTextAsTooltip)
{
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    QDir(dir_.path()).mkpath(QStringLiteral("a folder whose name is far too long for the column"));
    const std::string path = Path("a folder whose name is far too long for the column/s.wav");
    uitest::WriteWav(path, 8000, 1, 16, 80);
    // A header that declares 2,000,000,000 bytes: ten digits in the size column.
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.seek(4);
    const quint32 riffSize = 2000000000u - 8u;
    file.write(reinterpret_cast<const char*>(&riffSize), 4);
    file.close();
    window_->AddFileToList(path);
    ASSERT_EQ(window_->FileList().Count(), 1);

    struct Case {
        int column;
        QString tooltip;
    };
    for (const Case& c : { Case { 1, QString::fromStdString(window_->FileList().Entries()[0].Directory()) },
                           Case { 0, QString() }, Case { 1 + orva::SizeCell, QString() } })
        EXPECT_EQ(CellTooltip(window_->ListView1, 0, c.column), c.tooltip) << c.column;
    EXPECT_EQ(window_->ListView1->model()->index(0, 1 + orva::SizeCell).data().toString(),
              QStringLiteral("2000000000"));
}

TEST_F(MainWindowTest, DroppedFilesAreAddedInTheOrderReportedAndAFolderByName)
{
    window_->show();
    QDir(dir_.path()).mkpath(QStringLiteral("sub"));
    Wav("sub/deep.wav");  // in a subfolder of the dropped one: not added
    QList<QUrl> urls = { QUrl::fromLocalFile(QString::fromStdString(Wav("z.wav"))),
                         QUrl::fromLocalFile(QString::fromStdString(Path(""))),  // a folder
                         QUrl::fromLocalFile(QString::fromStdString(Wav("m.wav"))),
                         QUrl(QStringLiteral("https://example.org/remote.wav")),
                         QUrl::fromLocalFile(QString::fromStdString(Wav("a.wav"))) };
    uitest::WriteText(Path("readme.txt"), "text");
    urls.insert(3, QUrl::fromLocalFile(QString::fromStdString(Path("readme.txt"))));

    QMimeData data;
    data.setUrls(urls);
    const QPoint centre = window_->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &drop);

    // The folder brings the WAV files directly inside it, by name (z.wav is listed already).
    EXPECT_EQ(Captions(), (std::vector<std::string> { "z.wav", "a.wav", "m.wav" }));
    EXPECT_TRUE(services_.messages.empty());
    EXPECT_TRUE(States(*window_).start);

    // A source proposing to move its files is told they were copied.
    data.setUrls({ QUrl::fromLocalFile(QString::fromStdString(Wav("moved.wav"))) });
    QDragEnterEvent enterMove(centre, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                              Qt::ShiftModifier);
    QApplication::sendEvent(window_.get(), &enterMove);
    EXPECT_EQ(enterMove.dropAction(), Qt::CopyAction);
    QDropEvent move(centre, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::ShiftModifier);
    ASSERT_EQ(move.proposedAction(), Qt::MoveAction);
    QApplication::sendEvent(window_.get(), &move);
    EXPECT_TRUE(move.isAccepted());
    EXPECT_EQ(move.dropAction(), Qt::CopyAction);
    EXPECT_EQ(Captions().back(), "moved.wav");
}

TEST_F(MainWindowTest, WindowKeepsItsMinimumWidthAndTheAboutButtonFollowsThePanel)
{
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    EXPECT_EQ(window_->centralWidget()->width(), 598);
    EXPECT_EQ(window_->SpeedButton4->x(), 568);

    struct Case {
        int requested, width, aboutLeft;
    };
    for (const Case& c : { Case { 700, 700, 670 }, Case { 261, 262, 232 }, Case { 100, 262, 232 },
                           Case { 263, 263, 233 }, Case { 598, 598, 568 } }) {
        window_->resize(c.requested, window_->height());
        QApplication::processEvents();
        EXPECT_EQ(window_->width(), c.width) << c.requested;
        EXPECT_EQ(window_->SpeedButton4->x(), c.aboutLeft) << c.requested;
        EXPECT_EQ(window_->Panel1->width(), c.width);
    }
}

/// Scales every 16-bit sample of a file written by WriteWav (header of 44 bytes) by `factor`.
void ScaleSamples(const std::string& path, double factor)
{
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    file.seekg(0, std::ios::end);
    const std::streamoff length = file.tellg();
    for (std::streamoff at = 44; at + 2 <= length; at += 2) {
        unsigned char bytes[2];
        file.seekg(at);
        file.read(reinterpret_cast<char*>(bytes), 2);
        const auto sample = static_cast<int16_t>(bytes[0] | (bytes[1] << 8));
        const auto scaled = static_cast<uint16_t>(static_cast<int16_t>(sample * factor));
        bytes[0] = static_cast<unsigned char>(scaled & 0xFF);
        bytes[1] = static_cast<unsigned char>(scaled >> 8);
        file.seekp(at);
        file.write(reinterpret_cast<const char*>(bytes), 2);
    }
}

TEST_F(MainWindowTest, LevelColumnsShowMeasuredLevelsSortAsNumbersAndRememberHiddenOnes)
{
    // Two seconds of the quarter-scale square wave (8000 of 32768: -12.25 dBFS), silence, and twice as loud.
    for (const auto& [name, factor] : { std::pair { "a.wav", 1.0 }, { "b.wav", 0.0 }, { "c.wav", 2.0 } }) {
        const std::string path = uitest::WriteWav(Path(name), 8000, 1, 16, 16000, 1);
        ScaleSamples(path, factor);
        window_->AddFileToList(path);
    }
    QAbstractItemModel* view = window_->ListView1->model();
    auto cell = [view](int row, int column) { return view->index(row, column).data().toString(); };
    auto viewOrder = [view, &cell] {
        std::string order;
        for (int row = 0; row < view->rowCount(); ++row)
            order += cell(row, 0).left(1).toStdString();
        return order;
    };
    auto measure = [this] {
        window_->Analyze1->trigger();
        EXPECT_TRUE(QTest::qWaitFor([this] { return !window_->Measuring(); }, 20000));
    };
    EXPECT_EQ(cell(0, SamplePeakColumn), QString());

    // Only the selected row is measured; with none selected, every row.
    SelectRows({ 2 });
    measure();
    EXPECT_EQ(cell(0, SamplePeakColumn), QString());
    EXPECT_EQ(cell(2, SamplePeakColumn), QStringLiteral("\u22126.23"));
    SelectRows({});
    measure();
    struct Row {
        int row;
        const char* samplePeak;
        const char* loudness;
    };
    for (const Row& r : { Row { 0, "\u221212.25", nullptr }, Row { 1, "\u2212inf", "\u2212inf" },
                          Row { 2, "\u22126.23", nullptr } }) {
        EXPECT_EQ(cell(r.row, SamplePeakColumn), QString::fromUtf8(r.samplePeak)) << r.row;
        EXPECT_FALSE(cell(r.row, TruePeakColumn).isEmpty()) << r.row;
        if (r.loudness != nullptr) {
            EXPECT_EQ(cell(r.row, LoudnessColumn), QString::fromUtf8(r.loudness)) << r.row;
        }
        EXPECT_EQ(view->index(r.row, SamplePeakColumn).data(Qt::TextAlignmentRole).value<Qt::Alignment>(),
                  Qt::AlignRight | Qt::AlignVCenter);
    }
    auto number = [&cell](int row, int column) {
        return cell(row, column).replace(QChar(0x2212), '-').toDouble();
    };
    EXPECT_NEAR(number(2, LoudnessColumn) - number(0, LoudnessColumn), 6.02, 0.05);

    // Numbers sort as numbers ("−6" above "−12"), silence below them, an unmeasured file
    // below everything; the commands still reach the list's rows.
    window_->AddFileToList(Wav("d.wav"));
    struct Sort {
        int column;
        Qt::SortOrder order;
        const char* rows;
    };
    for (const Sort& c : { Sort { SamplePeakColumn, Qt::AscendingOrder, "dbac" },
                           Sort { SamplePeakColumn, Qt::DescendingOrder, "cabd" },
                           Sort { 0, Qt::DescendingOrder, "dcba" } }) {
        window_->ListView1->sortByColumn(c.column, c.order);
        EXPECT_EQ(viewOrder(), c.rows) << c.column;
    }
    window_->ListView1->sortByColumn(SamplePeakColumn, Qt::AscendingOrder);
    SelectRows({ 1 });  // b.wav, the list's second row
    EXPECT_EQ(window_->SelectedRows(), std::vector<int> { 1 });
    window_->SpeedButton1Click();
    EXPECT_EQ(Captions(), (std::vector<std::string> { "a.wav", "c.wav", "d.wav" }));
    EXPECT_EQ(viewOrder(), "dac");

    // A hidden column stays hidden at the next start; an untouched choice writes nothing.
    EXPECT_EQ(IniText().find("Form1HiddenColumns"), std::string::npos);
    window_->SetColumnHidden(RangeColumn, true);
    window_->SetColumnHidden(0, true);  // the file name always shows
    EXPECT_TRUE(window_->ListView1->isColumnHidden(RangeColumn));
    EXPECT_FALSE(window_->ListView1->isColumnHidden(0));
    Form1 = nullptr;
    window_.reset();
    window_ = std::make_unique<TForm1>();
    Form1 = window_.get();
    window_->SetServices(&services_);
    EXPECT_TRUE(window_->ListView1->isColumnHidden(RangeColumn));
    EXPECT_FALSE(window_->ListView1->isColumnHidden(LoudnessColumn));

    // The gain column shows only with a target other than the classic one.
    EXPECT_TRUE(window_->ListView1->isColumnHidden(GainColumn));
    window_->Settings.TargetMode = 2;
    window_->Settings.Target = -230;
    window_->ApplyOptions();
    EXPECT_FALSE(window_->ListView1->isColumnHidden(GainColumn));
}

TEST_F(MainWindowTest, KeysRunTheListCommandsAndTheMenusShowThem)
{
    for (const char* name : { "a.wav", "b.wav", "c.wav" })
        window_->AddFileToList(Wav(name));
    struct Shown {
        QAction* action;
        QKeySequence keys;
    };
    for (const Shown& s : { Shown { window_->Add1, QKeySequence(Qt::CTRL | Qt::Key_O) },
                            Shown { window_->KA1, QKeySequence(Qt::CTRL | Qt::Key_A) },
                            Shown { window_->Delete1, QKeySequence(Qt::Key_Delete) },
                            Shown { window_->Analyze1, QKeySequence(Qt::CTRL | Qt::Key_L) },
                            Shown { window_->PlayPlay, QKeySequence(Qt::Key_Return) } })
        EXPECT_EQ(s.action->shortcut(), s.keys) << s.action->objectName().toStdString();

    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    window_->ListView1->setFocus();
    QTest::keyClick(window_->ListView1, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(window_->SelectedRows(), (std::vector<int> { 0, 1, 2 }));
    QTest::keyClick(window_->ListView1, Qt::Key_Return);  // plays only a single row
    EXPECT_TRUE(player_->fileName.isEmpty());
    SelectRows({ 1 });
    QTest::keyClick(window_->ListView1, Qt::Key_Return);
    EXPECT_EQ(player_->fileName.toStdString(), Path("b.wav"));
    QTest::keyClick(window_->ListView1, Qt::Key_Delete);
    EXPECT_EQ(Captions(), (std::vector<std::string> { "a.wav", "c.wav" }));
    services_.filesAnswers.push_back({ QString::fromStdString(Wav("d.wav")) });
    QTest::keyClick(window_->ListView1, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(Captions(), (std::vector<std::string> { "a.wav", "c.wav", "d.wav" }));
    QTest::keyClick(window_->ListView1, Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(QTest::qWaitFor([this] { return !window_->Measuring(); }, 20000));
    EXPECT_FALSE(window_->ListView1->model()->index(2, SamplePeakColumn).data().toString().isEmpty());
}

TEST(DisplayTest, AMissingDisplayIsToldBeforeQtStarts)
{
    struct Case {
        const char* platform;  // QT_QPA_PLATFORM
        const char* display;
        const char* wayland;
        const char* argument;  // -platform
        bool missing;
    };
    const Case cases[] = {
        { nullptr, nullptr, nullptr, nullptr, true },      { nullptr, ":0", nullptr, nullptr, false },
        { nullptr, nullptr, "wayland-0", nullptr, false }, { "", "", "", nullptr, true },
        { "xcb", nullptr, "wayland-0", nullptr, true },    { "wayland;xcb", ":0", nullptr, nullptr, false },
        { "offscreen", nullptr, nullptr, nullptr, false }, { nullptr, nullptr, nullptr, "offscreen", false },
        { "offscreen", nullptr, nullptr, "xcb", true },
    };
    for (const Case& c : cases) {
        static const Case* current = nullptr;
        current = &c;
        auto environment = [](const char* name) -> const char* {
            if (std::string(name) == "QT_QPA_PLATFORM")
                return current->platform;
            if (std::string(name) == "DISPLAY")
                return current->display;
            if (std::string(name) == "WAYLAND_DISPLAY")
                return current->wayland;
            return nullptr;
        };
        std::string program = "orva", option = "-platform", value = c.argument != nullptr ? c.argument : "";
        char* argv[] = { program.data(), option.data(), value.data(), nullptr };
        const int argc = c.argument != nullptr ? 3 : 1;
        EXPECT_EQ(DisplayMissing(argc, argv, environment), c.missing)
            << (c.platform ? c.platform : "-") << " " << (c.display ? c.display : "-") << " "
            << (c.argument ? c.argument : "-");
    }
}

TEST(PlannedGainTest, GainsFollowTheTargetTheModeAndTheCeiling)
{
    auto file = [](double peak, double truePeak, double lufs) {
        FileLevels levels;
        levels.levels = { peak, truePeak, lufs, 5.0 };
        levels.inputs.format = orva::SampleFormat::F32;
        levels.inputs.level = peak;
        levels.inputs.levels = levels.levels;
        return levels;
    };
    const FileLevels quiet = file(0.1, 0.1, -30.0);  // -20 dBFS, -20 dBTP
    const FileLevels loud = file(0.5, 0.6, -14.0);   // -6 dBFS, -4.4 dBTP
    const FileLevels silent = file(0.0, 0.0, -HUGE_VAL);
    struct Case {
        int mode, target, peakMode;
        std::vector<const FileLevels*> files;
        std::vector<std::optional<double>> db;  // rounded to tenths
        std::vector<bool> limited;
    };
    const Case cases[] = {
        { 0, 0, 0, { &quiet }, { std::nullopt }, { false } },               // classic: no column
        { 0, -10, 0, { &quiet, &loud }, { 19.0, 5.0 }, { false, false } },  // sample peak -1 dBFS
        { 1, -10, 0, { &quiet, nullptr }, { 19.0, std::nullopt }, { false, false } },
        { 2, -230, 0, { &quiet, &loud }, { 7.0, -9.0 }, { false, false } },  // -23 LUFS
        { 2, -100, 0, { &quiet, &loud }, { 19.0, 3.4 }, { true, true } },    // the ceiling -1 dBTP stops both
        { 2, -230, 0, { &silent }, { std::nullopt }, { false } },            // loudness not measurable
        { 0, -10, 1, { &quiet, &loud }, { 5.0, 5.0 }, { false, false } },    // album: the loudest peak
        { 0, -10, 1, { &quiet, nullptr }, { std::nullopt, std::nullopt }, { false, false } },
    };
    for (const Case& c : cases) {
        orva::Settings settings;
        settings.TargetMode = c.mode;
        settings.Target = c.target;
        settings.PeakMode = c.peakMode;
        const auto gains = PlannedGains(c.files, settings);
        ASSERT_EQ(gains.size(), c.db.size());
        for (std::size_t i = 0; i < gains.size(); ++i) {
            EXPECT_EQ(gains[i].has_value(), c.db[i].has_value()) << c.mode << " " << c.target << " " << i;
            if (gains[i] && c.db[i]) {
                EXPECT_NEAR(gains[i]->db, *c.db[i], 0.05) << c.mode << " " << c.target << " " << i;
                EXPECT_EQ(gains[i]->limited, c.limited[i]) << c.mode << " " << c.target << " " << i;
            }
        }
    }
    EXPECT_EQ(LevelText(-HUGE_VAL), QStringLiteral("\u2212inf"));
    EXPECT_EQ(LevelText(-0.001), QStringLiteral("0.00"));
    EXPECT_EQ(LevelText(3.456), QStringLiteral("3.46"));
}

TEST_F(MainWindowTest, CloseSavesSettingsAndPositionThatTheNextStartRestores)
{
    window_->show();
    window_->move(120, 80);
    window_->Settings.PeakMode = 1;
    window_->Settings.SstpServer = "localhost";
    window_->Exit1->trigger();
    EXPECT_FALSE(window_->isVisible());

    const std::string ini = IniText();
    EXPECT_NE(ini.find("Form1Top=80"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Form1Left=120"), std::string::npos) << ini;
    EXPECT_NE(ini.find("CONVERT=1"), std::string::npos) << ini;
    EXPECT_NE(ini.find("SERVER=localhost"), std::string::npos) << ini;

    TForm1 next;
    EXPECT_EQ(next.pos(), QPoint(120, 80));
    EXPECT_EQ(next.Settings.PeakMode, 1);
    EXPECT_EQ(next.Settings.SstpServer, "localhost");
    EXPECT_EQ(next.Settings.StartDirectory, QDir::currentPath().toStdString());
}

TEST_F(MainWindowTest, AboutDialogRestoresAValidPlaceAndFallsBackToTheMainWindowsCentre)
{
    window_->show();
    window_->move(100, 80);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    {
        TForm2 about(window_.get());
        about.show();  // nothing saved yet
        EXPECT_LE((about.geometry().center() - window_->geometry().center()).manhattanLength(), 2);
        EXPECT_EQ(about.Label4->text(), QStringLiteral("WAVファイルのピーク正規化ツール"));
        about.move(200, 150);
        about.Button2->click();  // OK hides it and saves the place
        EXPECT_FALSE(about.isVisible());
        EXPECT_EQ(about.result(), QDialog::Accepted);
    }
    EXPECT_NE(IniText().find("Form2Top=150"), std::string::npos);
    EXPECT_EQ(TForm2().pos(), QPoint(200, 150));

    // A place beyond the screen's right edge minus 16 is not applied.
    {
        TForm2 about;
        about.show();
        const int screenWidth = about.screen()->size().width();
        about.move(screenWidth - 16, 150);
        about.reject();  // the close box
    }
    EXPECT_FALSE(TForm2().testAttribute(Qt::WA_Moved));
}

// Only a line that does something when clicked looks like a link.
TEST_F(MainWindowTest, AboutDialogContactLineDoesNothingAndHomePageOpensTheHelp)
{
    window_->Settings.StartDirectory = dir_.path().toStdString();
    TForm2 about;
    about.show();
    QTest::mouseClick(about.Edit2, Qt::LeftButton);
    EXPECT_TRUE(services_.openedUrls.empty());
    EXPECT_FALSE(about.Edit2->font().underline());
    EXPECT_EQ(about.Edit2->cursor().shape(), Qt::ArrowCursor);
    EXPECT_FALSE(about.Edit3->font().underline());  // no help to open

    QDir(dir_.path()).mkpath(QStringLiteral("help"));
    uitest::WriteText(Path("help/index.htm"), "<html></html>");
    about.hide();
    about.show();
    EXPECT_TRUE(about.Edit3->font().underline());
    EXPECT_EQ(about.Edit3->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(about.Edit3, Qt::LeftButton);
    ASSERT_EQ(services_.openedUrls.size(), 1U);
    EXPECT_EQ(services_.openedUrls[0], QUrl::fromLocalFile(QString::fromStdString(Path("help/index.htm"))));
}

TEST_F(MainWindowTest, HelpShowsTheFileBesideTheSettingsInItsOwnWindowOrSaysItIsMissing)
{
    window_->Settings.StartDirectory = dir_.path().toStdString();
    window_->H1->trigger();
    ASSERT_EQ(services_.messages.size(), 1U);
    EXPECT_EQ(services_.messages[0].title, QStringLiteral("ORVA Help"));
    EXPECT_EQ(services_.messages[0].text, QStringLiteral("ヘルプファイル(help/index.htm)が見つかりません"));
    EXPECT_EQ(services_.messages[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(services_.openedUrls.empty());

    QDir(dir_.path()).mkpath(QStringLiteral("help/en"));
    uitest::WriteText(Path("help/index.htm"),
                      "<html><body><a href=\"en/index.htm\">English</a></body></html>");
    uitest::WriteText(Path("help/en/index.htm"), "<html><body>English</body></html>");
    window_->H1->trigger();
    EXPECT_EQ(services_.messages.size(), 1U);
    EXPECT_TRUE(services_.openedUrls.empty());  // no browser needed
    HelpWindow* help = window_->HelpWindow1;
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    const QUrl index = QUrl::fromLocalFile(QString::fromStdString(Path("help/index.htm")));
    EXPECT_EQ(help->Browser->source(), index);
    EXPECT_FALSE(help->BackButton->isEnabled());

    // A link leads to the other page; Back and Forward walk the pages seen.
    help->Browser->setSource(QUrl(QStringLiteral("en/index.htm")));
    EXPECT_TRUE(help->Browser->toPlainText().contains(QStringLiteral("English")));
    EXPECT_TRUE(help->BackButton->isEnabled());
    help->BackButton->click();
    EXPECT_EQ(help->Browser->source(), index);
    EXPECT_TRUE(help->ForwardButton->isEnabled());

    help->BrowserButton->click();
    ASSERT_EQ(services_.openedUrls.size(), 1U);
    EXPECT_EQ(services_.openedUrls[0], index);

    // The size is written once the user changed it, and the next start opens with it.
    help->hide();
    EXPECT_EQ(IniText().find("HelpWidth"), std::string::npos);
    help->show();
    help->resize(500, 400);
    help->hide();
    EXPECT_NE(IniText().find("HelpWidth=500"), std::string::npos);
    HelpWindow again(services_, nullptr);
    EXPECT_EQ(again.size(), QSize(500, 400));
}

/// An object whose event handler fails, like a command whose work throws.
class ThrowingObject final : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User)
            throw std::runtime_error("ディスクがいっぱいです");
        return QObject::event(e);
    }
};

TEST_F(MainWindowTest, AnExceptionEscapingAnEventHandlerIsShownAndTheProgramGoesOn)
{
    ThrowingObject object;
    QCoreApplication::postEvent(&object, new QEvent(QEvent::User));
    QCoreApplication::sendPostedEvents(&object);
    ASSERT_EQ(services_.messages.size(), 1U);
    EXPECT_EQ(services_.messages[0].title, QStringLiteral("ORVA"));
    EXPECT_EQ(services_.messages[0].text, QStringLiteral("ディスクがいっぱいです"));
    EXPECT_EQ(services_.messages[0].icon, QMessageBox::Critical);

    // The window still works afterwards.
    window_->AddFileToList(Wav("after.wav"));
    EXPECT_EQ(window_->FileList().Count(), 1);
}

class PlaybackTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        window_->AddFileToList(Wav("one.wav"));
        window_->AddFileToList(Wav("two.wav"));
        player_->commands.clear();
    }
    bool StopEnabled() const { return States(*window_).stop; }
};

TEST_F(PlaybackTest, PlayEnablesStopUntilTheFileEnds)
{
    SelectRows({ 1 });
    window_->SpeedButton2->click();
    EXPECT_EQ(player_->commands,
              (std::vector<std::string> { "open " + Path("two.wav"), "notify", "play", "notify" }));
    EXPECT_TRUE(StopEnabled());

    player_->FinishPlayback();
    EXPECT_FALSE(StopEnabled());
    EXPECT_TRUE(player_->notifyArmed);  // re-armed for the next command
}

TEST_F(PlaybackTest, StopEndsPlaybackAndPlayingAgainRestarts)
{
    SelectRows({ 0 });
    window_->PlayPlay->trigger();
    player_->commands.clear();
    window_->PlayStop->trigger();
    EXPECT_EQ(player_->commands, (std::vector<std::string> { "mode", "stop" }));
    EXPECT_FALSE(StopEnabled());

    player_->commands.clear();
    window_->SpeedButton2->click();
    EXPECT_EQ(player_->commands.front(), "open " + Path("one.wav"));
    EXPECT_TRUE(StopEnabled());
}

TEST_F(PlaybackTest, PlayingAnotherRowKeepsStopEnabledWhenTheFirstReportsItsEnd)
{
    SelectRows({ 0 });
    window_->SpeedButton2->click();
    SelectRows({ 1 });
    window_->SpeedButton2->click();
    // The first playback's end arrives while the second plays: nothing is disabled.
    Q_EMIT player_->Notify();
    EXPECT_TRUE(StopEnabled());
}

TEST_F(PlaybackTest, StopWithNothingPlayingOnlyAsksForTheMode)
{
    window_->SpeedButton3Click();
    EXPECT_EQ(player_->commands, (std::vector<std::string> { "mode" }));
    EXPECT_FALSE(StopEnabled());
}

TEST_F(PlaybackTest, PlayNeedsExactlyOneSelectedRow)
{
    window_->SpeedButton2Click();
    SelectRows({ 0, 1 });
    window_->SpeedButton2Click();
    EXPECT_TRUE(player_->commands.empty());
    EXPECT_TRUE(services_.messages.empty());
}

TEST_F(PlaybackTest, AnOpenFailureIsShownAndLeavesTheStopCommandsAlone)
{
    SelectRows({ 0 });
    player_->failOpen = true;
    window_->SpeedButton2->click();
    ASSERT_EQ(services_.messages.size(), 1U);
    EXPECT_EQ(services_.messages[0].icon, QMessageBox::Critical);
    EXPECT_EQ(player_->commands, (std::vector<std::string> { "open " + Path("one.wav") }));
    EXPECT_FALSE(StopEnabled());

    // A file that fails only once the player tries it ends the playback with the same box.
    window_->SpeedButton2->click();
    EXPECT_TRUE(StopEnabled());
    player_->mode = MediaPlayer::Mode::Stopped;
    Q_EMIT player_->Failed(QStringLiteral("no decoder"));
    EXPECT_FALSE(StopEnabled());
    ASSERT_EQ(services_.messages.size(), 2U);
    EXPECT_EQ(services_.messages[1].text, QStringLiteral("no decoder"));
}

}  // namespace

int main(int argc, char** argv) { return uitest::RunUiTests(argc, argv); }
