#include "controls/DBGrid.h"

#include "base/Errors.h"
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
#include <limits>

namespace varnel {

namespace {

// The key of the pending new record's row: after every stored record.
constexpr std::int64_t kPending = std::numeric_limits<std::int64_t>::max();

// Room around a cell's text.
constexpr int kCellPadding = 12;

QVector<std::int64_t> Reversed(QVector<std::int64_t> keys) {
    std::reverse(keys.begin(), keys.end());
    return keys;
}

// The width of an average letter of the names and sides the tables hold.
int LetterWidth(const QFontMetrics& metrics) {
    static const QString sample = QStringLiteral("Иванов Пётр Сергеевич, Зенит и Локомотив");
    return (metrics.horizontalAdvance(sample) + int(sample.size()) - 1) / int(sample.size());
}

bool IsNumber(TFieldType type) {
    return type == TFieldType::Smallint || type == TFieldType::Integer || type == TFieldType::Float;
}

} // namespace

TDBGridModel::TDBGridModel(QObject* parent) : QAbstractTableModel(parent) {}

TDBGridModel::~TDBGridModel() {
    if (m_source)
        m_source->RemoveLink(this);
}

void TDBGridModel::SetDataSource(TDataSource* source) {
    if (m_source == source)
        return;
    Relink(m_source, source, this);
    DataSetChanged();
}

TDataSet* TDBGridModel::DataSet() const {
    return m_source ? m_source->DataSet() : nullptr;
}

void TDBGridModel::SetColumns(const QStringList& fieldNames) {
    beginResetModel();
    m_page.clear();
    m_currentRow = -1;
    m_columnNames = fieldNames;
    ResolveFields();
    endResetModel();
    Sync();
}

void TDBGridModel::ResolveFields() {
    m_fields.clear();
    TDataSet* dataSet = DataSet();
    for (const QString& name : m_columnNames)
        m_fields << (dataSet ? dataSet->FindField(name) : nullptr);
}

TField* TDBGridModel::ColumnField(int column) const {
    return column >= 0 && column < m_fields.size() ? m_fields[column].data() : nullptr;
}

void TDBGridModel::SetPageRows(int rows) {
    rows = std::max(rows, 1);
    if (rows == m_pageRows)
        return;
    m_pageRows = rows;
    Sync();
}

void TDBGridModel::SetLive(bool live) {
    m_live = live;
    if (m_live && m_stale)
        Sync();
}

RecordKey TDBGridModel::RecordAt(int row) const {
    if (row < 0 || row >= m_page.size() || m_page[row] == kPending)
        return -1;
    return m_page[row];
}

int TDBGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_page.size());
}

int TDBGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_columnNames.size());
}

Qt::ItemFlags TDBGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

Variant TDBGridModel::ValueOf(std::int64_t key, const TField* field) const {
    TDataSet* dataSet = DataSet();
    // The pending record, new or being changed, is shown as it stands, not as it was stored.
    if (key == kPending ||
        (dataSet->state() == TDataSet::State::Edit && key == dataSet->CurrentIndex()))
        return dataSet->GetFieldValue(field->FieldName());
    if (key >= dataSet->EndKey())
        return {};
    return dataSet->ValueAt(std::uint32_t(key), field);
}

QVariant TDBGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_page.size() || index.column() >= m_fields.size())
        return {};
    const TField* field = m_fields[index.column()];
    TDataSet* dataSet = DataSet();
    if (!field || !dataSet || !dataSet->Active())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        try {
            const QString text = field->Text(ValueOf(m_page[index.row()], field));
            return role == Qt::DisplayRole ? QVariant(text) : QVariant();
        } catch (const EVarnelError& error) {
            // A damaged value shows as an empty cell that says why.
            return role == Qt::DisplayRole ? QVariant(QString()) : QVariant(error.message());
        }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignVCenter |
                                   (IsNumber(field->DataType()) ? Qt::AlignRight : Qt::AlignLeft));
    default:
        return {};
    }
}

QVariant TDBGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= m_columnNames.size())
            return {};
        if (role == Qt::DisplayRole) {
            const TField* field = ColumnField(section);
            return field ? field->DisplayLabel() : m_columnNames[section];
        }
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        return {};
    }
    if (section < 0 || section >= m_page.size())
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignCenter);
    if (role != Qt::DisplayRole)
        return {};
    if (section != m_currentRow)
        return QString();
    const TDataSet* dataSet = DataSet();
    if (dataSet && dataSet->state() == TDataSet::State::Insert)
        return QStringLiteral("*");
    if (dataSet && dataSet->state() == TDataSet::State::Edit)
        return QStringLiteral("I");
    return QStringLiteral("▶");
}

void TDBGridModel::FieldChanged(TField* /*field*/) {
    if (!m_live) {
        m_stale = true;
        return;
    }
    if (m_currentRow >= 0 && !m_fields.isEmpty())
        emit dataChanged(index(m_currentRow, 0), index(m_currentRow, int(m_fields.size()) - 1));
}

void TDBGridModel::DataSetChanged() {
    // Field objects of a dataset without its own are made when the table opens.
    bool moved = false;
    for (int i = 0; i < m_fields.size(); ++i) {
        TDataSet* dataSet = DataSet();
        TField* field = dataSet ? dataSet->FindField(m_columnNames[i]) : nullptr;
        moved = moved || field != m_fields[i];
    }
    if (moved) {
        ResolveFields();
        if (!m_fields.isEmpty())
            emit headerDataChanged(Qt::Horizontal, 0, int(m_fields.size()) - 1);
    }
    Sync();
}

