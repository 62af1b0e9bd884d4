#pragma once

#include "store/Reading.h"

#include <QImage>
#include <QList>
#include <QPair>
#include <QString>
#include <QWidget>

#include <memory>

class QAbstractItemModel;

namespace varnel::office {

// One view of the main window: shown over a reading of the books, exported as CSV (the table
// in front), printed as a report.
class OfficeView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    virtual void SetBooks(std::shared_ptr<const Books> books) = 0;
    virtual QString Title() const = 0;
    // The table exported, as shown (filtered and sorted).
    virtual const QAbstractItemModel* ExportModel() const = 0;
    virtual QString Report() const = 0;
    // The pictures the report's HTML names (<img src="NAME">).
    virtual QList<QPair<QString, QImage>> ReportImages() const { return {}; }
    // The file name a CSV or PDF of this view is offered under, without its extension.
    virtual QString FileStem() const = 0;
};

} // namespace varnel::office
