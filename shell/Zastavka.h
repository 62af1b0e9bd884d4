#pragma once

#include "toolkit/Form.h"

#include <QStringList>

#include <memory>

class QMenu;

namespace Ui {
class TZastavka;
}

namespace varnel {

// The main window: a picture screen with five sport pictures drawn at random from seven,
// and the popup menu from which every other window is opened.
class TZastavka : public TForm {
    Q_OBJECT
public:
    explicit TZastavka(QWidget* parent = nullptr);
    ~TZastavka() override;

    QMenu* PopupMenu1() const { return m_popupMenu1; }
    // The file names of the five picture slots as last drawn.
    QStringList PictureSlots() const;
    // Who works at this counter, in the strip under the pictures: on shared books several
    // counters look alike but for it. Nothing shown for an empty name.
    void ShowOperator(const QString& name);
    // What the last action did that the operator should see (where a bet's slip went), in the
    // same strip, until the next action puts the operator's name back.
    void ShowStatus(const QString& text);

private:
    void prZastavka();
    void prMenu();
    void prExit();
    void prStavka();
    void prNewCompit();
    void prResult();
    void RefuseEventsAndResults();
    void prMoney();
    void prPayBySlip();
    void prSlipAgain();
    void prTable();
    void prTableStavka();
    void prCalendar();
    void prAbout();

    std::unique_ptr<Ui::TZastavka> ui;
    QMenu* m_popupMenu1;
    QString m_operator;
};

inline TZastavka* Zastavka = nullptr;

} // namespace varnel
