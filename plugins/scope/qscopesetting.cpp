#include "qscopesetting.h"

#include "scopetreemodel.h"

#include <algorithm>

#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QSettings>
#include <QSpacerItem>
#include <QTreeView>
#include <QVBoxLayout>

struct QScopeSetting::Ui
{
    QVBoxLayout* verticalLayout = nullptr;
    QHBoxLayout* horizontalLayout = nullptr;
    QVBoxLayout* verticalLayout_2 = nullptr;
    QLabel* KDLX_Scope_label_SetComponent = nullptr;
    QTreeView* KDLX_Scope_tree_SetComponent = nullptr;
    QHBoxLayout* horizontalLayout_5 = nullptr;
    QPushButton* KDLX_Scope_btn_SetCompSelectAll = nullptr;
    QPushButton* KDLX_Scope_btn_SetCompUnSelectAll = nullptr;
    QVBoxLayout* verticalLayout_4 = nullptr;
    QLabel* KDLX_Scope_label_SetLink = nullptr;
    QTreeView* KDLX_Scope_tree_SetLink = nullptr;
    QHBoxLayout* horizontalLayout_4 = nullptr;
    QPushButton* KDLX_Scope_btn_SetLinkSelectAll = nullptr;
    QPushButton* KDLX_Scope_btn_SetLinkUnSelectAll = nullptr;
    QVBoxLayout* verticalLayout_3 = nullptr;
    QLabel* KDLX_Scope_label_SetEndEffector = nullptr;
    QTreeView* KDLX_Scope_tree_SetEndEffector = nullptr;
    QHBoxLayout* horizontalLayout_3 = nullptr;
    QPushButton* KDLX_Scope_btn_SetEndSelectAll = nullptr;
    QPushButton* KDLX_Scope_btn_SetEndUnSelectAll = nullptr;
    QHBoxLayout* horizontalLayout_2 = nullptr;
    QPushButton* KDLX_Scope_btn_SetOK = nullptr;
    QPushButton* KDLX_Scope_btn_SetCancel = nullptr;
};

namespace {

template <typename T>
T* named(T* object, const char* name)
{
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

QHBoxLayout* buttonRow(const char* name)
{
    auto* row = named(new QHBoxLayout(), name);
    row->setSpacing(6);
    row->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    return row;
}

// One catalogue entry per line, keys 0..n-1 in order; a missing key leaves an
// empty line, which the tree builder skips.
template <typename Map>
QString treeText(const Map& table)
{
    QString text;
    const int count = static_cast<int>(table.size());
    for (int i = 0; i < count; ++i) {
        const auto it = table.find(static_cast<typename Map::key_type>(i));
        if (it != table.end())
            text += it->second;
        text += QLatin1Char('\n');
    }
    return text;
}

} // namespace

QScopeSetting::QScopeSetting(QWidget* parent)
    : QWidget(parent), ui(new Ui)
{
    setupUi();
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);

    m_componentModel = std::make_unique<TreeModel>(tr("Component List"), treeText(ComponentNames()));
    m_linkModel = std::make_unique<TreeModel>(tr("Link Data Capture"), treeText(LinkNames()));
    m_endEffectorModel = std::make_unique<TreeModel>(tr("End Effector Data Capture"), treeText(EndEffectorNames()));

    ui->KDLX_Scope_tree_SetComponent->setModel(m_componentModel.get());
    ui->KDLX_Scope_tree_SetLink->setModel(m_linkModel.get());
    ui->KDLX_Scope_tree_SetEndEffector->setModel(m_endEffectorModel.get());

    connect(ui->KDLX_Scope_btn_SetCompSelectAll, &QPushButton::clicked, this, &QScopeSetting::OnCompSelectAll);
    connect(ui->KDLX_Scope_btn_SetCompUnSelectAll, &QPushButton::clicked, this, &QScopeSetting::OnCompUnSelectAll);
    connect(ui->KDLX_Scope_btn_SetLinkSelectAll, &QPushButton::clicked, this, &QScopeSetting::OnLinkSelectAll);
    connect(ui->KDLX_Scope_btn_SetLinkUnSelectAll, &QPushButton::clicked, this, &QScopeSetting::OnLinkUnSelectAll);
    connect(ui->KDLX_Scope_btn_SetEndSelectAll, &QPushButton::clicked, this, &QScopeSetting::OnEndSelectAll);
    connect(ui->KDLX_Scope_btn_SetEndUnSelectAll, &QPushButton::clicked, this, &QScopeSetting::OnEndUnSelectAll);
    connect(ui->KDLX_Scope_btn_SetOK, &QPushButton::clicked, this, &QScopeSetting::OnOk);
    connect(ui->KDLX_Scope_btn_SetCancel, &QPushButton::clicked, this, &QScopeSetting::OnCancle);

