#include "controls/DBGrid.h"

#include "base/Report.h"
#include "store/engine/DataSource.h"
#include "store/engine/Field.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWheelEvent>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace varnel {

namespace {

// Room around a cell's text.
constexpr int kCellPadding = 12;

// The width of an average letter of the names and sides the tables hold.
int LetterWidth(const QFontMetrics& metrics) {
    static const QString sample = QStringLiteral("Иванов Пётр Сергеевич, Зенит и Локомотив");
    return (metrics.horizontalAdvance(sample) + int(sample.size()) - 1) / int(sample.size());
}

} // namespace

TDBGrid::TDBGrid(QWidget* parent)
    : QTableView(parent), m_model(new TDBGridModel(this)),
      m_bar(new QScrollBar(Qt::Vertical, this)) {
    m_model->SetLive(false); // until shown
    setModel(m_model);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setTabKeyNavigation(true);
    setShowGrid(true);
    setCornerButtonEnabled(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    QHeaderView* titles = horizontalHeader();
    titles->setSectionsClickable(false);
    titles->setSectionsMovable(false);
    titles->setSectionResizeMode(QHeaderView::Interactive);
    titles->setHighlightSections(false);
    titles->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(titles, &QHeaderView::sectionResized, this, [this] {
        if (!m_fitting)
            m_userSized = true;
    });

    const int rowHeight = fontMetrics().height() + 6;
    QHeaderView* indicator = verticalHeader();
    indicator->setSectionsClickable(false);
    indicator->setHighlightSections(false);
    indicator->setSectionResizeMode(QHeaderView::Fixed);
    indicator->setMinimumSectionSize(rowHeight);
    indicator->setDefaultSectionSize(rowHeight);
    indicator->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("▶")) + 8);
    indicator->viewport()->installEventFilter(this);

    // The view's own scroll bar would scroll the page, which always fits; ours stands for the
    // file and sits where the view's would.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    addScrollBarWidget(m_bar, Qt::AlignTop);
    verticalScrollBar()->hide();
    m_bar->setFocusPolicy(Qt::NoFocus);
    m_bar->setSingleStep(1);
    connect(m_bar, &QScrollBar::actionTriggered, this, &TDBGrid::ScrollBarAction);

    connect(m_model, &TDBGridModel::PageChanged, this, [this] {
        FollowCursor();
        UpdateScrollBar();
    });
    UpdateScrollBar();
}

void TDBGrid::SetDataSource(TDataSource* source) {
    m_model->SetDataSource(source);
}

void TDBGrid::SetColumns(const QStringList& fieldNames) {
    m_model->SetColumns(fieldNames);
    // Room for the title and for a typical value, as wide as the field's kind needs.
    const QFontMetrics metrics = fontMetrics();
    const QFontMetrics titleMetrics = horizontalHeader()->fontMetrics();
    const int digit = metrics.horizontalAdvance(QLatin1Char('0'));
    const int letter = LetterWidth(metrics);
    m_natural.clear();
    for (int column = 0; column < fieldNames.size(); ++column) {
        const TField* field = m_model->ColumnField(column);
        int width = digit * 10;
        if (field && field->DataType() == TFieldType::String)
            width = letter * std::clamp(field->Size(), 4, 25);
        else if (field && field->DataType() == TFieldType::Smallint)
            width = digit * 6;
        else if (field && field->DataType() == TFieldType::Integer)
            width = digit * 11;
        const QString title = m_model->headerData(column, Qt::Horizontal).toString();
        m_natural << std::max(width, titleMetrics.horizontalAdvance(title)) + kCellPadding;
    }
    m_userSized = false;
    FitColumns();
}

void TDBGrid::FitColumns() {
    // When the columns are wider than the grid, the text columns give up the room, down to a
    // dozen letters each, until the operator sizes a column himself.
    if (m_userSized || m_natural.size() != m_model->columnCount())
        return;
    QVector<int> widths = m_natural;
    const int narrowest = LetterWidth(fontMetrics()) * 12 + kCellPadding;
    int total = 0;
    int spare = 0;
    QVector<int> give(widths.size(), 0);
    for (int column = 0; column < widths.size(); ++column) {
        total += widths[column];
        const TField* field = m_model->ColumnField(column);
        if (field && field->DataType() == TFieldType::String)
            spare += give[column] = std::max(widths[column] - narrowest, 0);
    }
    const int excess = std::min(total - viewport()->width(), spare);
    if (excess > 0)
        for (int column = 0; column < widths.size(); ++column)
            widths[column] -= (excess * give[column] + spare - 1) / spare;
    m_fitting = true;
    for (int column = 0; column < widths.size(); ++column)
        setColumnWidth(column, widths[column]);
    m_fitting = false;
}

