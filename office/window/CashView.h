#pragma once

#include "office/books/Figures.h"
#include "office/window/OfficeView.h"

#include <QAbstractTableModel>

class QDateEdit;
class QLabel;
class QSortFilterProxyModel;
class QTabWidget;
class QTableView;

namespace varnel::office {

// The lines of a cash report (by event or by day), one column per figure.
class CashModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CashModel(const QString& firstTitle, QObject* parent = nullptr);
    void SetLines(const QList<CashLine>& lines, const Cash& total);
    const QList<CashLine>& Lines() const { return m_lines; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QString m_firstTitle;
    QList<CashLine> m_lines;
    Cash m_total;
};

// The day's cash (or a range of days'): stakes taken, payouts owed, payouts paid and the
// balance of the till, in all and per event and per day.
class CashView : public OfficeView {
    Q_OBJECT
public:
    explicit CashView(QWidget* parent = nullptr);

    void SetBooks(std::shared_ptr<const Books> books) override;
    QString Title() const override;
    const QAbstractItemModel* ExportModel() const override;
    QString Report() const override;
    QString FileStem() const override;

    void SetDays(const QDate& from, const QDate& to);
    const CashReport& Figures() const { return m_report; }
    CashModel* ByEvent() const { return m_byEvent; }
    CashModel* ByDay() const { return m_byDay; }

private:
    void FromChanged();
    void ToChanged();
    void ShowToday();
    void ShowThisMonth();
    void Recompute();
    QString Period() const;
    QString Unreadable() const;

    std::shared_ptr<const Books> m_books;
    CashReport m_report;
    QDateEdit* m_from;
    QDateEdit* m_to;
    QLabel* m_stakes;
    QLabel* m_owed;
    QLabel* m_paid;
    QLabel* m_balance;
    QLabel* m_period;
    QTabWidget* m_tabs;
    CashModel* m_byEvent;
    CashModel* m_byDay;
    QSortFilterProxyModel* m_byEventSorted;
    QSortFilterProxyModel* m_byDaySorted;
};

} // namespace varnel::office