    askName = [](QWidget* p, const QString& title, const QString& label, const QString& text) {
        return QInputDialog::getText(p, title, label, QLineEdit::Normal, text);
    };
    saveFileDialog = [](QWidget* p, const QString& caption, const QString& dir, const QString& filter) {
        return QFileDialog::getSaveFileName(p, caption, dir, filter);
    };
    openFileDialog = [](QWidget* p, const QString& caption, const QString& dir, const QString& filter) {
        return QFileDialog::getOpenFileName(p, caption, dir, filter);
    };
    setupSetRow();
}

QScopeSetting::~QScopeSetting()
{
    // The views go with the widget tree after this body; detach them from
    // the models first, which are destroyed before the widget base.
    ui->KDLX_Scope_tree_SetComponent->setModel(nullptr);
    ui->KDLX_Scope_tree_SetLink->setModel(nullptr);
    ui->KDLX_Scope_tree_SetEndEffector->setModel(nullptr);
}

void QScopeSetting::setupUi()
{
    setObjectName(QStringLiteral("QScopeSetting"));
    resize(800, 600);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setWindowTitle(tr("QScopeSetting"));

    Ui& u = *ui;
    u.verticalLayout = named(new QVBoxLayout(this), "verticalLayout");
    u.verticalLayout->setSpacing(6);
    u.verticalLayout->setContentsMargins(11, 11, 11, 11);
    u.horizontalLayout = named(new QHBoxLayout(), "horizontalLayout");

    auto column = [this](const char* layoutName, QLabel*& label, const char* labelName, const QString& labelText,
                         QTreeView*& tree, const char* treeName, QHBoxLayout*& row, const char* rowName,
                         QPushButton*& selectAll, const char* selectAllName, QPushButton*& deselectAll,
                         const char* deselectAllName) {
        auto* layout = named(new QVBoxLayout(), layoutName);
        layout->setSpacing(6);
        label = named(new QLabel(labelText, this), labelName);
        tree = named(new QTreeView(this), treeName);
        row = buttonRow(rowName);
        selectAll = named(new QPushButton(tr("Select All"), this), selectAllName);
        deselectAll = named(new QPushButton(tr("Deselect All"), this), deselectAllName);
        row->addWidget(selectAll);
        row->addWidget(deselectAll);
        layout->addWidget(label);
        layout->addWidget(tree);
        layout->addLayout(row);
        return layout;
    };

    u.verticalLayout_2 = column("verticalLayout_2", u.KDLX_Scope_label_SetComponent, "KDLX_Scope_label_SetComponent",
                                tr("Component:"), u.KDLX_Scope_tree_SetComponent, "KDLX_Scope_tree_SetComponent",
                                u.horizontalLayout_5, "horizontalLayout_5", u.KDLX_Scope_btn_SetCompSelectAll,
                                "KDLX_Scope_btn_SetCompSelectAll", u.KDLX_Scope_btn_SetCompUnSelectAll,
                                "KDLX_Scope_btn_SetCompUnSelectAll");
    u.verticalLayout_4 = column("verticalLayout_4", u.KDLX_Scope_label_SetLink, "KDLX_Scope_label_SetLink",
                                tr("Link:"), u.KDLX_Scope_tree_SetLink, "KDLX_Scope_tree_SetLink",
                                u.horizontalLayout_4, "horizontalLayout_4", u.KDLX_Scope_btn_SetLinkSelectAll,
                                "KDLX_Scope_btn_SetLinkSelectAll", u.KDLX_Scope_btn_SetLinkUnSelectAll,
                                "KDLX_Scope_btn_SetLinkUnSelectAll");
    u.verticalLayout_3 = column("verticalLayout_3", u.KDLX_Scope_label_SetEndEffector,
                                "KDLX_Scope_label_SetEndEffector", tr("End Effector:"),
                                u.KDLX_Scope_tree_SetEndEffector, "KDLX_Scope_tree_SetEndEffector",
                                u.horizontalLayout_3, "horizontalLayout_3", u.KDLX_Scope_btn_SetEndSelectAll,
                                "KDLX_Scope_btn_SetEndSelectAll", u.KDLX_Scope_btn_SetEndUnSelectAll,
                                "KDLX_Scope_btn_SetEndUnSelectAll");
    u.horizontalLayout->addLayout(u.verticalLayout_2);
    u.horizontalLayout->addLayout(u.verticalLayout_4);
    u.horizontalLayout->addLayout(u.verticalLayout_3);
    u.verticalLayout->addLayout(u.horizontalLayout);

    u.horizontalLayout_2 = buttonRow("horizontalLayout_2");
    u.KDLX_Scope_btn_SetOK = named(new QPushButton(tr("OK"), this), "KDLX_Scope_btn_SetOK");
    u.KDLX_Scope_btn_SetCancel = named(new QPushButton(tr("Cancel"), this), "KDLX_Scope_btn_SetCancel");
    for (QPushButton* button : {u.KDLX_Scope_btn_SetOK, u.KDLX_Scope_btn_SetCancel}) {
        button->setMinimumSize(100, 0);
        button->setMaximumWidth(100);
        u.horizontalLayout_2->addWidget(button);
    }
    u.verticalLayout->addLayout(u.horizontalLayout_2);
}

