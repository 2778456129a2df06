#include "ui/help.h"

#include "settings/settings_store.h"
#include "text/language.h"
#include "ui/ui_services.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QPushButton>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The help page of the program's language, relative to the help folder's parent.
QString HelpPage()
{
    return orva::ProcessLanguage() == orva::Language::English ? QStringLiteral("help/en/index.htm")
                                                              : QStringLiteral("help/index.htm");
}

// The help window's size until the user chooses another.
constexpr QSize kHelpWindowSize(720, 560);

}  // namespace

QString FindHelpFile(const QString& startDirectory)
{
    const QString local = startDirectory + QLatin1Char('/') + HelpPage();
    if (QFileInfo(local).isFile())
        return local;
    const QString installed =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/orva/") + HelpPage();
    if (QFileInfo(installed).isFile())
        return QFileInfo(installed).canonicalFilePath();
    const QString sourceTree = QCoreApplication::applicationDirPath() + QStringLiteral("/../") + HelpPage();
    if (QFileInfo(sourceTree).isFile())
        return QFileInfo(sourceTree).canonicalFilePath();
    return QString();
}

HelpWindow::HelpWindow(UiServices& services, QWidget* parent) : QDialog(parent), services_(services)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(tr("ORVA ヘルプ"));
    setWindowFlags(Qt::Window);
    Browser = new QTextBrowser(this);
    Browser->setObjectName(QStringLiteral("Browser"));
    Browser->setOpenLinks(true);
    Browser->setOpenExternalLinks(true);
    BackButton = new QToolButton(this);
    BackButton->setText(tr("戻る(&B)"));
    BackButton->setEnabled(false);
    ForwardButton = new QToolButton(this);
    ForwardButton->setText(tr("進む(&F)"));
    ForwardButton->setEnabled(false);
    BrowserButton = new QPushButton(tr("ブラウザで開く(&O)"), this);
    BrowserButton->setAutoDefault(false);
    auto* close = new QPushButton(tr("閉じる(&C)"), this);
    close->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BackButton);
    buttons->addWidget(ForwardButton);
    buttons->addStretch(1);
    buttons->addWidget(BrowserButton);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(Browser, 1);

    connect(Browser, &QTextBrowser::backwardAvailable, BackButton, &QWidget::setEnabled);
    connect(Browser, &QTextBrowser::forwardAvailable, ForwardButton, &QWidget::setEnabled);
    connect(BackButton, &QToolButton::clicked, Browser, &QTextBrowser::backward);
    connect(ForwardButton, &QToolButton::clicked, Browser, &QTextBrowser::forward);
    connect(BrowserButton, &QPushButton::clicked, this, [this] {
        services_.OpenUrl(Browser->source());  // a failure to open shows nothing
    });
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    int width = -1, height = -1;
    orva::ReadWindowSize("HelpWidth", "HelpHeight", width, height);
    if (width > 0 && height > 0)
        storedSize_ = QSize(width, height);
    resize(storedSize_.isValid() ? storedSize_ : kHelpWindowSize);
}

void HelpWindow::ShowPage(const QUrl& page)
{
    Browser->setSource(page);
    show();
    raise();
    activateWindow();
}

void HelpWindow::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    // Written only once the user has changed the size, so an untouched file stays as it was.
    if (!event->spontaneous() && size() != (storedSize_.isValid() ? storedSize_ : kHelpWindowSize)) {
        orva::SaveWindowSize("HelpWidth", "HelpHeight", width(), height());
        storedSize_ = size();
    }
}

void OpenHelp(UiServices& services, QWidget* parent, const QString& startDirectory, HelpWindow& window)
{
    const QString help = FindHelpFile(startDirectory);
    if (!help.isEmpty()) {
        window.ShowPage(QUrl::fromLocalFile(help));
        return;
    }
    services.ShowMessage(
        parent, QStringLiteral("ORVA Help"),
        QCoreApplication::translate("Help", "ヘルプファイル(help/index.htm)が見つかりません"),
        QMessageBox::Warning);
}

void OpenHomePage(UiServices& services, const QString& startDirectory)
{
    const QString help = FindHelpFile(startDirectory);
    if (!help.isEmpty())
        services.OpenUrl(QUrl::fromLocalFile(help));
}

QString HomePageText() { return HelpPage(); }
