#include "ui/options_dialog.h"

#include "batch/file_ops.h"
#include "settings/sjis.h"
#include "ui/forms.h"
#include "ui/main_window.h"
#include "ui/ui_services.h"
#include "ui/window_position.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

constexpr const char* kTopKey = "Form4Top";
constexpr const char* kLeftKey = "Form4Left";

/// The stock services, for a dialog used before (or without) the main window.
UiServices& FallbackServices()
{
    static QtUiServices services;
    return services;
}

orva::Settings& MainWindowSettings()
{
    Q_ASSERT(Form1 != nullptr);
    return Form1->Settings;
}

/// A drop-down list without free text.
QComboBox* MakeDropDownList(const QStringList& items, const QString& hint, QWidget* parent)
{
    auto* box = new QComboBox(parent);
    box->setEditable(false);
    box->addItems(items);
    box->setToolTip(hint);
    return box;
}

/// Selects the first item whose text equals `value` formatted as "%d"; none equal keeps
/// the current item.
void SelectNumberItem(QComboBox* box, int value)
{
    const int index = box->findText(QString::number(value), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        box->setCurrentIndex(index);
}

/// Selects item `index` when the list has one; otherwise the current item stays.
void SelectItemIfPresent(QComboBox* box, int index)
{
    if (index >= 0 && index < box->count())
        box->setCurrentIndex(index);
}

/// A line edit whose text the user may make at most `maxBytes` bytes of CP932 long.
QLineEdit* MakeLimitedEdit(std::size_t maxBytes, int maxChars, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setValidator(new ShiftJisLimitValidator(maxBytes, maxChars, edit));
    return edit;
}

/// True when the settings file keeps the text whole (at most 255 bytes as CP932 counts them).
bool FitsTextSetting(const QString& text)
{
    return orva::ShiftJisLength(text.toStdString()) <= orva::kMaxShiftJisTextBytes;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), grid_(new QGridLayout(this))
{
    auto* group = new QButtonGroup(this);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        group->addButton(button, i);
        grid_->addWidget(button, i, 0);
        items_.append(button);
    }
    connect(group, &QButtonGroup::idClicked, this, [this](int) { Q_EMIT Click(); });
}

int RadioGroup::ItemIndex() const
{
    for (int i = 0; i < items_.size(); ++i) {
        if (items_[i]->isChecked())
            return i;
    }
    return -1;
}

void RadioGroup::SetItemIndex(int index)
{
    if (items_.isEmpty())
        return;
    // A hand-edited settings file may hold any number; show the nearest real choice so
    // that OK never stores an index that no item stands for.
    items_[std::clamp(index, 0, static_cast<int>(items_.size()) - 1)]->setChecked(true);
}

QRadioButton* RadioGroup::Item(int index) const { return items_.value(index, nullptr); }

// ---------------------------------------------------------------------------------------------

ShiftJisLimitValidator::ShiftJisLimitValidator(std::size_t maxBytes, int maxChars, QObject* parent)
    : QValidator(parent), maxBytes_(maxBytes), maxChars_(maxChars)
{
}

QValidator::State ShiftJisLimitValidator::validate(QString& input, int& /*pos*/) const
{
    // Invalid makes the line edit undo the keystroke or paste that produced `input`; a text
    // set by the program is kept as it is.
    if (maxChars_ > 0 && input.size() > maxChars_)
        return Invalid;
    if (orva::ShiftJisLength(input.toStdString()) > maxBytes_)
        return Invalid;
    return Acceptable;
}

// ---------------------------------------------------------------------------------------------

TFormOption::TFormOption(QWidget* parent) : TFormOption(MainWindowSettings(), parent) {}

TFormOption::TFormOption(orva::Settings& settings, QWidget* parent) : QDialog(parent), settings_(settings)
{
    // A fixed dialog frame with a caption but no title-bar buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(tr("ORVA ｵﾌﾟｼｮﾝ"));
    QFont dialogFont(QStringLiteral("ＭＳ Ｐゴシック"));
    dialogFont.setPixelSize(12);
    setFont(dialogFont);

    CreateControls();
    ConnectHandlers();
    FormCreate();
}

