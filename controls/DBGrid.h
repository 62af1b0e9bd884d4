#pragma once

#include "controls/DBGridModel.h"

#include <QStringList>
#include <QTableView>
#include <QVector>

#include <cstdint>

class QScrollBar;

namespace varnel {

class TDataSource;

// A read-only grid over a data source: titles from the fields' display labels, a record
// indicator in the vertical header, resizable columns, and the keyboard, mouse wheel and
// scroll bar moving the shared cursor (each move settles a pending record first, as the
// dataset does). It accepts no typing and has no editor.
//
// The scroll bar stands for the file: its range is the records in the file and its thumb
// sits on the current one, so it needs no count of live records.
class TDBGrid : public QTableView {
    Q_OBJECT
public:
    explicit TDBGrid(QWidget* parent = nullptr);

    void SetDataSource(TDataSource* source);
    TDataSource* DataSource() const { return m_model->DataSource(); }
    void SetColumns(const QStringList& fieldNames);
    TDBGridModel* GridModel() const { return m_model; }
    QScrollBar* RecordScrollBar() const { return m_bar; }

    // What a move of n records does (negative: towards the start); stops at either end.
    void MoveBy(int records);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyboardSearch(const QString& search) override;

private:
    void FollowCursor();
    void FitColumns();
    void UpdateScrollBar();
    void UpdatePageRows();
    void MoveToRow(int row);
    void MoveToColumn(int column);
    void ScrollBarAction(int action);
    void MoveNear(std::int64_t index);

    TDBGridModel* m_model;
    QScrollBar* m_bar;
    int m_column = 0;
    int m_wheel = 0;        // wheel movement not yet turned into whole records
    QVector<int> m_natural; // the columns' widths before fitting them to the grid
    bool m_userSized = false;
    bool m_fitting = false;
};

} // namespace varnel
