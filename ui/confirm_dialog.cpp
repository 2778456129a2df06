#include "ui/confirm_dialog.h"

#include "ui/forms.h"
#include "ui/main_window.h"
#include "ui/window_position.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

namespace {

constexpr const char* kTopKey = "Form5Top";
constexpr const char* kLeftKey = "Form5Left";

}  // namespace

TOKRightDlg::TOKRightDlg(QWidget* parent) : QDialog(parent)
{
    // A fixed dialog frame whose only title-bar button is the close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
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
    RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont summaryFont(QStringLiteral("ＭＳ ゴシック"));
    summaryFont.setStyleHint(QFont::Monospace);
    summaryFont.setPixelSize(12);
    RichEdit1->setFont(summaryFont);
    RichEdit1->setFixedSize(360, 260);

    auto* bevelLayout = new QVBoxLayout(Bevel1);
    bevelLayout->addWidget(Label1);
    bevelLayout->addWidget(RichEdit1);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(tr("キャンセル"), this);
    CancelBtn->setAutoDefault(false);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    buttons->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(Bevel1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });

    FormCreate();
}

void TOKRightDlg::FormCreate() { RestoreWidgetPosition(this, kTopKey, kLeftKey); }

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

void TOKRightDlg::FormClose() { SaveWidgetPosition(this, kTopKey, kLeftKey); }

void TOKRightDlg::done(int result)
{
    FormClose();
    QDialog::done(result);
}