QVector<std::int64_t> TDBGridModel::PageEndingAt(std::int64_t last, int capacity) const {
    const TDataSet& dataSet = *DataSet();
    QVector<std::int64_t> page = Reversed(dataSet.LiveBackward(last, capacity));
    if (page.size() < capacity && !page.isEmpty())
        page += dataSet.LiveForward(page.last() + 1, capacity - int(page.size()));
    return page;
}

void TDBGridModel::FillBack(QVector<std::int64_t>& page, int capacity) const {
    if (page.isEmpty() || page.size() >= capacity)
        return;
    page = Reversed(DataSet()->LiveBackward(page.first() - 1, capacity - int(page.size()))) + page;
}

QVector<std::int64_t> TDBGridModel::PageAround(std::int64_t current, int capacity) const {
    const TDataSet& dataSet = *DataSet();
    const std::int64_t top = !m_page.isEmpty() && m_page.first() != kPending ? m_page.first() : -1;
    QVector<std::int64_t> page;
    if (top >= 0 && top <= current) {
        page = dataSet.LiveForward(top, capacity);
        if (page.contains(current)) {
            FillBack(page, capacity);
            return page;
        }
        // A step or a few down: scroll by the rows it takes, the current record at the bottom.
        if (!page.isEmpty() && current > page.last()) {
            const QVector<std::int64_t> below = dataSet.LiveForward(page.last() + 1, capacity);
            const qsizetype at = below.indexOf(current);
            if (at >= 0) {
                page += below.mid(0, at + 1);
                return page.mid(page.size() - std::min<qsizetype>(page.size(), capacity));
            }
        }
        return PageEndingAt(current, capacity); // a jump forward
    }
    if (top > current) {
        // A step or a few up: the current record comes in at the top.
        const QVector<std::int64_t> above = dataSet.LiveBackward(top - 1, capacity);
        const qsizetype at = above.indexOf(current);
        if (at >= 0) {
            page = Reversed(above.mid(0, at + 1)) + dataSet.LiveForward(top, capacity);
            page.resize(std::min<qsizetype>(page.size(), capacity));
            return page;
        }
    }
    // A jump back, or the first page: the current record at the top.
    page = dataSet.LiveForward(current, capacity);
    FillBack(page, capacity);
    return page;
}

QVector<std::int64_t> TDBGridModel::ComputePage() const {
    TDataSet* dataSet = DataSet();
    if (!dataSet || !dataSet->Active() || m_fields.isEmpty())
        return {};
    const bool pending = dataSet->state() == TDataSet::State::Insert;
    const int capacity = m_pageRows - (pending ? 1 : 0);
    QVector<std::int64_t> page;
    if (capacity > 0) {
        if (pending) {
            const QVector<std::int64_t> last =
                dataSet->LiveBackward(std::int64_t(dataSet->EndKey()) - 1, 1);
            if (!last.isEmpty())
                page = PageEndingAt(last.first(), capacity);
        } else if (dataSet->CurrentIndex() >= 0) {
            page = PageAround(dataSet->CurrentIndex(), capacity);
        }
    }
    if (pending)
        page << kPending;
    return page;
}

void TDBGridModel::ApplyPage(const QVector<std::int64_t>& page) {
    // Both pages are in file order, so a merge tells the rows that left from the ones that
    // came; the views (and the model checker) see each removal and insertion as it is.
    QVector<int> leaving;
    QVector<int> coming;
    for (qsizetype o = 0, n = 0; o < m_page.size() || n < page.size();) {
        if (n == page.size() || (o < m_page.size() && m_page[o] < page[n]))
            leaving << int(o++);
        else if (o == m_page.size() || page[n] < m_page[o])
            coming << int(n++);
        else
            ++o, ++n;
    }
    for (qsizetype i = leaving.size(); i > 0;) {
        const int last = leaving[--i];
        int first = last;
        while (i > 0 && leaving[i - 1] == first - 1)
            first = leaving[--i];
        beginRemoveRows({}, first, last);
        m_page.remove(first, last - first + 1);
        endRemoveRows();
    }
    for (qsizetype i = 0; i < coming.size();) {
        const int first = coming[i];
        int last = first;
        while (i + 1 < coming.size() && coming[i + 1] == last + 1)
            last = coming[++i];
        ++i;
        beginInsertRows({}, first, last);
        for (int row = first; row <= last; ++row)
            m_page.insert(row, page[row]);
        endInsertRows();
    }
}

void TDBGridModel::Sync() {
    if (!m_live) {
        m_stale = true;
        return;
    }
    m_stale = false;
    QVector<std::int64_t> page;
    try {
        page = ComputePage();
    } catch (const EVarnelError&) {
        // This runs inside the dataset's own operations: an error reading the file must not
        // break off a Post or a Delete half done. The grid shows nothing until the next change;
        // the operation that reads the file for real reports it.
        page.clear();
    }
    ApplyPage(page);
    const TDataSet* dataSet = DataSet();
    if (dataSet && dataSet->Active() && dataSet->state() == TDataSet::State::Insert)
        m_currentRow = int(m_page.size()) - 1;
    else
        m_currentRow = dataSet ? int(m_page.indexOf(dataSet->CurrentIndex())) : -1;
    if (!m_page.isEmpty()) {
        // Values may have changed under unchanged rows (a posted change) and the marker moves.
        emit dataChanged(index(0, 0), index(int(m_page.size()) - 1, columnCount() - 1));
        emit headerDataChanged(Qt::Vertical, 0, int(m_page.size()) - 1);
    }
    emit PageChanged();
}

// ---------------------------------------------------------------------------------------

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
