#pragma once

#include "office/window/OfficeView.h"
#include "store/Reading.h"

#include <QAbstractTableModel>

class QLabel;
class QSortFilterProxyModel;
class QTableView;

namespace varnel::office {

// One open event a row: the stakes taken on it, what each outcome would cost, the riskiest.
class RiskModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        Number,
        Date,
        Kom1,
        Kom2,
        Bets,
        Stakes,
        Pays1,
        Pays2,
        PaysDraw,
        Riskiest,
        WorstResult,
        Columns
    };
    using QAbstractTableModel::QAbstractTableModel;
    void SetRisks(const QList<EventRisk>& risks);
    const QList<EventRisk>& Risks() const { return m_risks; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QList<EventRisk> m_risks;
};

// The same as bars: per event what each outcome would cost, the stakes taken on it as a line
// across them, the riskiest outcome in red.
class RiskChart : public QWidget {
    Q_OBJECT
public:
    explicit RiskChart(QWidget* parent = nullptr);
    void SetRisks(const QList<EventRisk>& risks);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<EventRisk> m_risks;
};

class RiskView : public OfficeView {
    Q_OBJECT
public:
    explicit RiskView(QWidget* parent = nullptr);

    void SetBooks(std::shared_ptr<const Books> books) override;
    QString Title() const override;
    const QAbstractItemModel* ExportModel() const override;
    QString Report() const override;
    QList<QPair<QString, QImage>> ReportImages() const override;
    QString FileStem() const override { return QStringLiteral("риск"); }

    RiskModel* Model() const { return m_model; }
    RiskChart* Chart() const { return m_chart; }

private:
    RiskModel* m_model;
    QSortFilterProxyModel* m_sorted;
    QTableView* m_table;
    RiskChart* m_chart;
    QLabel* m_summary;
};

} // namespace varnel::office
