#include "views/Browser.h"

#include "base/Errors.h"
#include "base/Report.h"
#include "controls/DBGrid.h"
#include "store/DataModule6.h"
#include "store/engine/DataSource.h"
#include "store/engine/Field.h"

namespace varnel {

QString RecordQuestion(const QString& question, std::initializer_list<const TField*> fields,
                       const QString& after) {
    QString named;
    try {
        for (const TField* field : fields)
            named += QStringLiteral("\n%1: %2").arg(field->DisplayLabel(), field->DisplayText());
    } catch (const EVarnelError&) {
        named.clear();
    }
    return question + (named.isEmpty() ? QString() : QLatin1Char('\n') + named) + after;
}

void TBrowser::SetUpBrowser(TDBNavigator* navigator, TDBGrid* grid, QWidget* panel, Source source,
                            const QStringList& columns,
                            const QList<TDBNavigator::Button>& buttons) {
    SetOuterSize();
    m_navigator = navigator;
    m_grid = grid;
    m_source = source;
    m_columns = columns;
    navigator->SetVisibleButtons(buttons);
    navigator->SetFlat(true);
    Bind();
    connect(this, &TForm::OnShow, this, [this, panel] {
        Bind();
        // What another counter changed on the books' server shows at the opening.
        // A server that cannot be reached is said, and the browser opens on what it has.
        if (DataModule6)
            if (TDataSet* dataSet = (DataModule6->*m_source)->DataSet();
                dataSet && dataSet->Active())
                RunHandler([dataSet] { dataSet->Refresh(); });
        panel->setFocus();
    });
}

// The data module is made before the browsers; should it be missing, the first showing binds.
void TBrowser::Bind() {
    if (m_bound || !DataModule6)
        return;
    m_bound = true;
    TDataSource* source = DataModule6->*m_source;
    m_navigator->SetDataSource(source);
    m_grid->SetDataSource(source);
    m_grid->SetColumns(m_columns);
}

} // namespace varnel
