#include "scopederiveddialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
enum Column { kName = 0, kUnit = 1, kExpression = 2 };
}

ScopeDerivedDialog::ScopeDerivedDialog(const QVector<scopederived::Definition>& definitions,
                                       const QVector<scopederived::Source>& chosen, const QStringList& known,
                                       QWidget* parent)
    : QDialog(parent)
    , m_chosen(chosen)
    , m_known(known)
{
    setObjectName(QStringLiteral("ScopeDerivedDialog"));
    setWindowTitle(tr("Derived Channels"));
    resize(860, 420);

    auto* layout = new QVBoxLayout(this);
    auto* help = new QLabel(tr("Name the chosen channels by their titles in brackets, e.g. "
                               "[J1 Target ACS] - [J1 Actual ACS]. Functions: deriv(x) (change per second), "
                               "movavg(x, n) (mean of the last n rows), abs, sqrt, sin, cos, exp, log, min, max; "
                               "operators + - * / ^ and comparisons."),
                            this);
    help->setObjectName(QStringLiteral("ScopeDerived_label_Help"));
    help->setWordWrap(true);
    layout->addWidget(help);

    m_table = new QTableWidget(0, 3, this);
    m_table->setObjectName(QStringLiteral("ScopeDerived_table"));
    m_table->setHorizontalHeaderLabels({tr("Name"), tr("Unit"), tr("Expression")});
    m_table->horizontalHeader()->setSectionResizeMode(kExpression, QHeaderView::Stretch);
    m_table->setColumnWidth(kName, 160);
    m_table->setColumnWidth(kUnit, 90);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    layout->addWidget(m_table, 1);

    auto* row = new QHBoxLayout;
    m_btnAdd = new QPushButton(tr("Add"), this);
    m_btnAdd->setObjectName(QStringLiteral("ScopeDerived_btn_Add"));
    m_btnRemove = new QPushButton(tr("Remove"), this);
    m_btnRemove->setObjectName(QStringLiteral("ScopeDerived_btn_Remove"));
    // A menu rather than a box: typing in a box would insert as it searches.
    m_btnInsert = new QPushButton(tr("Insert channel..."), this);
    m_btnInsert->setObjectName(QStringLiteral("ScopeDerived_btn_Insert"));
    auto* menu = new QMenu(m_btnInsert);
    for (const scopederived::Source& s : m_chosen) {
        const QString title = s.title.trimmed();
        menu->addAction(title, this, [this, title] { insertChannel(title); });
    }
    m_btnInsert->setMenu(menu);
    m_btnInsert->setEnabled(!m_chosen.isEmpty());
    row->addWidget(m_btnAdd);
    row->addWidget(m_btnRemove);
    row->addStretch(1);
    row->addWidget(m_btnInsert);
    layout->addLayout(row);

    m_lbProblem = new QLabel(this);
    m_lbProblem->setObjectName(QStringLiteral("ScopeDerived_label_Problem"));
    m_lbProblem->setWordWrap(true);
    m_lbProblem->setStyleSheet(QStringLiteral("color: #b00000;"));
    layout->addWidget(m_lbProblem);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &ScopeDerivedDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ScopeDerivedDialog::reject);
    connect(m_btnAdd, &QPushButton::clicked, this, [this] {
        if (m_table->rowCount() < scopederived::kMaxChannels) {
            addRow(scopederived::Definition());
            // Straight into typing the name; Tab leads on to unit and expression.
            m_table->setFocus();
            m_table->editItem(m_table->item(m_table->rowCount() - 1, kName));
        }
        m_btnAdd->setEnabled(m_table->rowCount() < scopederived::kMaxChannels);
    });
    connect(m_btnRemove, &QPushButton::clicked, this, [this] {
        const int r = m_table->currentRow();
        if (r >= 0)
            m_table->removeRow(r);
        m_btnAdd->setEnabled(m_table->rowCount() < scopederived::kMaxChannels);
    });

    for (const scopederived::Definition& d : definitions.mid(0, scopederived::kMaxChannels))
        addRow(d);
    m_btnAdd->setEnabled(m_table->rowCount() < scopederived::kMaxChannels);
}

