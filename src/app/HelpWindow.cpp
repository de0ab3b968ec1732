#include "app/HelpWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "app/Platform.h"
#include "app/Utils.h"
#include "settings/Lang.h"
#include "settings/Options.h"

THelpWindow::THelpWindow(QWidget* parent) : QDialog(parent), browser_(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("THelpWindow"));
    setWindowTitle(GetLangText(QStringLiteral("HelpMenu_00")));
    browser_->setObjectName(QStringLiteral("HelpBrowser"));
    browser_->setOpenLinks(true);
    browser_->setOpenExternalLinks(false);
    // Pages of the program stay here; addresses of the web go to the browser.
    connect(browser_, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) {
            GetPlatform().OpenDocument(url.toString());
            browser_->setSource(browser_->source());  // stay on the page
        }
    });
    auto* back = new QPushButton(QStringLiteral("<"), this);
    back->setObjectName(QStringLiteral("HelpBack"));
    back->setFixedWidth(40);
    auto* forward = new QPushButton(QStringLiteral(">"), this);
    forward->setObjectName(QStringLiteral("HelpForward"));
    forward->setFixedWidth(40);
    auto* home = new QPushButton(GetLangText(QStringLiteral("HelpMenu_00")), this);
    home->setObjectName(QStringLiteral("HelpHome"));
    connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    connect(home, &QPushButton::clicked, browser_, &QTextBrowser::home);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);
    back->setEnabled(false);
    forward->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addWidget(home);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(browser_);
    resize(640, 560);
}

QString THelpWindow::PagesFolder() {
    const QString root = ProgramFolder() + QStringLiteral("/help/");
    const QString language = GetOptions().LangValue.trimmed().toLower();
    if (!language.isEmpty() && QFileInfo::exists(root + language + QStringLiteral("/index.html")))
        return root + language;
    return root + QStringLiteral("en");
}

bool THelpWindow::ShowContents() {
    const QString index = PagesFolder() + QStringLiteral("/index.html");
    if (!QFileInfo::exists(index)) return false;
    browser_->setSearchPaths({PagesFolder()});
    browser_->setSource(QUrl::fromLocalFile(index));
    show();
    raise();
    activateWindow();
    return true;
}
