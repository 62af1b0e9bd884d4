#pragma once

#include "controls/DBNavigator.h"
#include "toolkit/Form.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <initializer_list>

namespace varnel {

class TDBGrid;
class TField;
class TDataModule6;
class TDataSource;

// The question asked before the current record goes for good: `question`, then each field's
// label and text on the current record, then `after`. A damaged record is still asked about;
// the question then names none of its fields.
QString RecordQuestion(const QString& question, std::initializer_list<const TField*> fields,
                       const QString& after = {});

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
