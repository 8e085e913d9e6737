#include "VXToolsMain.h"

#include "CommDlg/aboutdialog.h"
#include "WritablePlaces.h"
#include "CustomMenu.h"
#include "VXPage_ZPSIPPortConfig.h"
#include "VXPluginContract.h"
#include "VX_Prod.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMap>
#include <QMouseEvent>
#include <QPluginLoader>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSpacerItem>
#include <QStackedWidget>
#include <QTimerEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const char kLampRed[] = "QPushButton{border-image:url(\":/VXTools/LED_RED\");}";
const char kLampGray[] = "QPushButton{border-image:url(\":/VXTools/LED_GRAY\");}";
const char kLampGreen[] = "QPushButton{border-image:url(\":/VXTools/LED_GREEN\");}";
const char kMaxImage[] = "QPushButton{border-image:url(\":/MainMenu/max\");}";
const char kRestoreImage[] = "QPushButton{border-image:url(\":/MainMenu/restore\");}";
const char kPageButtonStyle[] = "QToolButton{background-color: rgb(49,58,67);color: rgb(255,255,255);"
                                "font-size: 17px;font-family: \"Microsoft YaHei UI\";}";

QPushButton* makeFrameButton(QWidget* parent, const char* name)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setMinimumSize(33, 33);
    button->setMaximumSize(33, 33);
    return button;
}

QIcon menuIcon(const QString& resource)
{
    return QIcon(QPixmap(resource).scaled(32, 32, Qt::IgnoreAspectRatio, Qt::FastTransformation));
}

} // namespace