void ScopeDerivedDialog::addRow(const scopederived::Definition& d)
{
    const int r = m_table->rowCount();
    m_table->insertRow(r);
    m_table->setItem(r, kName, new QTableWidgetItem(d.name));
    m_table->setItem(r, kUnit, new QTableWidgetItem(d.unit));
    m_table->setItem(r, kExpression, new QTableWidgetItem(d.expression));
    m_table->setCurrentCell(r, kName);
}

void ScopeDerivedDialog::insertChannel(const QString& title)
{
    int r = m_table->currentRow();
    if (r < 0) {
        if (m_table->rowCount() >= scopederived::kMaxChannels)
            return;
        addRow(scopederived::Definition());
        r = m_table->rowCount() - 1;
    }
    QTableWidgetItem* item = m_table->item(r, kExpression);
    const QString piece = QLatin1Char('[') + title + QLatin1Char(']');
    item->setText(item->text().isEmpty() ? piece : item->text() + QLatin1Char(' ') + piece);
}

QVector<scopederived::Definition> ScopeDerivedDialog::definitions() const
{
    QVector<scopederived::Definition> out;
    for (int r = 0; r < m_table->rowCount(); ++r) {
        auto text = [this, r](int c) { return m_table->item(r, c) ? m_table->item(r, c)->text().trimmed() : QString(); };
        scopederived::Definition d{text(kName), text(kUnit), text(kExpression)};
        if (d.name.isEmpty() && d.expression.isEmpty())
            continue;
        out.append(d);
    }
    return out;
}

bool ScopeDerivedDialog::check()
{
    // Rows are checked as the table shows them, so the row and position
    // named are the ones the user sees.
    QStringList names;
    for (int r = 0; r < m_table->rowCount(); ++r) {
        auto text = [this, r](int c) { return m_table->item(r, c) ? m_table->item(r, c)->text() : QString(); };
        const scopederived::Definition d{text(kName).trimmed(), text(kUnit).trimmed(), text(kExpression)};
        if (d.name.isEmpty() && d.expression.trimmed().isEmpty())
            continue;
        scopederived::Problem problem;
        bool ok = scopederived::ScopeDerivedSet::check(d, m_chosen, m_known, &problem);
        if (ok && names.contains(d.name)) {
            ok = false;
            problem = scopederived::Problem{-1, tr("two derived channels are called %1").arg(d.name)};
        }
        names << d.name;
        if (ok)
            continue;
        m_table->setCurrentCell(r, problem.position < 0 ? kName : kExpression);
        if (problem.position < 0) {
            m_lbProblem->setText(tr("Row %1: %2").arg(r + 1).arg(problem.reason));
        } else {
            m_lbProblem->setText(tr("Row %1, position %2: %3").arg(r + 1).arg(problem.position + 1).arg(problem.reason));
            // Open the cell with the cursor where the fault is.
            m_table->editItem(m_table->item(r, kExpression));
            // The editor selects its text as it takes the focus; the
            // cursor is placed after that.
            const int pos = problem.position;
            for (QLineEdit* edit : m_table->viewport()->findChildren<QLineEdit*>()) {
                if (edit->isVisible()) {
                    edit->setCursorPosition(pos);
                    QMetaObject::invokeMethod(
                        edit, [edit, pos] { edit->setCursorPosition(pos); }, Qt::QueuedConnection);
                }
            }
        }
        return false;
    }
    m_lbProblem->clear();
    return true;
}

QString ScopeDerivedDialog::problemText() const
{
    return m_lbProblem->text();
}

void ScopeDerivedDialog::accept()
{
    if (check())
        QDialog::accept();
}