void QScopeSetting::checkAll(TreeModel* model, QTreeView* view, const std::vector<int>& keys, bool on)
{
    for (int key : keys)
        model->setItemChecked(key, on);
    view->reset();
}

void QScopeSetting::OnCompSelectAll()
{
    checkAll(m_componentModel.get(), ui->KDLX_Scope_tree_SetComponent, componentKeys(), true);
}

void QScopeSetting::OnCompUnSelectAll()
{
    checkAll(m_componentModel.get(), ui->KDLX_Scope_tree_SetComponent, componentKeys(), false);
}

void QScopeSetting::OnLinkSelectAll()
{
    checkAll(m_linkModel.get(), ui->KDLX_Scope_tree_SetLink, linkKeys(), true);
}

void QScopeSetting::OnLinkUnSelectAll()
{
    checkAll(m_linkModel.get(), ui->KDLX_Scope_tree_SetLink, linkKeys(), false);
}

void QScopeSetting::OnEndSelectAll()
{
    checkAll(m_endEffectorModel.get(), ui->KDLX_Scope_tree_SetEndEffector, endEffectorKeys(), true);
}

void QScopeSetting::OnEndUnSelectAll()
{
    checkAll(m_endEffectorModel.get(), ui->KDLX_Scope_tree_SetEndEffector, endEffectorKeys(), false);
}

void QScopeSetting::OnOk()
{
    emit userSetAxisInfo();
    hide();
}

void QScopeSetting::OnCancle()
{
    hide();
}

void QScopeSetting::closeEvent(QCloseEvent* event)
{
    hide();
    event->ignore();
}

void QScopeSetting::setCheckedKeys(const std::map<emAXIS, int>& components, const std::map<emLINK, int>& links,
                                   const std::map<emENDEFF, int>& endEffectors)
{
    // An imported file shows recorded data, not a live selection: every check
    // mark is cleared so the next Start does not subscribe to stale channels.
    Q_UNUSED(components);
    Q_UNUSED(links);
    Q_UNUSED(endEffectors);
    OnCompUnSelectAll();
    OnLinkUnSelectAll();
    OnEndUnSelectAll();
    ui->KDLX_Scope_tree_SetComponent->reset();
    ui->KDLX_Scope_tree_SetLink->reset();
    ui->KDLX_Scope_tree_SetEndEffector->reset();
}

std::map<emAXIS, int> QScopeSetting::componentSelection() const
{
    std::map<emAXIS, int> selection;
    for (int id : m_componentModel->checkedIds())
        selection.emplace(static_cast<emAXIS>(id), id);
    return selection;
}

std::map<emLINK, int> QScopeSetting::linkSelection() const
{
    std::map<emLINK, int> selection;
    for (int id : m_linkModel->checkedIds())
        selection.emplace(static_cast<emLINK>(id), linkIndexBase(id).value_or(0));
    return selection;
}

std::map<emENDEFF, int> QScopeSetting::endEffectorSelection() const
{
    std::map<emENDEFF, int> selection;
    for (int id : m_endEffectorModel->checkedIds())
        selection.emplace(static_cast<emENDEFF>(id), endEffectorIndexBase(id).value_or(0));
    return selection;
}

// ---- saved channel sets ------------------------------------------------------

