#include "ui/confirm_dialog.h"

#include "settings/settings_store.h"
#include "ui/forms.h"
#include "ui/main_window.h"
#include "ui/window_position.h"

#include <QCheckBox>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr const char* kTopKey = "Form5Top";
constexpr const char* kLeftKey = "Form5Left";
constexpr const char* kWidthKey = "Form5Width";
constexpr const char* kHeightKey = "Form5Height";

}  // namespace

TOKRightDlg::TOKRightDlg(QWidget* parent) : QDialog(parent)
{
    // A dialog frame whose only title-bar button is the close box; it can be made larger
    // than the summary needs, never smaller.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    setWindowTitle(tr("変換オプション"));
    QFont dialogFont(QStringLiteral("ＭＳ Ｐゴシック"));
    dialogFont.setPixelSize(12);
    setFont(dialogFont);

    Bevel1 = new QFrame(this);
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Label1 = new QLabel(tr("以下の条件で変換を行います。よろしいですか？"), Bevel1);
    RichEdit1 = new QPlainTextEdit(Bevel1);
    RichEdit1->setReadOnly(true);
    RichEdit1->setLineWrapMode(QPlainTextEdit::NoWrap);
    RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QFont summaryFont(QStringLiteral("ＭＳ ゴシック"));
    summaryFont.setStyleHint(QFont::Monospace);
    summaryFont.setPixelSize(12);
    RichEdit1->setFont(summaryFont);

    auto* bevelLayout = new QVBoxLayout(Bevel1);
    bevelLayout->addWidget(Label1);
    bevelLayout->addWidget(RichEdit1, 1);
    CheckBox1 = new QCheckBox(tr("終了後に出力ファイルのレベルを測定する(&M)"), Bevel1);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    bevelLayout->addWidget(CheckBox1);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(tr("キャンセル"), this);
    CancelBtn->setAutoDefault(false);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    buttons->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(Bevel1, 1);
    layout->addLayout(buttons);

    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });

    FormCreate();
}

void TOKRightDlg::FormCreate()
{
    RestoreWidgetPosition(this, kTopKey, kLeftKey);
    int width = -1;
    int height = -1;
    orva::ReadWindowSize(kWidthKey, kHeightKey, width, height);
    if (width > 0 && height > 0)
        rememberedSize_ = QSize(width, height);
}

QSize TOKRightDlg::SummarySize() const
{
    // The longest line and every line in the summary's font, inside the text's margins and
    // the edit's frame; room for two more characters where the caret and rounding need it.
    const QFontMetrics metrics(RichEdit1->font());
    const QStringList lines = RichEdit1->toPlainText().split(QLatin1Char('\n'));
    int width = 0;
    for (const QString& line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    const int margin = static_cast<int>(std::ceil(RichEdit1->document()->documentMargin())) * 2
        + RichEdit1->frameWidth() * 2;
    return { width + margin + 2 * metrics.maxWidth(),
             static_cast<int>(lines.size()) * metrics.lineSpacing() + margin + metrics.descent() };
}

void TOKRightDlg::FitSummary()
{
    // The whole summary shows without scrolling, as far as the screen allows: the text area
    // asks for the summary's size, less what the screen cannot give.
    const auto relayout = [this] {
        Bevel1->layout()->invalidate();
        Bevel1->layout()->activate();
        layout()->invalidate();
        layout()->activate();
    };
    setMinimumSize(0, 0);
    const QSize summary = SummarySize();
    RichEdit1->setMinimumSize(summary);
    relayout();
    const QScreen* screen =
        Form1 != nullptr && Form1->isVisible() ? Form1->screen() : QGuiApplication::primaryScreen();
    // The frame's own share of the screen: a frame is rarely wider than this.
    const QSize room =
        (screen != nullptr ? screen->availableGeometry().size() : QSize(1024, 768)) - QSize(16, 48);
    const QSize excess = (minimumSizeHint() - room).expandedTo(QSize(0, 0));
    if (excess.width() > 0 || excess.height() > 0) {
        RichEdit1->setMinimumSize(summary - excess);
        relayout();
    }
    const QSize needed = minimumSizeHint();
    setMinimumSize(needed);
    openedSize_ = rememberedSize_.isValid() ? rememberedSize_.expandedTo(needed) : needed;
    resize(openedSize_);
}

void TOKRightDlg::setVisible(bool visible)
{
    // Sized and placed before the window manager sees it.
    if (visible && !isVisible()) {
        FitSummary();
        PlaceBeforeShowing(this);
    }
    QDialog::setVisible(visible);
}

void TOKRightDlg::ClearSummary()
{
    RichEdit1->clear();
    QPalette palette = RichEdit1->palette();
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::Base, Qt::white);
    RichEdit1->setPalette(palette);
}

void TOKRightDlg::AppendSummaryLine(const QString& line) { RichEdit1->appendPlainText(line); }

void TOKRightDlg::SetAnswer(int value)
{
    if (answer_ != nullptr)
        *answer_ = value;
    else if (Form1 != nullptr)
        Form1->ConfirmAnswer = value;
}

void TOKRightDlg::OKBtnClick()
{
    SetAnswer(1);
    done(QDialog::Accepted);
}

void TOKRightDlg::CancelBtnClick()
{
    SetAnswer(-1);
    done(QDialog::Rejected);
}

void TOKRightDlg::keyPressEvent(QKeyEvent* event)
{
    // Esc is the Cancel button; the close box (reject() without a button) leaves the answer.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        CancelBtnClick();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TOKRightDlg::showEvent(QShowEvent* event)
{
    // The summary is read from its first line.
    RichEdit1->moveCursor(QTextCursor::Start);
    RichEdit1->ensureCursorVisible();
    QDialog::showEvent(event);
}

void TOKRightDlg::FormClose()
{
    SaveWidgetPosition(this, kTopKey, kLeftKey);
    // A size is remembered once the user has chosen one (until then the file keeps only the
    // place, as it always has); a showing that merely opened larger for a longer summary
    // does not replace it.
    if (size() != openedSize_)
        rememberedSize_ = size();
    if (rememberedSize_.isValid())
        orva::SaveWindowSize(kWidthKey, kHeightKey, rememberedSize_.width(), rememberedSize_.height());
}

void TOKRightDlg::done(int result)
{
    FormClose();
    QDialog::done(result);
}