void TFormOption::CreateControls()
{
    PageControl1 = new QTabWidget(this);
    TabSheet1 = CreateBasicPage();
    TabSheet2 = CreateMp3Page();
    TabSheet3 = CreateSstpPage();
    PageControl1->addTab(TabSheet1, tr("基本"));
    PageControl1->addTab(TabSheet2, QStringLiteral("MP3"));
    PageControl1->addTab(TabSheet3, QStringLiteral("SSTP"));

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setDefault(true);
    Button1->setMinimumWidth(75);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // The form's own values before loading.
    RadioGroup1->SetItemIndex(0);
    RadioGroup2->SetItemIndex(0);
    ComboBox1->setEnabled(false);
    Edit4->setEnabled(false);
    Edit5->setEnabled(false);
    CheckBox3->setChecked(true);
    ComboBox5->setVisible(false);
}

QWidget* TFormOption::CreateBasicPage()
{
    auto* page = new QWidget;

    RadioGroup1 = new RadioGroup(tr("ピークの取得方法"),
                                 { tr("ファイルごとに取得(&F)"), tr("全ファイルから一括取得(&A)") }, page);
    RadioGroup1->setToolTip(tr("ピークの取得方法"));
    RadioGroup2 = new RadioGroup(tr("元ファイル"),
                                 { tr("操作しない(&L)"), tr("リネームする(&R)"), tr("削除する(&D)") }, page);
    RadioGroup2->setToolTip(tr("変換後の元ファイルの操作"));

    CheckBox1 = new QCheckBox(tr("サンプリングレート変換(&S)"), page);
    CheckBox1->setToolTip(tr("音量正規化前にサンプリングレート変換を行うか"));
    Panel1 = new QFrame(page);
    // A styled panel draws all four edges in every style (a plain raised or sunken panel
    // loses the edges drawn in the background's own colour).
    Panel1->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    ComboBox1 = MakeDropDownList({ QStringLiteral("22050"), QStringLiteral("32000"), QStringLiteral("44100"),
                                   QStringLiteral("48000") },
                                 tr("変換後のサンプリングレート"), Panel1);
    Label1 = new QLabel(QStringLiteral("Hz"), Panel1);
    auto* panel1Layout = new QHBoxLayout(Panel1);
    panel1Layout->addWidget(ComboBox1);
    panel1Layout->addWidget(Label1);
    panel1Layout->addStretch(1);

    RadioGroup3 =
        new RadioGroup(tr("デフォルトの保存先"), { tr("前回のフォルダ(&P)"), tr("固定(&X)") }, page);
    // The folder field and its browse button sit beside the second item, "固定".
    Edit1 = MakeLimitedEdit(orva::kMaxShiftJisTextBytes, 0, RadioGroup3);
    Edit1->setMinimumWidth(220);
    Button3 = new QPushButton(tr("・・・"), RadioGroup3);
    Button3->setFixedWidth(32);
    RadioGroup3->Grid()->addWidget(Edit1, 1, 1);
    RadioGroup3->Grid()->addWidget(Button3, 1, 2);
    RadioGroup3->Grid()->setColumnStretch(1, 1);

    auto* groups = new QHBoxLayout;
    groups->addWidget(RadioGroup1);
    groups->addWidget(RadioGroup2);

    GroupBox1 = CreateTargetGroup(page);

    auto* layout = new QVBoxLayout(page);
    layout->addLayout(groups);
    layout->addWidget(CheckBox1);
    layout->addWidget(Panel1);
    layout->addWidget(RadioGroup3);
    layout->addWidget(GroupBox1);
    layout->addStretch(1);
    return page;
}

