#include "workflows/EventLookup.h"

#include "controls/DBEdit.h"
#include "store/Tables.h"
#include "store/engine/DataSet.h"

#include <QLabel>
#include <QPalette>
#include <QRadioButton>

namespace varnel {

namespace {

// Side names are shown as typed: an ampersand is not a shortcut mark.
QString ButtonText(const QString& caption) {
    QString text = caption;
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

void SetFontColor(QLabel* label, LabelColour colour) {
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, colour == LabelColour::Red ? Qt::red : Qt::black);
    label->setPalette(colours);
}

void SetCaption(QLabel* label, const QString& caption) {
    label->setText(caption);
    label->adjustSize();
}

void SetLeft(QWidget* control, int left) {
    control->move(left, control->y());
}

void OfferOutcomes(const LookupControls& c, const TDataSet& events) {
    c.EditNUMBER->hide();
    c.Label2->show();
    for (QRadioButton* button : {c.RadioButton1, c.RadioButton2, c.RadioButton3}) {
        button->show();
        // One ticked button of a group cannot be unticked while the group is exclusive, and
        // clearing the ticks must not count as a choice.
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
    }
    c.RadioButton1->setText(ButtonText(events.GetFieldValue(fields::KOM1).toString()));
    c.RadioButton2->setText(ButtonText(events.GetFieldValue(fields::KOM2).toString()));
    c.RadioButton3->setText(DrawName());
    SetCaption(c.label1, QStringLiteral("Номер события = ") + c.EditNUMBER->GetEditText());
    SetCaption(c.Label2, QStringLiteral("Результат"));
    SetLeft(c.label1, kCaptionLeft);
    SetLeft(c.Label2, kCaptionLeft);
}

void HideOutcomes(const LookupControls& c) {
    for (QRadioButton* button : {c.RadioButton1, c.RadioButton2, c.RadioButton3})
        button->hide();
}

} // namespace varnel
