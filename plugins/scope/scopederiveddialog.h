// The dialog that edits the derived channels: a table of name, unit and
// expression, a menu that inserts a chosen channel's title in brackets, and
// a line that says why an expression was refused. OK keeps the dialog open
// until every row compiles against the chosen channels.
#pragma once

#include "scopederived.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTableWidget;

class ScopeDerivedDialog : public QDialog
{
    Q_OBJECT

public:
    // `chosen`: the channels the expressions may name; `known`: every title
    // of the catalogue.
    ScopeDerivedDialog(const QVector<scopederived::Definition>& definitions,
                       const QVector<scopederived::Source>& chosen, const QStringList& known,
                       QWidget* parent = nullptr);

    // The rows as they stand; rows with neither name nor expression are left out.
    QVector<scopederived::Definition> definitions() const;
    // Checks every row; on a refusal selects the row, puts the cursor at the
    // position in its expression and shows the reason. True when all compile.
    bool check();
    QString problemText() const;
    QTableWidget* table() const { return m_table; }

public slots:
    void accept() override;

private:
    void addRow(const scopederived::Definition& d);
    void insertChannel(const QString& title);

    QVector<scopederived::Source> m_chosen;
    QStringList m_known;
    QTableWidget* m_table = nullptr;
    QPushButton* m_btnInsert = nullptr;
    QPushButton* m_btnAdd = nullptr;
    QPushButton* m_btnRemove = nullptr;
    QLabel* m_lbProblem = nullptr;
};
