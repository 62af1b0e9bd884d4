#pragma once

#include "controls/DBNavigator.h"
#include "toolkit/Form.h"

#include <QList>
#include <QStringList>

namespace varnel {

class TDBGrid;
class TDataModule6;
class TDataSource;

// What the three browsers share: a navigator and a read-only grid over one data source of
// the data module, the panel that holds the focus at opening, and the window's outer size.
class TBrowser : public TForm {
    Q_OBJECT
public:
    explicit TBrowser(QWidget* parent = nullptr) : TForm(parent) {}

protected:
    using Source = TDataSource* TDataModule6::*;
    // Called once the window's controls are built; the window's size in its stored description
    // is its outer size, frame included.
    void SetUpBrowser(TDBNavigator* navigator, TDBGrid* grid, QWidget* panel, Source source,
                      const QStringList& columns, const QList<TDBNavigator::Button>& buttons);

private:
    void Bind();

    TDBNavigator* m_navigator = nullptr;
    TDBGrid* m_grid = nullptr;
    Source m_source = nullptr;
    QStringList m_columns;
    bool m_bound = false;
};

} // namespace varnel
