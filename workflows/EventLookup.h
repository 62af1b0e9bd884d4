#pragma once

#include "store/Rules.h"
#include "store/engine/Variant.h"

#include <QLatin1String>
#include <QString>

class QLabel;
class QRadioButton;
class QWidget;

namespace varnel {

class TDataSet;
class TDBEdit;

// What the bet and the result dialogs share: the event found by the number the operator
// typed, its outcomes offered as three radio buttons, and the captions around them.

// Which half of the two-phase Ok button comes next.
enum class OkStep {
    FindsEvent = 0, // the number is looked up (and, in the result dialog, an outcome awaited)
    Commits = 2,    // an outcome was chosen: the work is written
};

// The two colours of the dialogs' captions, and the left edge captions go back to.
enum class LabelColour { Black, Red };
inline constexpr int kCaptionLeft = 10;

void SetFontColor(QLabel* label, LabelColour colour);
// A label fits its caption.
void SetCaption(QLabel* label, const QString& caption);
void SetLeft(QWidget* control, int left);

// The controls of the lookup, named alike in both dialogs.
struct LookupControls {
    QLabel* label1;
    QLabel* Label2;
    TDBEdit* EditNUMBER;
    QRadioButton* RadioButton1;
    QRadioButton* RadioButton2;
    QRadioButton* RadioButton3;
};

// The found event's outcomes on offer, none ticked, in place of the number box; the label
// above them says which event they belong to.
void OfferOutcomes(const LookupControls& controls, const TDataSet& events);
void HideOutcomes(const LookupControls& controls);

} // namespace varnel