MainWindow::MainWindow(QWidget* parent, const QString& programDir)
    : QMainWindow(parent)
    , m_programDir(programDir.isEmpty() ? QCoreApplication::applicationDirPath() : programDir)
{
    Q_INIT_RESOURCE(VXTools);
    buildForm();

    const vx::WritablePlaces places = vx::writablePlaces(m_programDir);
    m_iniPath = places.iniPath;
    // The pages keep their own choices in the same user file.
    qApp->setProperty("VXToolsIniPath", m_iniPath);
    m_zpsAddress = vx::iniValue(m_iniPath, places.shippedIniPath, QStringLiteral("ZPS/IP")).toString();
    m_zpsPort = vx::iniValue(m_iniPath, places.shippedIniPath, QStringLiteral("ZPS/PORT")).toInt();

    // Until the user names the controller, the XML-RPC client points at this machine.
    VXRPC_InitClient("127.0.0.1", vx::kRpcPort, vx::kCommandPort);

    setWindowFlags(Qt::FramelessWindowHint);

    btn_mainMenu->setText(QString());
    btn_light->setText(QString());
    btn_Close->setStyleSheet(QStringLiteral("QPushButton{border-image:url(\":/MainMenu/close\");}"));
    btn_Maximized->setStyleSheet(QString::fromLatin1(kRestoreImage));
    btn_Minimized->setStyleSheet(QStringLiteral("QPushButton{border-image:url(\":/MainMenu/min\");}"));
    btn_mainMenu->setStyleSheet(QStringLiteral("QPushButton{ border-image:url(\":/VXTools/logo\");}"));
    topFrame->setStyleSheet(QStringLiteral("QFrame{background-color: rgb(49,58,67);}"));
    bottomFrame->setStyleSheet(QStringLiteral("QFrame{background-color: rgb(207,214,220);}"));
    setLamp(kLampRed);
    bottomFrame->hide();

    m_networkAction = new QAction(menuIcon(QStringLiteral(":/MainMenu/zpsip")), tr("Network"), this);
    m_networkAction->setObjectName(QStringLiteral("action_Network"));
    m_aboutAction = new QAction(menuIcon(QStringLiteral(":/VXTools/logo")), tr("About"), this);
    m_aboutAction->setObjectName(QStringLiteral("action_About"));
    m_menu = new CCustomMenu(this);
    m_menu->addAction(m_aboutAction);
    m_menu->addAction(m_networkAction);

    connect(btn_Close, &QPushButton::clicked, this, &MainWindow::slot_exitClicked);
    connect(btn_Minimized, &QPushButton::clicked, this, &MainWindow::slot_minimizedClicked);
    connect(btn_Maximized, &QPushButton::clicked, this, &MainWindow::slot_maximizedClicked);
    connect(m_networkAction, &QAction::triggered, this, &MainWindow::slot_NetworkConfigTriggered);
    connect(m_aboutAction, &QAction::triggered, this, &MainWindow::slot_AboutTriggered);

    loadPlugins();

    topFrame->installEventFilter(this);
    btn_mainMenu->setMenu(m_menu);
    setLamp(kLampGray);
    startTimer(200, Qt::CoarseTimer);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildForm()
{
    setObjectName(QStringLiteral("MainWindow"));
    resize(1024, 800);
    setWindowTitle(QCoreApplication::translate("MainWindow", "VXTools"));

    centralWidget_ = new QWidget(this);
    centralWidget_->setObjectName(QStringLiteral("centralWidget"));
    verticalLayout = new QVBoxLayout(centralWidget_);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setSpacing(2);
    verticalLayout->setContentsMargins(2, 2, 2, 2);

    topFrame = new QFrame(centralWidget_);
    topFrame->setObjectName(QStringLiteral("topFrame"));
    topFrame->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    topFrame->setMinimumSize(0, 64);
    topFrame->setMaximumSize(16777215, 64);
    topFrame->setFrameShape(QFrame::StyledPanel);
    topFrame->setFrameShadow(QFrame::Raised);
    hl_topFrame = new QHBoxLayout(topFrame);
    hl_topFrame->setObjectName(QStringLiteral("hl_topFrame"));
    hl_topFrame->setSpacing(2);
    hl_topFrame->setContentsMargins(0, 0, 0, 0);

    btn_light = makeFrameButton(topFrame, "btn_light");
    btn_light->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    hl_topFrame->addWidget(btn_light);
    hl_topFrame->addItem(new QSpacerItem(10, 10, QSizePolicy::Fixed, QSizePolicy::Minimum));
    btn_mainMenu = makeFrameButton(topFrame, "btn_mainMenu");
    btn_mainMenu->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    btn_mainMenu->setText(QCoreApplication::translate("MainWindow", "Menu"));
    hl_topFrame->addWidget(btn_mainMenu);
    hl_topFrame->addItem(new QSpacerItem(20, 20, QSizePolicy::Fixed, QSizePolicy::Minimum));
    hl_topToolBTN = new QHBoxLayout();
    hl_topToolBTN->setObjectName(QStringLiteral("hl_topToolBTN"));
    hl_topToolBTN->setSpacing(6);
    hl_topFrame->addLayout(hl_topToolBTN);
    hl_topFrame->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    btn_Minimized = makeFrameButton(topFrame, "btn_Minimized");
    btn_Minimized->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    hl_topFrame->addWidget(btn_Minimized);
    btn_Maximized = makeFrameButton(topFrame, "btn_Maximized");
    hl_topFrame->addWidget(btn_Maximized);
    btn_Close = makeFrameButton(topFrame, "btn_Close");
    hl_topFrame->addWidget(btn_Close);
    verticalLayout->addWidget(topFrame);

    tw_mainWidgets = new QStackedWidget(centralWidget_);
    tw_mainWidgets->setObjectName(QStringLiteral("tw_mainWidgets"));
    page = new QWidget();
    page->setObjectName(QStringLiteral("page"));
    tw_mainWidgets->addWidget(page);
    page_2 = new QWidget();
    page_2->setObjectName(QStringLiteral("page_2"));
    tw_mainWidgets->addWidget(page_2);
    verticalLayout->addWidget(tw_mainWidgets);

    bottomFrame = new QFrame(centralWidget_);
    bottomFrame->setObjectName(QStringLiteral("bottomFrame"));
    bottomFrame->setMinimumSize(0, 64);
    bottomFrame->setMaximumSize(16777215, 64);
    bottomFrame->setFrameShape(QFrame::StyledPanel);
    bottomFrame->setFrameShadow(QFrame::Raised);
    verticalLayout->addWidget(bottomFrame);

    setCentralWidget(centralWidget_);
}

QDir MainWindow::pluginDirectoryFor(const QString& programDir)
{
    QString base = QDir::cleanPath(programDir);
    const QString last = QFileInfo(base).fileName().toLower();
    // By name only: the parent need not exist for the rule to hold.
    if (last == QLatin1String("debug") || last == QLatin1String("release"))
        base = QFileInfo(base).path();
    // A missing folder is fine: listing it gives nothing.
    return QDir(base + QStringLiteral("/plugins"));
}

void MainWindow::loadPlugins()
{
    m_pluginDir = pluginDirectoryFor(m_programDir);
    // One entry per number; a later file with the same number takes the place.
    QMap<int, QObject*> order;
    const QFileInfoList files = m_pluginDir.entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& file : files) {
        QObject* root = nullptr;
        {
            QPluginLoader loader(file.absoluteFilePath());
            root = loader.instance();
            // The loader goes; the library stays loaded for the life of the process.
        }
        if (!root || !root->inherits("QDesignerCustomWidgetInterface"))
            continue;
        auto* contract = qobject_cast<QDesignerCustomWidgetInterface*>(root);
        if (!contract)
            continue;
        order.insert(contract->whatsThis().toInt(nullptr, 10), root);
    }
    for (QObject* plugin : order)
        addPage(plugin);
    if (!m_pages.isEmpty())
        tw_mainWidgets->setCurrentWidget(m_pages.first().second);
}

