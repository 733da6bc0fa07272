#include "MainWidget.h"

#include "AppConfig.h"
#include "FramelessWindowAgent.h"
#include "Language.h"
#include "ShowImageForm.h"
#include "ui_MainWidget.h"

#include <QDebug>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QRegion>
#include <QScreen>
#include <QStyle>

namespace {

const char* const kMenuStyle =
    "QMenu { background-color: #FFFFFF; border: 1px solid #D0D0D0; border-radius: 4px; padding: 4px 0px; "
    "font-family: \"Noto Sans SC Medium\"; font-size: 13px; }\n"
    "QMenu::item { min-height: 30px; max-height: 30px; padding: 0px 28px 0px 16px; color: #555555; "
    "background: transparent; }\n"
    "QMenu::item:selected { background-color: #E1E9ED; color: #004B6A; }\n"
    "QMenu::item:disabled { color: #B0B0B0; }";

QMenu* makeMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->setWindowFlags(menu->windowFlags() | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint);
    menu->setAttribute(Qt::WA_TranslucentBackground);
    menu->setStyleSheet(QString::fromLatin1(kMenuStyle));
    return menu;
}

}  // namespace

MainWidget::MainWidget(AppConfig* config, QWidget* parent)
    : QWidget(parent), ui(new Ui::MainWidget), config_(config), agent_(nullptr), texts_(translatedMenuTexts())
{
    ui->setupUi(this);
    agent_ = new FramelessWindowAgent(this);
    agent_->setTitleBar(ui->widget_title_space);
    agent_->setSystemButton(FramelessWindowAgent::WindowIcon, ui->pb_logo_button);
    agent_->setSystemButton(FramelessWindowAgent::Minimize, ui->pb_win_min);
    agent_->setSystemButton(FramelessWindowAgent::Maximize, ui->pb_win_max);
    agent_->setSystemButton(FramelessWindowAgent::Close, ui->pb_win_close);
    connect(agent_, &FramelessWindowAgent::maximizedChanged, this, &MainWidget::maximizedChanged);

    QFile qss(QStringLiteral(":/windowbar/dark-style.qss"));
    if (qss.open(QIODevice::ReadOnly | QIODevice::Text))
        titleBarBaseStyle_ = QString::fromUtf8(qss.readAll());
    else
        qWarning() << "Title bar style not found.";
    ui->pb_win_max->setProperty("type", QStringLiteral("maxsize"));
    applyTitleBarStyle(false);

    buildMenus();
}

MainWidget::~MainWidget()
{
    delete ui;
}

ShowImageForm* MainWidget::imageView() const
{
    return ui->widget_show_image;
}

MainWidget::MenuTexts MainWidget::translatedMenuTexts()
{
    return {tr("Open Camera"),     tr("Open Recording"), tr("Save as..."), tr("Cut Recording"),
            tr("Quit"),            tr("General Setting"), QStringLiteral("EN/中文"), tr("About us"),
            tr("Toggle Start/End Point")};
}

void MainWidget::buildMenus()
{
    menuDevice_ = makeMenu(this);
    menuDevice_->addAction(texts_.openCamera);
    ui->pb_menu_device->setMenu(menuDevice_);

    menuFile_ = makeMenu(this);
    menuFile_->addAction(texts_.openRecording);
    menuFile_->addAction(texts_.saveAs);
    menuFile_->addAction(texts_.cutRecording);
    menuFile_->addAction(texts_.quit);
    ui->pb_menu_file->setMenu(menuFile_);

    menuSetting_ = makeMenu(this);
    menuSetting_->addAction(texts_.generalSetting);
    menuSetting_->addAction(texts_.language);
    ui->pb_menu_setting->setMenu(menuSetting_);

    menuHelp_ = makeMenu(this);
    menuHelp_->addAction(texts_.aboutUs);
    ui->pb_menu_help->setMenu(menuHelp_);

    for (QMenu* menu : {menuDevice_, menuFile_, menuSetting_, menuHelp_})
        connect(menu, &QMenu::triggered, this, &MainWidget::openActionSlot);
}

