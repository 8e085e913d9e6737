// The script page: one button that imports a JSON script file and sends its
// bytes, unchanged, to the controller, which starts the script.
#pragma once

#include <QWidget>

class QPushButton;

class VXPlugin_ScriptWidget : public QWidget
{
    Q_OBJECT

public:
    // A script is a few kilobytes; anything this large is not one, and would
    // be held in memory twice and sent in a single request.
    static constexpr qint64 kMaxScriptBytes = 16 * 1024 * 1024;

    explicit VXPlugin_ScriptWidget(QWidget* parent = nullptr);
    ~VXPlugin_ScriptWidget() override;

public slots:
    void slotImportScriptFile();

protected:
    // The modal file dialog; tests replace it. Empty means cancelled.
    virtual QString chooseScriptFile();

private:
    void warn(const QString& text);
    // Why the bytes cannot travel as the script's text; empty when they can.
    static QString notSendableReason(const QByteArray& bytes);

    QPushButton* m_pBtnImport = nullptr;
};