void MainWindow::addPage(QObject* plugin)
{
    auto* contract = qobject_cast<QDesignerCustomWidgetInterface*>(plugin);
    if (!contract)
        return;
    QWidget* widget = contract->createWidget(this);
    if (!widget)
        return;
    const QString name = contract->name();
    const QIcon icon = contract->icon();

    auto* column = new QVBoxLayout();
    column->setSpacing(0);
    column->setObjectName(QStringLiteral("vl_%1").arg(name));

    auto* button = new QToolButton(topFrame);
    button->setObjectName(QStringLiteral("lb_%1_Text").arg(name));
    button->setMinimumSize(72, 64);
    button->setMaximumSize(72, 64);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setIconSize(QSize(72, 36));
    button->setIcon(icon);
    // The page names the plug-ins give are words a user reads as well.
    static const char* const kPageNames[] = {QT_TRANSLATE_NOOP("MainWindow", "scope"),
                                             QT_TRANSLATE_NOOP("MainWindow", "config"),
                                             QT_TRANSLATE_NOOP("MainWindow", "script")};
    Q_UNUSED(kPageNames);
    button->setText(QCoreApplication::translate("MainWindow", name.toUtf8().constData()));
    button->setStyleSheet(QString::fromLatin1(kPageButtonStyle));
    // The tool tips are page names too ("scope"): read in the same words.
    button->setToolTip(QCoreApplication::translate("MainWindow", contract->toolTip().toUtf8().constData()));
    column->addWidget(button, 0);
    hl_topToolBTN->addLayout(column, 0);

    tw_mainWidgets->addWidget(widget);
    m_pages.append(qMakePair(button, widget));
    m_pageOfButton.insert(button, widget);
    m_orderedPlugins.append(plugin);

    connect(button, &QToolButton::clicked, this, &MainWindow::slot_MainTabClicked);
    // Only pages that care about a lost link have the slot; the others get
    // no connection.
    if (widget->metaObject()->indexOfSlot("slot_Disconnected2ZPS()") >= 0)
        connect(this, SIGNAL(signal_Disconnected2ZPS()), widget, SLOT(slot_Disconnected2ZPS()));
}

void MainWindow::setLamp(const char* style)
{
    btn_light->setStyleSheet(QString::fromLatin1(style));
}

void MainWindow::setRestoreGeometry(const QRect& geometry)
{
    m_restoreGeometry = geometry;
}

void MainWindow::slot_MainTabClicked()
{
    QWidget* widget = m_pageOfButton.value(sender(), nullptr);
    if (widget)
        tw_mainWidgets->setCurrentWidget(widget);
}

void MainWindow::slot_exitClicked()
{
    close();
}

void MainWindow::slot_minimizedClicked()
{
    showMinimized();
}

void MainWindow::slot_maximizedClicked()
{
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint);
    if (isMaximized()) {
        setGeometry(m_restoreGeometry);
        btn_Maximized->setStyleSheet(QString::fromLatin1(kMaxImage));
        btn_Maximized->setToolTip(tr("Maximize"));
        showNormal();
    } else {
        m_restoreGeometry = geometry();
        if (QScreen* screen = QGuiApplication::primaryScreen())
            setGeometry(screen->availableGeometry());
        btn_Maximized->setStyleSheet(QString::fromLatin1(kRestoreImage));
        btn_Maximized->setToolTip(tr("Restore"));
        showMaximized();
    }
}

void MainWindow::slot_NetworkConfigTriggered()
{
    VXPage_ZPSIPPortConfig dialog(m_zpsAddress, nullptr);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_zpsAddress = dialog.zpsIp();
    {
        QSettings ini(m_iniPath, QSettings::IniFormat);
        ini.setValue(QStringLiteral("ZPS/IP"), m_zpsAddress);
        ini.setValue(QStringLiteral("ZPS/PORT"), m_zpsPort);
        ini.sync();
    }
    const std::string address = m_zpsAddress.toStdString();
    VXRPC_InitClient(address, vx::kRpcPort, vx::kCommandPort);
    VX_InitDashboardClient(address);
}

void MainWindow::slot_AboutTriggered()
{
    AboutDialog dialog(m_iniPath, nullptr, m_programDir);
    dialog.exec();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == topFrame && event->type() == QEvent::MouseButtonDblClick) {
        slot_maximizedClicked();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::timerEvent(QTimerEvent*)
{
    if (!m_firstTickDone) {
        m_firstTickDone = true;
        slot_NetworkConfigTriggered();
    }
    if (VX_IsConnectDashboard()) {
        setLamp(kLampGreen);
    } else {
        setLamp(kLampGray);
        emit signal_Disconnected2ZPS();
    }
}

QRect MainWindow::topFrameRect() const
{
    return QRect(topFrame->mapTo(this, QPoint(0, 0)), topFrame->size());
}

void MainWindow::mousePressEvent(QMouseEvent* event)
{
    if (topFrameRect().contains(event->pos()) && event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_dragOffset = event->globalPos() - pos();
        event->accept();
        return;
    }
    QMainWindow::mousePressEvent(event);
}

void MainWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (topFrameRect().contains(event->pos()) && m_dragging && event->buttons() != Qt::NoButton && !isMaximized()) {
        move(event->globalPos() - m_dragOffset);
        event->accept();
        return;
    }
    QMainWindow::mouseMoveEvent(event);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event)
{
    m_dragging = false;
    QMainWindow::mouseReleaseEvent(event);
}