QMenu* MainWidget::menuOf(const QString& buttonName) const
{
    if (buttonName == QLatin1String("pb_menu_device"))
        return menuDevice_;
    if (buttonName == QLatin1String("pb_menu_file"))
        return menuFile_;
    if (buttonName == QLatin1String("pb_menu_setting"))
        return menuSetting_;
    if (buttonName == QLatin1String("pb_menu_help"))
        return menuHelp_;
    return nullptr;
}

void MainWidget::openActionSlot(QAction* action)
{
    const QString text = action->text();
    if (text == texts_.quit) {
        close();
    } else if (text == texts_.language) {
        if (config_)
            language::askAndChangeLanguage(this, *config_);
    }
    // The other entries act once their commands exist.
}

void MainWidget::on_pb_win_min_clicked()
{
    showMinimized();
}

void MainWidget::on_pb_win_max_clicked()
{
    if (isMaximized())
        showNormal();
    else
        showMaximized();
    applyTitleBarStyle(isMaximized());
}

void MainWidget::on_pb_win_close_clicked()
{
    close();
}

void MainWidget::maximizedChanged(bool max)
{
    ui->pb_win_max->setProperty("type", max ? QStringLiteral("restore") : QStringLiteral("maxsize"));
    applyTitleBarStyle(max);
    updateWindowMask();
}

void MainWidget::applyTitleBarStyle(bool maximized)
{
    const QString corners = maximized ? QStringLiteral("0px") : QStringLiteral("6px");
    ui->widget_title_bar->setStyleSheet(titleBarBaseStyle_ +
                                        QStringLiteral("\n#widget_title_bar { border-top-left-radius: %1; "
                                                       "border-top-right-radius: %1; border-bottom: 1px solid #AAAAAA; }")
                                            .arg(corners));
    // A changed dynamic property only shows after the style is applied again.
    ui->pb_win_max->style()->unpolish(ui->pb_win_max);
    ui->pb_win_max->style()->polish(ui->pb_win_max);
}

void MainWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateWindowMask();
}

void MainWidget::updateWindowMask()
{
    // Without a window manager's frame the title bar's rounded top corners need the window's
    // own shape to show (a compositor is not always there for a translucent window).
    if (isMaximized() || isFullScreen()) {
        clearMask();
        return;
    }
    const int r = 6;
    QRegion shape(0, r, width(), height() - r);
    shape += QRegion(r, 0, width() - 2 * r, r);
    shape += QRegion(0, 0, 2 * r, 2 * r, QRegion::Ellipse);
    shape += QRegion(width() - 2 * r, 0, 2 * r, 2 * r, QRegion::Ellipse);
    setMask(shape);
}

void MainWidget::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (centred_ || isMaximized())
        return;
    centred_ = true;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        if (width() > area.width() || height() > area.height())
            resize(size().boundedTo(area.size()));
        move(area.center() - rect().center());
    }
}

void MainWidget::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void MainWidget::retranslate()
{
    ui->retranslateUi(this);
    const MenuTexts old = texts_;
    texts_ = translatedMenuTexts();
    const std::pair<QString, QString> renames[] = {
        {old.openCamera, texts_.openCamera}, {old.openRecording, texts_.openRecording},
        {old.saveAs, texts_.saveAs},         {old.cutRecording, texts_.cutRecording},
        {old.quit, texts_.quit},             {old.generalSetting, texts_.generalSetting},
        {old.aboutUs, texts_.aboutUs}};
    for (QMenu* menu : {menuDevice_, menuFile_, menuSetting_, menuHelp_})
        for (QAction* action : menu->actions())
            for (const auto& [from, to] : renames)
                if (action->text() == from) {
                    action->setText(to);
                    break;
                }
}
