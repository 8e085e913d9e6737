// The channel selection dialog: three check trees built from the catalogue.
// The scope page reads the selections after OK and whenever sampling starts.
#pragma once

#include "ScopeChannels.h"
#include "scopechannelsets.h"

#include <QWidget>

#include <functional>
#include <map>
#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class QTreeView;
class QVBoxLayout;
class QHBoxLayout;
class TreeModel;

class QScopeSetting : public QWidget
{
    Q_OBJECT

public:
    explicit QScopeSetting(QWidget* parent = nullptr);
    ~QScopeSetting() override;

    // Checked leaves of each tree, keyed by catalogue key. The component map
    // holds the key itself, the other two the channel's base index (0 when the
    // catalogue has none).
    std::map<emAXIS, int> componentSelection() const;
    std::map<emLINK, int> linkSelection() const;
    std::map<emENDEFF, int> endEffectorSelection() const;

    // Called after a scope file import: clears every check mark (the keys
    // rebuilt from the file are not applied) and collapses the trees.
    void setCheckedKeys(const std::map<emAXIS, int>& components,
                        const std::map<emLINK, int>& links,
                        const std::map<emENDEFF, int>& endEffectors);

    // ---- saved channel sets ----------------------------------------------
    // The check marks as catalogue keys, and setting them (the trees show
    // exactly the given marks afterwards).
    scopechannelsets::Selection selection() const;
    void applySelection(const scopechannelsets::Selection& selection);
    // The user's INI file: the saved sets are read from it now and written
    // to it on every change. Empty: nothing is kept.
    void setSettingsPath(const QString& iniPath);
    QStringList savedSetNames() const;
    // Saves the current marks under a name (replacing a set of that name).
    bool saveSet(const QString& name);
    // Sets the marks of a saved set; false when there is none of that name.
    bool recallSet(const QString& name);
    void deleteSet(const QString& name);
    // Writes a saved set to a text file; false when it could not be written.
    bool exportSet(const QString& name, const QString& fileName);
    // Reads a set from a text file, saves it and recalls it. Entries this
    // catalogue lacks are left out; note() says which.
    bool importSet(const QString& fileName);
    // What the last recall, import or failure left to say, as shown under
    // the set buttons.
    QString note() const;
    // Dialog seams: tests replace them.
    std::function<QString(QWidget*, const QString& title, const QString& label, const QString& text)> askName;
    std::function<QString(QWidget*, const QString& caption, const QString& dir, const QString& filter)>
        saveFileDialog;
    std::function<QString(QWidget*, const QString& caption, const QString& dir, const QString& filter)>
        openFileDialog;

signals:
    void userSetAxisInfo();

protected slots:
    void OnCompSelectAll();
    void OnCompUnSelectAll();
    void OnLinkSelectAll();
    void OnLinkUnSelectAll();
    void OnEndSelectAll();
    void OnEndUnSelectAll();
    void OnOk();
    void OnCancle();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Ui;
    void setupUi();
    static void checkAll(TreeModel* model, QTreeView* view, const std::vector<int>& keys, bool on);

    std::unique_ptr<Ui> ui;
    std::unique_ptr<TreeModel> m_componentModel;
    std::unique_ptr<TreeModel> m_linkModel;
    std::unique_ptr<TreeModel> m_endEffectorModel;

    struct SavedSet
    {
        QString name;
        QStringList lines;
    };
    void setupSetRow();
    void storeSets() const;
    void refreshSetBox(const QString& current);
    void setNote(const QString& text);
    QString m_iniPath;
    QVector<SavedSet> m_sets;
    QComboBox* m_cmbSets = nullptr;
    QLabel* m_lbSetNote = nullptr;
};
