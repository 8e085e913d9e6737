// MainWindow: the frameless top-level window of VXTools. It hosts one page per
// plug-in, shows the controller link on a lamp and owns the main menu.
#pragma once

#include "VX_Ports.h"

#include <QDir>
#include <QHash>
#include <QMainWindow>
#include <QPoint>
#include <QRect>
#include <QVector>

class CCustomMenu;
class QAction;
class QFrame;
class QHBoxLayout;
class QPushButton;
class QStackedWidget;
class QToolButton;
class QVBoxLayout;
class QWidget;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // `programDir` stands in for the application directory (INI file, plug-in
    // directory, About images); empty means the application directory. The
    // program itself always passes nothing.
    explicit MainWindow(QWidget* parent = nullptr, const QString& programDir = QString());
    ~MainWindow() override;

    // Start-up stores the maximised geometry here as the one to restore to.
    void setRestoreGeometry(const QRect& geometry);

    QString iniPath() const { return m_iniPath; }
    QString zpsAddress() const { return m_zpsAddress; }
    int zpsPort() const { return m_zpsPort; }
    QDir pluginDirectory() const { return m_pluginDir; }

    // Where plug-ins are looked for, given the program directory: its
    // "plugins" sub-directory, or that of its parent for a build folder
    // named debug or release.
    static QDir pluginDirectoryFor(const QString& programDir);

signals:
    void signal_Disconnected2ZPS();

public slots:
    void slot_MainTabClicked();
    void slot_exitClicked();
    void slot_minimizedClicked();
    void slot_maximizedClicked();
    void slot_NetworkConfigTriggered();
    void slot_AboutTriggered();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void buildForm();
    void loadPlugins();
    void addPage(QObject* plugin);
    void setLamp(const char* resource);
    QRect topFrameRect() const;

    QString m_programDir;
    QString m_iniPath;
    QString m_zpsAddress;
    int m_zpsPort = vx::kRpcPort;
    bool m_dragging = false;
    QPoint m_dragOffset;
    QRect m_restoreGeometry;
    QAction* m_aboutAction = nullptr;
    QAction* m_networkAction = nullptr;
    CCustomMenu* m_menu = nullptr;
    QDir m_pluginDir;
    QVector<QPair<QToolButton*, QWidget*>> m_pages;   // in page order
    QHash<QObject*, QWidget*> m_pageOfButton;
    bool m_firstTickDone = false;
    QVector<QObject*> m_orderedPlugins;

    QWidget* centralWidget_ = nullptr;
    QVBoxLayout* verticalLayout = nullptr;
    QFrame* topFrame = nullptr;
    QHBoxLayout* hl_topFrame = nullptr;
    QPushButton* btn_light = nullptr;
    QPushButton* btn_mainMenu = nullptr;
    QHBoxLayout* hl_topToolBTN = nullptr;
    QPushButton* btn_Minimized = nullptr;
    QPushButton* btn_Maximized = nullptr;
    QPushButton* btn_Close = nullptr;
    QStackedWidget* tw_mainWidgets = nullptr;
    QWidget* page = nullptr;
    QWidget* page_2 = nullptr;
    QFrame* bottomFrame = nullptr;
};
