#pragma once

#include <functional>

#include "office/window/OfficeView.h"
#include "store/Questions.h"
#include "store/Reading.h"
#include "store/Source.h"

#include <QAbstractTableModel>

class QDateEdit;
class QLabel;
class QSortFilterProxyModel;
class QTabWidget;
class QTableView;

namespace varnel::office {

// The lines of a cash report (by event, by day or by operator), one column per figure; a till
// shows only what passed through the till (the stakes, the payouts paid, the balance) and ends
// with the line of them all, kept last however the lines are sorted (TotalRole).
class CashModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum class Shows { Everything, Till };
    static constexpr int TotalRole = Qt::UserRole + 40;

    explicit CashModel(const QString& firstTitle, Shows shows = Shows::Everything,
                       QObject* parent = nullptr);
    void SetLines(const QList<CashLine>& lines, const Cash& total);
    const QList<CashLine>& Lines() const { return m_lines; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    bool TotalRow(int row) const { return m_shows == Shows::Till && row == m_lines.size(); }

    QString m_firstTitle;
    Shows m_shows;
    QList<int> m_columns; // the figures shown, in order
    QList<CashLine> m_lines;
    Cash m_total;
};

// The day's cash (or a range of days'): stakes taken, payouts owed, payouts paid and the
// balance of the till, in all and per event and per day; and each operator's till.
class CashView : public OfficeView {
    Q_OBJECT
public:
    explicit CashView(QWidget* parent = nullptr);

    void SetBooks(std::shared_ptr<const Books> books) override;
    QString Title() const override;
    const QAbstractItemModel* ExportModel() const override;
    // The day report: the figures, and the history's head with its QR code.
    QString Report() const override;
    QList<QPair<QString, QImage>> ReportImages() const override;
    QString FileStem() const override;

    // The history's chain as last checked, for the report.
    void SetChain(const ChainCheck& check);
    void SetDays(const QDate& from, const QDate& to);
    const CashReport& Figures() const { return m_report; }
    // The figures asked of the books (BooksSource::Cash), off the window's thread: `ask` calls
    // `answered` on the window's thread with the cash of the days, or with why there is none.
    // None: no figures.
    using CashAnswer = std::function<void(const CashReport& report, const QString& error)>;
    using CashAsker = std::function<void(const QDate& from, const QDate& to, CashAnswer answered)>;
    void SetAsker(CashAsker asker);
    // A question to the books is under way; FiguresShown tells its end.
    bool Busy() const { return m_asking; }
    CashModel* ByEvent() const { return m_byEvent; }
    CashModel* ByDay() const { return m_byDay; }
    CashModel* ByOperator() const { return m_byOperator; }
    // The tab of the tables shown (by event, by day, by operator), as exported.
    void ShowTable(int tab);

signals:
    void FiguresShown();

private:
    void FromChanged();
    void ToChanged();
    void ShowToday();
    void ShowThisMonth();
    void Recompute();
    void Present();
    QString Period() const;
    QString Unreadable() const;

    std::shared_ptr<const Books> m_books;
    CashReport m_report;
    ChainCheck m_chain;
    CashAsker m_asker;
    bool m_asking = false;
    bool m_askAgain = false; // the days or the books changed while a question was under way
    int m_generation = 0;
    QDateEdit* m_from;
    QDateEdit* m_to;
    QLabel* m_stakes;
    QLabel* m_refunded;
    QLabel* m_owed;
    QLabel* m_paid;
    QLabel* m_balance;
    QLabel* m_period;
    QTabWidget* m_tabs;
    CashModel* m_byEvent;
    CashModel* m_byDay;
    CashModel* m_byOperator;
    QSortFilterProxyModel* m_byEventSorted;
    QSortFilterProxyModel* m_byDaySorted;
    QSortFilterProxyModel* m_byOperatorSorted;
};

} // namespace varnel::office
