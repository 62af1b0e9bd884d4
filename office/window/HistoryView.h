#pragma once

#include "office/books/HistoryModel.h"
#include "office/window/OfficeView.h"

#include <QTimer>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QTableView;
class QToolButton;

namespace varnel::office {

// Every history record, newest first, with filters by days, client, event, kind of record and
// the operator who wrote it, sorted by any column; with a client asked for, what they are owed
// now and were paid.
class HistoryView : public OfficeView {
    Q_OBJECT
public:
    explicit HistoryView(QWidget* parent = nullptr);

    void SetBooks(std::shared_ptr<const Books> books) override;
    QString Title() const override;
    const QAbstractItemModel* ExportModel() const override { return m_model; }
    QString Report() const override;
    QString FileStem() const override { return QStringLiteral("история"); }

    HistoryModel* Model() const { return m_model; }
    QTableView* Table() const { return m_table; }
    // The filter as the boxes say it, put to work now rather than after the typing pause.
    void ApplyFilter();
    HistoryFilter FilterOfBoxes() const;
    // The history record of the current row when it enters a result; -1 otherwise.
    std::int64_t CurrentResultRecord() const;
    // The operators the history names, offered by the operator's filter after «Все»; the one
    // chosen stays chosen (and offered) while the list changes under it.
    void SetOperators(const QStringList& operators);

signals:
    void CurrentChanged();

private:
    void FilterEdited();
    void QueryShown();
    void UpdateCount();
    void UpdateClientLine();
    void ResetFilter();

    HistoryModel* m_model;
    QTableView* m_table;
    QCheckBox* m_fromOn;
    QDateEdit* m_from;
    QCheckBox* m_toOn;
    QDateEdit* m_to;
    QLineEdit* m_client;
    QLineEdit* m_event;
    QLineEdit* m_serial;
    QComboBox* m_kind;
    QComboBox* m_kassir;
    QToolButton* m_reset;
    QLabel* m_clientLine;
    QLabel* m_count;
    QTimer m_typing;
};

} // namespace varnel::office
