#include "ui/about_dialog.h"

#include "ui/forms.h"
#include "ui/help.h"
#include "ui/main_window.h"
#include "ui/tool_icons.h"
#include "ui/window_position.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace {

QFont PixelFont(const QString& family, int pixels, bool bold = false)
{
    QFont font(family);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QRect& geometry, const QString& text,
                  const QFont& font)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setFont(font);
    // Labels size themselves to their text from their designed top-left corner, so a
    // substitute font that runs wider than the designed one never clips the text.
    label->adjustSize();
    label->resize(std::max(label->width(), geometry.width()), std::max(label->height(), geometry.height()));
    return label;
}

/// A read-only, borderless line that reads as text, not as an input field.
QLineEdit* MakeTextLine(QWidget* parent, const char* name, const QRect& geometry, const QString& text)
{
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(geometry);
    edit->setReadOnly(true);
    edit->setFrame(false);
    edit->setFocusPolicy(Qt::NoFocus);
    edit->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
    return edit;
}

/// Underlined with a hand cursor when clicking it does something, plain text otherwise.
void SetLinkLook(QLineEdit* edit, bool link)
{
    QFont font = edit->font();
    font.setUnderline(link);
    edit->setFont(font);
    edit->setCursor(link ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

QString StartDirectory()
{
    return Form1 != nullptr ? QString::fromStdString(Form1->Settings.StartDirectory) : QString();
}

}  // namespace

TForm2::TForm2(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("About ORVA"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    setFont(PixelFont(QStringLiteral("MS Sans Serif"), 11));
    setFixedSize(321, 242);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(8, 8, 305, 225);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(47, 16, 33, 33);
    Image1->setScaledContents(true);
    Image1->setPixmap(MakeProgramIcon().pixmap(64, 64));

    const QString gothic = QStringLiteral("ＭＳ ゴシック");
    Label3 = MakeLabel(Panel1, "Label3", QRect(95, 8, 116, 51), QStringLiteral("ORVA"),
                       PixelFont(QStringLiteral("ＭＳ Ｐゴシック"), 51));
    QPalette black = Label3->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    Label3->setPalette(black);
    Label4 = MakeLabel(Panel1, "Label4", QRect(40, 56, 248, 16), tr("WAVファイルのピーク正規化ツール"),
                       PixelFont(gothic, 16));
    Label1 = MakeLabel(Panel1, "Label1", QRect(59, 72, 183, 19), QStringLiteral("Ver 1.1 2003/01/13"),
                       PixelFont(font().family(), 19, true));
    Label5 = MakeLabel(Panel1, "Label5", QRect(40, 104, 128, 16), QStringLiteral("(C) 2026 ORVA"),
                       PixelFont(gothic, 16));

    // The contact line leads nowhere, so it is not drawn as a link; the home-page line is one
    // while the help it opens can be found (decided at each showing).
    Edit2 = MakeTextLine(Panel1, "Edit2", QRect(40, 128, 249, 17), QStringLiteral("Qt 6 / LAME / libsoxr"));
    Edit3 = MakeTextLine(Panel1, "Edit3", QRect(40, 144, 249, 17), HomePageText());
    Edit2->installEventFilter(this);
    Edit3->installEventFilter(this);

    Button2 = new QPushButton(QStringLiteral("OK"), Panel1);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(107, 176, 86, 33);
    Button2->setDefault(true);
    connect(Button2, &QPushButton::clicked, this, [this] { Button1Click(); });

    // A valid saved place, else centred on the main window when it shows.
    RestoreWidgetPosition(this, "Form2Top", "Form2Left");
}

void TForm2::setVisible(bool visible)
{
    if (visible && !isVisible()) {
        SetLinkLook(Edit3, !FindHelpFile(StartDirectory()).isEmpty());
        PlaceBeforeShowing(this);
    }
    QDialog::setVisible(visible);
}

void TForm2::Button1Click() { accept(); }

void TForm2::Edit3Click()
{
    if (Form1 != nullptr) {
        OpenHomePage(Form1->Services(), StartDirectory());
    } else {
        QtUiServices services;
        OpenHomePage(services, QString());
    }
}

void TForm2::FormClose() { SaveWidgetPosition(this, "Form2Top", "Form2Left"); }

void TForm2::done(int result)
{
    // Every way of closing (OK, Esc, the close box) ends here.
    FormClose();
    QDialog::done(result);
}

bool TForm2::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == Edit3) {
            Edit3Click();
            return true;
        }
        if (watched == Edit2)
            return true;  // Edit2MouseUp: the contact line does nothing
    }
    return QDialog::eventFilter(watched, event);
}