QGroupBox* TFormOption::CreateTargetGroup(QWidget* page)
{
    auto* group = new QGroupBox(tr("目標レベル(&T)"), page);
    ComboBox6 = MakeDropDownList({ tr("サンプルピーク"), tr("トゥルーピーク"), tr("ラウドネス") },
                                 tr("音量をそろえる基準"), group);
    SpinEdit1 = new QDoubleSpinBox(group);
    SpinEdit1->setDecimals(1);
    SpinEdit1->setSingleStep(0.1);
    SpinEdit1->setToolTip(tr("正規化後の目標レベル"));
    Label2 = new QLabel(group);
    Label3 = new QLabel(tr("上限(&C)"), group);
    SpinEdit2 = new QDoubleSpinBox(group);
    SpinEdit2->setDecimals(1);
    SpinEdit2->setSingleStep(0.1);
    SpinEdit2->setRange(orva::kMinCeilingTenths / 10.0, orva::kMaxCeilingTenths / 10.0);
    SpinEdit2->setSuffix(QStringLiteral(" dBTP"));
    SpinEdit2->setToolTip(tr("ラウドネス正規化でトゥルーピークが超えない上限"));
    Label3->setBuddy(SpinEdit2);

    auto* row = new QHBoxLayout(group);
    row->addWidget(ComboBox6);
    row->addWidget(SpinEdit1);
    row->addWidget(Label2);
    row->addSpacing(12);
    row->addWidget(Label3);
    row->addWidget(SpinEdit2);
    row->addStretch(1);
    return group;
}

QWidget* TFormOption::CreateMp3Page()
{
    auto* page = new QWidget;

    CheckBox2 = new QCheckBox(tr("外部エンコード(MP3)(&E)"), page);
    CheckBox2->setToolTip(tr("外部エンコーダを使用してMP3ファイルを作成"));
    Panel2 = new QFrame(page);
    Panel2->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);

    const QString modeHint = tr("ステレオ/ジョイントステレオなどのモード");
    ComboBox4 = MakeDropDownList({ tr("午後のこ～だ"), QStringLiteral("SCMPX") },
                                 tr("MP3エンコーダの種別を選択"), Panel2);
    Button2 = new QPushButton(tr("場所指定(&B)"), Panel2);
    Button2->setToolTip(tr("外部エンコーダのパスを指定する"));
    ComboBox2 = MakeDropDownList({ QStringLiteral("64"), QStringLiteral("80"), QStringLiteral("96"),
                                   QStringLiteral("112"), QStringLiteral("128"), QStringLiteral("160"),
                                   QStringLiteral("192"), QStringLiteral("224"), QStringLiteral("256"),
                                   QStringLiteral("320") },
                                 tr("エンコード後のMP3ファイルのビットレート"), Panel2);
    ComboBox3 = MakeDropDownList(
        { tr("ステレオ"), tr("ジョイントステレオ"), tr("ミッドサイドステレオ"), tr("強制モノラル") },
        modeHint, Panel2);
    ComboBox5 = MakeDropDownList({ tr("ステレオ"), tr("ジョイントステレオ") }, modeHint, Panel2);
    CheckBox3 = new QCheckBox(tr("心理音響モデル演算(&P)"), Panel2);
    CheckBox3->setToolTip(tr("心理音響モデル演算を行う"));
    Label6 = new QLabel(tr("強制モノラル指定時には、ビットレートは\n半分になります。"), Panel2);
    Label7 = new QLabel(Panel2);

    // ComboBox3 and ComboBox5 share one place; exactly one of them is visible.
    auto* modeLists = new QHBoxLayout;
    modeLists->setContentsMargins(0, 0, 0, 0);
    modeLists->addWidget(ComboBox3);
    modeLists->addWidget(ComboBox5);
    modeLists->addStretch(1);

    auto* grid = new QGridLayout(Panel2);
    // Each label's access key leads to its list.
    auto label = [this](const QString& text, QWidget* buddy) {
        auto* caption = new QLabel(text, Panel2);
        caption->setBuddy(buddy);
        return caption;
    };
    grid->addWidget(label(tr("エンコーダ種別(&K)"), ComboBox4), 0, 0);
    grid->addWidget(ComboBox4, 0, 1);
    grid->addWidget(Button2, 0, 2);
    grid->addWidget(label(tr("ビットレート(&R)"), ComboBox2), 1, 0);
    grid->addWidget(ComboBox2, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("kbps/sec"), Panel2), 1, 2);
    modeLabel_ = label(tr("出力モード(&M)"), ComboBox3);
    grid->addWidget(modeLabel_, 2, 0);
    grid->addLayout(modeLists, 2, 1, 1, 2);
    grid->addWidget(CheckBox3, 3, 0, 1, 3);
    grid->addWidget(Label6, 4, 0, 1, 3);
    grid->addWidget(Label7, 5, 0, 1, 3);
    grid->setColumnStretch(3, 1);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(CheckBox2);
    layout->addWidget(Panel2);
    layout->addStretch(1);
    return page;
}