void TDBGrid::UpdatePageRows() {
    const int rowHeight = std::max(verticalHeader()->defaultSectionSize(), 1);
    m_model->SetPageRows(viewport()->height() / rowHeight);
}

void TDBGrid::FollowCursor() {
    QItemSelectionModel* selection = selectionModel();
    if (!selection)
        return;
    const int row = m_model->CurrentRow();
    if (row < 0 || m_model->columnCount() == 0) {
        selection->clear();
        return;
    }
    m_column = std::clamp(m_column, 0, m_model->columnCount() - 1);
    selection->setCurrentIndex(m_model->index(row, m_column), QItemSelectionModel::ClearAndSelect);
}

void TDBGrid::UpdateScrollBar() {
    const TDataSet* dataSet = m_model->DataSet();
    const std::int64_t count = dataSet && dataSet->Active() ? dataSet->EndKey() : 0;
    std::int64_t at = dataSet && dataSet->Active() ? dataSet->CurrentIndex() : -1;
    if (dataSet && dataSet->state() == TDataSet::State::Insert)
        at = count;
    const int maximum = int(std::min<std::int64_t>(std::max<std::int64_t>(count - 1, 0), INT_MAX));
    // Putting the thumb in place is no move of the operator's: no action may come of it.
    const QSignalBlocker quiet(m_bar);
    m_bar->setRange(0, maximum);
    m_bar->setPageStep(m_model->PageRows());
    m_bar->setValue(int(std::clamp<std::int64_t>(at, 0, maximum)));
    m_bar->setSliderPosition(m_bar->value());
    m_bar->setEnabled(count > 1);
}

void TDBGrid::MoveBy(int records) {
    if (TDataSet* dataSet = m_model->DataSet(); dataSet && dataSet->Active())
        dataSet->MoveBy(records);
}

void TDBGrid::MoveNear(std::int64_t index) {
    TDataSet* dataSet = m_model->DataSet();
    if (!dataSet || !dataSet->Active() || dataSet->EndKey() == 0)
        return;
    QVector<std::int64_t> near = dataSet->LiveForward(index, 1);
    if (near.isEmpty())
        near = dataSet->LiveBackward(index, 1);
    if (!near.isEmpty() &&
        (near.first() != dataSet->CurrentIndex() || dataSet->state() != TDataSet::State::Browse))
        dataSet->MoveTo(std::uint32_t(near.first()));
}

void TDBGrid::MoveToRow(int row) {
    TDataSet* dataSet = m_model->DataSet();
    if (!dataSet || !dataSet->Active() || row < 0 || row >= m_model->rowCount())
        return;
    const std::int64_t record = m_model->RecordAt(row);
    if (record < 0)
        return; // the pending new record is where the cursor is already
    if (record != dataSet->CurrentIndex() || dataSet->state() != TDataSet::State::Browse)
        dataSet->MoveTo(std::uint32_t(record));
    else
        FollowCursor();
}

void TDBGrid::MoveToColumn(int column) {
    if (m_model->columnCount() == 0)
        return;
    m_column = std::clamp(column, 0, m_model->columnCount() - 1);
    FollowCursor();
}

void TDBGrid::ScrollBarAction(int action) {
    RunHandler([&] {
        TDataSet* dataSet = m_model->DataSet();
        if (!dataSet || !dataSet->Active())
            return;
        switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            MoveBy(1);
            break;
        case QAbstractSlider::SliderSingleStepSub:
            MoveBy(-1);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            MoveBy(m_model->PageRows());
            break;
        case QAbstractSlider::SliderPageStepSub:
            MoveBy(-m_model->PageRows());
            break;
        case QAbstractSlider::SliderToMinimum:
            dataSet->First();
            break;
        case QAbstractSlider::SliderToMaximum:
            dataSet->Last();
            break;
        case QAbstractSlider::SliderMove:
            MoveNear(m_bar->sliderPosition());
            break;
        default:
            break;
        }
    });
    // The thumb shows where the cursor is, whatever the move came to.
    UpdateScrollBar();
}