void QScopeSetting::setupSetRow()
{
    auto* row = named(new QHBoxLayout(), "ScopeSetting_layout_Sets");
    row->setSpacing(6);
    row->addWidget(named(new QLabel(tr("Channel set:"), this), "ScopeSetting_label_Sets"));
    m_cmbSets = named(new QComboBox(this), "ScopeSetting_cmb_Sets");
    m_cmbSets->setMinimumWidth(180);
    row->addWidget(m_cmbSets, 1);
    auto button = [this, row](const char* name, const QString& text) {
        auto* b = named(new QPushButton(text, this), name);
        row->addWidget(b);
        return b;
    };
    QPushButton* save = button("ScopeSetting_btn_SaveSet", tr("Save..."));
    QPushButton* recall = button("ScopeSetting_btn_RecallSet", tr("Recall"));
    QPushButton* remove = button("ScopeSetting_btn_DeleteSet", tr("Delete"));
    QPushButton* exportButton = button("ScopeSetting_btn_ExportSet", tr("Export..."));
    QPushButton* importButton = button("ScopeSetting_btn_ImportSet", tr("Import..."));
    m_lbSetNote = named(new QLabel(this), "ScopeSetting_label_SetNote");
    m_lbSetNote->setWordWrap(true);
    // Above the OK/Cancel row.
    const int at = ui->verticalLayout->indexOf(ui->horizontalLayout_2);
    ui->verticalLayout->insertLayout(at, row);
    ui->verticalLayout->insertWidget(at + 1, m_lbSetNote);

    connect(save, &QPushButton::clicked, this, [this] {
        const QString name =
            askName ? askName(this, tr("Save Channel Set"), tr("Name of the set:"), m_cmbSets->currentText())
                    : QString();
        if (!name.trimmed().isEmpty())
            saveSet(name.trimmed());
    });
    connect(recall, &QPushButton::clicked, this, [this] { recallSet(m_cmbSets->currentText()); });
    connect(remove, &QPushButton::clicked, this, [this] { deleteSet(m_cmbSets->currentText()); });
    connect(exportButton, &QPushButton::clicked, this, [this] {
        const QString name = m_cmbSets->currentText();
        if (name.isEmpty())
            return;
        const QString file = saveFileDialog ? saveFileDialog(this, tr("Export Channel Set"), name + QStringLiteral(".txt"),
                                                             tr("Channel set (*.txt)"))
                                            : QString();
        if (!file.isEmpty() && !exportSet(name, file))
            setNote(tr("The file %1 could not be written.").arg(file));
    });
    connect(importButton, &QPushButton::clicked, this, [this] {
        const QString file = openFileDialog ? openFileDialog(this, tr("Import Channel Set"), QStringLiteral("."),
                                                             tr("Channel set (*.txt)"))
                                            : QString();
        if (!file.isEmpty())
            importSet(file);
    });
}

scopechannelsets::Selection QScopeSetting::selection() const
{
    scopechannelsets::Selection s;
    auto ids = [](const TreeModel& model) {
        std::vector<int> out;
        for (int id : model.checkedIds())
            out.push_back(id);
        std::sort(out.begin(), out.end());
        return out;
    };
    s.components = ids(*m_componentModel);
    s.links = ids(*m_linkModel);
    s.endEffectors = ids(*m_endEffectorModel);
    return s;
}

void QScopeSetting::applySelection(const scopechannelsets::Selection& selection)
{
    auto apply = [](TreeModel* model, QTreeView* view, const std::vector<int>& all, const std::vector<int>& on) {
        for (int key : all)
            model->setItemChecked(key, std::find(on.begin(), on.end(), key) != on.end());
        view->reset();
    };
    apply(m_componentModel.get(), ui->KDLX_Scope_tree_SetComponent, componentKeys(), selection.components);
    apply(m_linkModel.get(), ui->KDLX_Scope_tree_SetLink, linkKeys(), selection.links);
    apply(m_endEffectorModel.get(), ui->KDLX_Scope_tree_SetEndEffector, endEffectorKeys(), selection.endEffectors);
}

void QScopeSetting::setSettingsPath(const QString& iniPath)
{
    m_iniPath = iniPath;
    m_sets.clear();
    if (!m_iniPath.isEmpty()) {
        QSettings ini(m_iniPath, QSettings::IniFormat);
        const int n = ini.beginReadArray(QStringLiteral("ScopeChannelSets"));
        for (int i = 0; i < n; ++i) {
            ini.setArrayIndex(i);
            const QString name = ini.value(QStringLiteral("name")).toString();
            if (!name.isEmpty())
                m_sets.append(SavedSet{name, ini.value(QStringLiteral("channels")).toStringList()});
        }
        ini.endArray();
    }
    refreshSetBox(QString());
}