QWidget* TFormOption::CreateSstpPage()
{
    auto* page = new QWidget;

    CheckBox4 = new QCheckBox(tr("SSTP有効(&S)"), page);
    // The 255-character limits of the three texts are bounded further by the 255 bytes of
    // CP932 that the settings file holds; the port keeps its 16 characters.
    Edit2 = MakeLimitedEdit(orva::kMaxShiftJisTextBytes, 255, page);
    Edit3 = MakeLimitedEdit(orva::kMaxShiftJisTextBytes, 255, page);
    Edit4 = MakeLimitedEdit(orva::kMaxShiftJisTextBytes, 255, page);
    Edit5 = MakeLimitedEdit(orva::kMaxShiftJisTextBytes, 16, page);
    Edit5->setMaximumWidth(80);

    auto* network = new QGridLayout;
    auto label = [page](const QString& text, QWidget* buddy) {
        auto* caption = new QLabel(text, page);
        caption->setBuddy(buddy);
        return caption;
    };
    network->addWidget(label(tr("サーバ(&V)"), Edit4), 0, 0);
    network->addWidget(Edit4, 0, 1);
    network->addWidget(label(tr("ポート(&T)"), Edit5), 1, 0);
    network->addWidget(Edit5, 1, 1, Qt::AlignLeft);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(CheckBox4);
    layout->addWidget(label(tr("1ファイル終了時(ファイル名:$S)(&O)"), Edit2));
    layout->addWidget(Edit2);
    layout->addWidget(label(tr("全ファイル終了時(&A)"), Edit3));
    layout->addWidget(Edit3);
    layout->addWidget(new QLabel(tr("ネットワーク"), page));
    layout->addLayout(network);
    layout->addStretch(1);
    return page;
}