void TDBGrid::keyPressEvent(QKeyEvent* event) {
    const bool control = event->modifiers() & Qt::ControlModifier;
    const int lastColumn = m_model->columnCount() - 1;
    TDataSet* dataSet = m_model->DataSet();
    bool handled = true;
    RunHandler([&] {
        switch (event->key()) {
        case Qt::Key_Up:
            MoveBy(-1);
            break;
        case Qt::Key_Down:
            MoveBy(1);
            break;
        case Qt::Key_PageUp:
            MoveBy(-m_model->PageRows());
            break;
        case Qt::Key_PageDown:
            MoveBy(m_model->PageRows());
            break;
        case Qt::Key_Home:
            if (control && dataSet && dataSet->Active())
                dataSet->First();
            else
                MoveToColumn(0);
            break;
        case Qt::Key_End:
            if (control && dataSet && dataSet->Active())
                dataSet->Last();
            else
                MoveToColumn(lastColumn);
            break;
        case Qt::Key_Left:
            MoveToColumn(m_column - 1);
            break;
        case Qt::Key_Right:
            MoveToColumn(m_column + 1);
            break;
        case Qt::Key_Tab:
            // Tab walks the columns, and from the last one on to the next record.
            if (m_column < lastColumn) {
                MoveToColumn(m_column + 1);
            } else if (dataSet && dataSet->Active() && m_model->CurrentRow() >= 0) {
                const std::int64_t from = dataSet->CurrentIndex();
                MoveBy(1);
                if (dataSet->CurrentIndex() != from)
                    MoveToColumn(0);
            }
            break;
        case Qt::Key_Backtab:
            if (m_column > 0) {
                MoveToColumn(m_column - 1);
            } else if (dataSet && dataSet->Active() && m_model->CurrentRow() >= 0) {
                const std::int64_t from = dataSet->CurrentIndex();
                MoveBy(-1);
                if (dataSet->CurrentIndex() != from)
                    MoveToColumn(lastColumn);
            }
            break;
        default:
            // Nothing typed reaches a cell; keys the grid does not use go to the window.
            handled = false;
            break;
        }
    });
    if (handled)
        event->accept();
    else
        event->ignore();
}

void TDBGrid::keyboardSearch(const QString& /*search*/) {
    // Typing must not move the current cell behind the cursor's back.
}

void TDBGrid::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    const QPoint at = event->position().toPoint();
    const int row = rowAt(at.y());
    const int column = columnAt(at.x());
    if (column >= 0)
        m_column = column;
    RunHandler([&] {
        if (row >= 0)
            MoveToRow(row);
        else
            FollowCursor();
    });
    event->accept();
}

void TDBGrid::mouseMoveEvent(QMouseEvent* event) {
    event->accept(); // no drag selection: one current cell, on the cursor's record
}

void TDBGrid::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept(); // no editor to open
}

void TDBGrid::wheelEvent(QWheelEvent* event) {
    m_wheel += event->angleDelta().y();
    const int notches = m_wheel / QWheelEvent::DefaultDeltasPerStep;
    m_wheel -= notches * QWheelEvent::DefaultDeltasPerStep;
    if (notches != 0)
        RunHandler([&] { MoveBy(-notches * QApplication::wheelScrollLines()); });
    if (event->angleDelta().x() != 0)
        QTableView::wheelEvent(event); // sideways still scrolls the columns
    event->accept();
}

void TDBGrid::focusOutEvent(QFocusEvent* event) {
    // Leaving the grid gives up a new record that nothing was typed into.
    TDataSet* dataSet = m_model->DataSet();
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason &&
        dataSet && dataSet->Active() && dataSet->state() == TDataSet::State::Insert &&
        !dataSet->Modified())
        RunHandler([&] { dataSet->Cancel(); });
    QTableView::focusOutEvent(event);
}

void TDBGrid::showEvent(QShowEvent* event) {
    QTableView::showEvent(event);
    verticalScrollBar()->hide();
    UpdatePageRows();
    m_model->SetLive(true);
    FollowCursor();
    UpdateScrollBar();
}

void TDBGrid::hideEvent(QHideEvent* event) {
    m_model->SetLive(false);
    QTableView::hideEvent(event);
}

bool TDBGrid::viewportEvent(QEvent* event) {
    const bool result = QTableView::viewportEvent(event);
    if (event->type() == QEvent::Resize) {
        FitColumns();
        UpdatePageRows();
    }
    return result;
}

bool TDBGrid::eventFilter(QObject* watched, QEvent* event) {
    // A press on the indicator column moves to that row, as a press on one of its cells does.
    if (watched == verticalHeader()->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() == Qt::LeftButton) {
            setFocus(Qt::MouseFocusReason);
            const int row = verticalHeader()->logicalIndexAt(press->position().toPoint().y());
            RunHandler([&] { MoveToRow(row); });
        }
        return true;
    }
    return QTableView::eventFilter(watched, event);
}

} // namespace varnel
