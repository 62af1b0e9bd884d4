#pragma once

#include "store/engine/DataSet.h"
#include "store/engine/DataSource.h"

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QVector>

#include <cstdint>

namespace varnel {

class TDataSource;
class TField;

// What a grid shows: one page of the table's live records around the current one, as many
// as fit the grid, read from the file when a cell is painted. Nothing here depends on the
// size of the table: a million records cost what ten do, and showing rows never moves the
// cursor or settles a pending record.
//
// The page follows the shared cursor: it keeps its first row while the current record stays
// on it, scrolls by the few rows a step needs, and jumps when the cursor does. A pending new
// record is shown as an extra row after the table's last records, where it will be written.
class TDBGridModel : public QAbstractTableModel, public TDataLink {
    Q_OBJECT
public:
    explicit TDBGridModel(QObject* parent = nullptr);
    ~TDBGridModel() override;

    void SetDataSource(TDataSource* source);
    TDataSource* DataSource() const { return m_source; }
    TDataSet* DataSet() const;

    // The fields shown, by name, in column order.
    void SetColumns(const QStringList& fieldNames);
    const QStringList& Columns() const { return m_columnNames; }
    TField* ColumnField(int column) const;

    // How many rows the page holds: the rows that fit the grid.
    void SetPageRows(int rows);
    int PageRows() const { return m_pageRows; }

    // While not live (its grid is hidden) the model only notes that the table changed and
    // rebuilds its page when it is live again, so a hidden browser costs nothing while a
    // settlement walks the bets.
    void SetLive(bool live);
    bool IsLive() const { return m_live; }

    // The stored record shown in a row; -1 for the pending new record and for no row.
    RecordKey RecordAt(int row) const;
    // The row of the current record, or of the pending new one; -1 when there is none.
    int CurrentRow() const { return m_currentRow; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void RecordChanged() override { Sync(); }
    void FieldChanged(TField* field) override;
    void StateChanged() override { Sync(); }
    void DataSetChanged() override;

signals:
    // The page was brought up to date: the grid puts its current cell on CurrentRow().
    void PageChanged();

private:
    void Sync();
    QVector<std::int64_t> ComputePage() const;
    QVector<std::int64_t> PageAround(std::int64_t current, int capacity) const;
    QVector<std::int64_t> PageEndingAt(std::int64_t last, int capacity) const;
    void FillBack(QVector<std::int64_t>& page, int capacity) const;
    void ApplyPage(const QVector<std::int64_t>& page);
    void ResolveFields();
    Variant ValueOf(std::int64_t key, const TField* field) const;

    QPointer<TDataSource> m_source;
    QStringList m_columnNames;
    QList<QPointer<TField>> m_fields;
    QVector<RecordKey> m_page; // the records shown, in the table's order; the pending row last
    int m_currentRow = -1;
    int m_pageRows = 1;
    bool m_live = true;
    bool m_stale = false;
};

} // namespace varnel