void TFormOption::ConnectHandlers()
{
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(ComboBox6, &QComboBox::currentIndexChanged, this, [this] { ComboBox6Change(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    // Check boxes run their handler on every change of state, by the user or by loading.
    connect(CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });
    connect(CheckBox2, &QCheckBox::toggled, this, [this] { CheckBox2Click(); });
    connect(CheckBox4, &QCheckBox::toggled, this, [this] { CheckBox4Click(); });
    connect(ComboBox4, &QComboBox::currentIndexChanged, this, [this] { ComboBox4Change(); });
    connect(RadioGroup3, &RadioGroup::Click, this, [this] { RadioGroup3Click(); });
}

UiServices& TFormOption::Services() const
{
    if (services_ != nullptr)
        return *services_;
    return Form1 != nullptr ? Form1->Services() : FallbackServices();
}

void TFormOption::FormCreate()
{
    RestoreWidgetPosition(this, kTopKey, kLeftKey);
    LoadControls();
    Label7->setText(tr("SCMPX指定時はエンコーダのプログラムを指定してください。"));
    PageControl1->setCurrentIndex(0);
}

void TFormOption::LoadControls()
{
    // From the form's own values each time, so that every showing looks as the first: the
    // controls show the settings in effect, never edits that were left without OK. Choices
    // of this session that are off now stand where the form's values would.
    loading_ = true;
    beforeResample_.reset();
    ComboBox1->setCurrentIndex(2);  // "44100"
    ComboBox2->setCurrentIndex(3);  // "112"
    ComboBox3->setCurrentIndex(1);  // "ジョイントステレオ"
    ComboBox4->setCurrentIndex(0);  // "午後のこ～だ"
    ComboBox5->setCurrentIndex(0);  // "ステレオ"
    CheckBox1->setChecked(false);
    CheckBox2->setChecked(false);
    CheckBox3->setChecked(true);
    if (resampleItem_)
        ComboBox1->setCurrentIndex(*resampleItem_);
    if (mp3Choice_) {
        ComboBox2->setCurrentIndex(mp3Choice_->bitrateItem);
        ComboBox3->setCurrentIndex(mp3Choice_->gogoModeItem);
        ComboBox5->setCurrentIndex(mp3Choice_->scmpxModeItem);
        ComboBox4->setCurrentIndex(mp3Choice_->encoderItem);
        CheckBox3->setChecked(mp3Choice_->psy);
    }

    RadioGroup2->SetItemIndex(settings_.SourceFileAction);
    RadioGroup1->SetItemIndex(settings_.PeakMode);

    if (settings_.ResampleRate > 0) {
        SelectNumberItem(ComboBox1, settings_.ResampleRate);
        CheckBox1->setChecked(true);
    }

    if (settings_.Mp3Bitrate > 0) {
        SelectNumberItem(ComboBox2, settings_.Mp3Bitrate);
        CheckBox2->setChecked(true);
        // An output mode or encoder kind that no item stands for (a hand-edited file)
        // leaves the list on its default item, as an unknown rate does.
        SelectItemIfPresent(ComboBox3, settings_.OutputMode);
        ComboBox5->setCurrentIndex(settings_.OutputMode == 1 ? 1 : 0);
        CheckBox3->setChecked(settings_.UsePsy != 0);
        SelectItemIfPresent(ComboBox4, settings_.EncoderKind);
    }

    ComboBox6->setCurrentIndex(std::clamp(settings_.TargetMode, 0, 2));
    ComboBox6Change();
    SpinEdit1->setValue(settings_.Target / 10.0);
    modeLevels_[std::size_t(ComboBox6->currentIndex())] = SpinEdit1->value();
    SpinEdit2->setValue(settings_.Ceiling / 10.0);

    RadioGroup3->SetItemIndex(settings_.OutputDirMode != 0 ? 1 : 0);
    Edit1->setText(QString::fromStdString(settings_.FixedOutputDir));
    CheckBox4->setChecked(settings_.SstpEnabled != 0);
    Edit2->setText(QString::fromStdString(settings_.SstpFileMessage));
    Edit3->setText(QString::fromStdString(settings_.SstpAllMessage));
    Edit4->setText(QString::fromStdString(settings_.SstpServer));
    Edit5->setText(QString::fromStdString(settings_.SstpPort));

    CheckBox1Click();
    CheckBox2Click();
    ComboBox4Change();
    CheckBox4Click();
    RadioGroup3Click();
    loading_ = false;
}

void TFormOption::FormShow() { LoadControls(); }

void TFormOption::setVisible(bool visible)
{
    // Placed before the window manager sees the window: a restored place is kept on a
    // screen; without one the dialog opens centred over the main window.
    if (visible && !isVisible())
        PlaceBeforeShowing(this);
    QDialog::setVisible(visible);
}

void TFormOption::showEvent(QShowEvent* event)
{
    // A spontaneous show is the window system restoring the window, not a new showing.
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TFormOption::CheckBox1Click()
{
    const bool resample = CheckBox1->isChecked();
    // Resampling works per file and leaves the sources alone: the disabled groups show
    // that, and show the user's own choice again when it is off.
    if (resample && !beforeResample_) {
        beforeResample_ = std::pair { RadioGroup1->ItemIndex(), RadioGroup2->ItemIndex() };
        RadioGroup1->SetItemIndex(0);
        RadioGroup2->SetItemIndex(0);
    } else if (!resample && beforeResample_) {
        RadioGroup1->SetItemIndex(beforeResample_->first);
        RadioGroup2->SetItemIndex(beforeResample_->second);
        beforeResample_.reset();
    }
    RadioGroup1->setEnabled(!resample);
    RadioGroup2->setEnabled(!resample);
    ComboBox1->setEnabled(resample);
}

void TFormOption::CheckBox2Click()
{
    if (CheckBox2->isChecked()) {
        ComboBox2->setEnabled(true);
        ComboBox3->setEnabled(true);
        ComboBox5->setEnabled(true);
        ComboBox4->setEnabled(true);
        if (ComboBox4->currentIndex() == 0) {
            CheckBox3->setEnabled(true);
        } else if (ComboBox4->currentIndex() == 1) {
            CheckBox3->setEnabled(false);
            Button2->setEnabled(true);
        }
    } else {
        Button2->setEnabled(false);
        ComboBox2->setEnabled(false);
        ComboBox3->setEnabled(false);
        ComboBox5->setEnabled(false);
        ComboBox4->setEnabled(false);
        CheckBox3->setEnabled(false);
    }
}

void TFormOption::ComboBox4Change()
{
    // The psychoacoustic check box and the chooser follow the other MP3 controls: usable
    // only while MP3 encoding is on.
    const bool mp3 = CheckBox2->isChecked();
    if (modeLabel_ != nullptr)
        modeLabel_->setBuddy(ComboBox4->currentIndex() == 1 ? ComboBox5 : ComboBox3);
    if (ComboBox4->currentIndex() == 0) {
        ComboBox3->setVisible(true);
        ComboBox5->setVisible(false);
        CheckBox3->setEnabled(mp3);
        Button2->setEnabled(false);
    } else if (ComboBox4->currentIndex() == 1) {
        ComboBox3->setVisible(false);
        ComboBox5->setVisible(true);
        CheckBox3->setEnabled(false);
        Button2->setEnabled(mp3);
    }
}

void TFormOption::CheckBox4Click()
{
    if (CheckBox4->isChecked()) {
        Edit2->setEnabled(true);
        Edit3->setEnabled(true);
    } else {
        Edit2->setEnabled(false);
        Edit3->setEnabled(false);
        Edit4->setEnabled(false);
        Edit5->setEnabled(false);
    }
}

void TFormOption::RadioGroup3Click()
{
    const bool fixed = RadioGroup3->ItemIndex() == 1;
    Edit1->setEnabled(fixed);
    Button3->setEnabled(fixed);
}

void TFormOption::ComboBox6Change()
{
    const int mode = ComboBox6->currentIndex();
    // A level of another mode's unit means nothing here: a change of mode brings the level
    // last chosen for the new mode in this session, or the mode's usual level.
    const double level = SpinEdit1->value();
    if (modeShown_ >= 0 && modeShown_ != mode && !loading_)
        modeLevels_[std::size_t(modeShown_)] = level;
    SpinEdit1->setRange(orva::MinTargetTenths(mode) / 10.0, orva::MaxTargetTenths(mode) / 10.0);
    if (level < SpinEdit1->minimum() || level > SpinEdit1->maximum() || modeShown_ != mode)
        SpinEdit1->setValue(modeLevels_[std::size_t(mode)].value_or(orva::DefaultTargetTenths(mode) / 10.0));
    modeShown_ = mode;
    Label2->setText(mode == 2       ? QStringLiteral("LUFS")
                        : mode == 1 ? QStringLiteral("dBTP")
                                    : QStringLiteral("dBFS"));
    Label3->setEnabled(mode == 2);
    SpinEdit2->setEnabled(mode == 2);
}

void TFormOption::Button1Click()
{
    resampleItem_ = ComboBox1->currentIndex();
    mp3Choice_ = Mp3Choice { ComboBox2->currentIndex(), ComboBox3->currentIndex(), ComboBox5->currentIndex(),
                             ComboBox4->currentIndex(), CheckBox3->isChecked() };
    modeLevels_[std::size_t(ComboBox6->currentIndex())] = SpinEdit1->value();
    if (CheckBox1->isChecked()) {
        settings_.SourceFileAction = 0;
        settings_.PeakMode = 0;
        settings_.ResampleRate = ComboBox1->currentText().toInt();
    } else {
        settings_.SourceFileAction = RadioGroup2->ItemIndex();
        settings_.PeakMode = RadioGroup1->ItemIndex();
        settings_.ResampleRate = 0;
    }

    if (CheckBox2->isChecked()) {
        settings_.Mp3Bitrate = ComboBox2->currentText().toInt();
        const int kind = ComboBox4->currentIndex();
        if (kind == 0) {
            settings_.OutputMode = ComboBox3->currentIndex();
            settings_.UsePsy = CheckBox3->isChecked() ? 1 : 0;
        } else if (kind == 1) {
            settings_.OutputMode = ComboBox5->currentIndex();
            settings_.UsePsy = 0;
        }
        settings_.EncoderKind = kind;
    } else {
        settings_.Mp3Bitrate = 0;
        settings_.OutputMode = 0;
        settings_.UsePsy = 0;
        settings_.EncoderKind = 0;
    }

    if (RadioGroup3->ItemIndex() != 0) {
        settings_.OutputDirMode = 1;
        settings_.FixedOutputDir = Edit1->text().toStdString();
    } else {
        settings_.OutputDirMode = 0;
    }

    settings_.TargetMode = ComboBox6->currentIndex();
    settings_.Target = static_cast<int>(std::lround(SpinEdit1->value() * 10.0));
    settings_.Ceiling = static_cast<int>(std::lround(SpinEdit2->value() * 10.0));

    settings_.SstpEnabled = CheckBox4->isChecked() ? 1 : 0;

    settings_.SstpFileMessage = Edit2->text().toStdString();
    settings_.SstpAllMessage = Edit3->text().toStdString();
    settings_.SstpServer = Edit4->text().toStdString();
    settings_.SstpPort = Edit5->text().toStdString();

    accept();
}

void TFormOption::Button2Click()
{
    // The chooser lists the files that can be run, so a stand-in such as tools/scmpx-lame
    // shows at once; it opens where the present encoder is, or among the packaged tools.
    const QString current = QString::fromStdString(settings_.EncoderPath);
    QString folder = current.isEmpty() ? QString() : QFileInfo(current).absolutePath();
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        const QString tools = QCoreApplication::applicationDirPath() + QStringLiteral("/../lib/orva/tools");
        folder = QFileInfo(tools).isDir() ? QFileInfo(tools).canonicalFilePath() : QString();
    }
    const QString chosen = Services().ChooseProgram(this, tr("開く"), folder);
    if (chosen.isEmpty())
        return;
    // A path longer than the setting can hold is refused rather than cut into another path.
    if (!FitsTextSetting(chosen))
        return;
    // A file that cannot be run would fail every entry of the next batch: say so now.
    const QFileInfo program(chosen);
    if (!program.isFile() || !program.isExecutable()) {
        Services().ShowMessage(this, QStringLiteral("ORVA"),
                               tr("実行できないファイルです。(%1)").arg(QDir::toNativeSeparators(chosen)),
                               QMessageBox::Warning);
        return;
    }
    settings_.EncoderPath = QFileInfo(chosen).absoluteFilePath().toStdString();
}

void TFormOption::Button3Click()
{
    const QString chosen = Services().ChooseFolder(this, tr("デフォルトの保存先"), Edit1->text());
    if (chosen.isEmpty() || !FitsTextSetting(chosen))
        return;
    Edit1->setText(chosen);
}

void TFormOption::FormClose() { SaveWidgetPosition(this, kTopKey, kLeftKey); }

void TFormOption::done(int result)
{
    FormClose();
    QDialog::done(result);
}