void QScopeSetting::storeSets() const
{
    if (m_iniPath.isEmpty())
        return;
    QSettings ini(m_iniPath, QSettings::IniFormat);
    ini.remove(QStringLiteral("ScopeChannelSets"));
    ini.beginWriteArray(QStringLiteral("ScopeChannelSets"), m_sets.size());
    for (int i = 0; i < m_sets.size(); ++i) {
        ini.setArrayIndex(i);
        ini.setValue(QStringLiteral("name"), m_sets[i].name);
        ini.setValue(QStringLiteral("channels"), m_sets[i].lines);
    }
    ini.endArray();
    ini.sync();
}

void QScopeSetting::refreshSetBox(const QString& current)
{
    m_cmbSets->clear();
    for (const SavedSet& set : m_sets)
        m_cmbSets->addItem(set.name);
    const int at = m_cmbSets->findText(current);
    if (at >= 0)
        m_cmbSets->setCurrentIndex(at);
}

void QScopeSetting::setNote(const QString& text)
{
    m_lbSetNote->setText(text);
}

QString QScopeSetting::note() const
{
    return m_lbSetNote->text();
}

QStringList QScopeSetting::savedSetNames() const
{
    QStringList names;
    for (const SavedSet& set : m_sets)
        names << set.name;
    return names;
}

bool QScopeSetting::saveSet(const QString& name)
{
    if (name.isEmpty())
        return false;
    const QStringList lines = scopechannelsets::toLines(selection());
    auto it = std::find_if(m_sets.begin(), m_sets.end(), [&name](const SavedSet& s) { return s.name == name; });
    if (it != m_sets.end())
        it->lines = lines;
    else
        m_sets.append(SavedSet{name, lines});
    storeSets();
    refreshSetBox(name);
    setNote(tr("Saved the set %1.").arg(name));
    return true;
}

bool QScopeSetting::recallSet(const QString& name)
{
    auto it = std::find_if(m_sets.begin(), m_sets.end(), [&name](const SavedSet& s) { return s.name == name; });
    if (it == m_sets.end())
        return false;
    QStringList leftOut;
    applySelection(scopechannelsets::fromLines(it->lines, &leftOut));
    refreshSetBox(name);
    setNote(leftOut.isEmpty() ? QString()
                              : tr("Left out, not in this catalogue: %1").arg(leftOut.join(QStringLiteral(", "))));
    return true;
}

void QScopeSetting::deleteSet(const QString& name)
{
    m_sets.erase(std::remove_if(m_sets.begin(), m_sets.end(), [&name](const SavedSet& s) { return s.name == name; }),
                 m_sets.end());
    storeSets();
    refreshSetBox(QString());
    setNote(QString());
}

bool QScopeSetting::exportSet(const QString& name, const QString& fileName)
{
    auto it = std::find_if(m_sets.begin(), m_sets.end(), [&name](const SavedSet& s) { return s.name == name; });
    if (it == m_sets.end())
        return false;
    QStringList leftOut;
    const QString text = scopechannelsets::toText(name, scopechannelsets::fromLines(it->lines, &leftOut));
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}

bool QScopeSetting::importSet(const QString& fileName)
{
    QFile file(fileName);
    // A channel set is a few hundred bytes; anything far larger is no set.
    if (!file.open(QIODevice::ReadOnly) || file.size() > 1 << 20) {
        setNote(tr("The file %1 could not be read.").arg(fileName));
        return false;
    }
    QString name, error;
    scopechannelsets::Selection sel;
    QStringList leftOut;
    if (!scopechannelsets::fromText(QString::fromUtf8(file.readAll()), &name, &sel, &leftOut, &error)) {
        setNote(error);
        return false;
    }
    if (name.isEmpty())
        name = QFileInfo(fileName).completeBaseName();
    applySelection(sel);
    saveSet(name);
    setNote(leftOut.isEmpty() ? tr("Imported the set %1.").arg(name)
                              : tr("Imported the set %1. Left out, not in this catalogue: %2")
                                    .arg(name, leftOut.join(QStringLiteral(", "))));
    return true;
}
