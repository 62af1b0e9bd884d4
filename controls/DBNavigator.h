#pragma once

#include "store/engine/DataSet.h"
#include "store/engine/DataSource.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>

class QToolButton;

namespace varnel {

class TDataSource;

// A row of buttons that drive a data source's dataset: moving to the first, prior, next or
// last record (each settles a pending record first, as the dataset does), beginning,
// removing, changing, writing or giving up a record. Which buttons are shown is set per
// window; the shown ones share the navigator's width. Removing asks first.
class TDBNavigator : public QWidget, public TDataLink {
    Q_OBJECT
public:
    enum class Button { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh };
    Q_ENUM(Button)
    static constexpr int kButtons = 10;

    explicit TDBNavigator(QWidget* parent = nullptr);
    ~TDBNavigator() override;

    void SetDataSource(TDataSource* source);
    TDataSource* DataSource() const { return m_source; }

    void SetVisibleButtons(const QList<Button>& buttons);
    QList<Button> VisibleButtons() const;
    // The button itself (its objectName is the button's name: "First", "Delete", ...).
    QToolButton* ButtonOf(Button button) const;

    // Tool tips, in Russian by default.
    void SetHint(Button button, const QString& hint);
    // Flat buttons, without the raised look until the mouse is over them.
    void SetFlat(bool flat);

    // Whether Delete asks first, and what: the question is built when it is asked, so it
    // can name the record.
    void SetConfirmDelete(bool confirm) { m_confirmDelete = confirm; }
    void SetDeleteQuestion(std::function<QString()> question);
    // What Delete does once confirmed, when it is more than removing the current record (paying
    // out a payout records it first, say).
    void SetDeleteAction(std::function<void()> action) { m_deleteAction = std::move(action); }

    // What a click on the button does.
    void BtnClick(Button button);

    void RecordChanged() override { UpdateButtons(); }
    void StateChanged() override { UpdateButtons(); }
    void DataSetChanged() override { UpdateButtons(); }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void UpdateButtons();
    void PaintGlyphs();
    bool AskDelete();

    QPointer<TDataSource> m_source;
    std::array<QToolButton*, kButtons> m_buttons{};
    bool m_confirmDelete = true;
    std::function<QString()> m_question;
    std::function<void()> m_deleteAction;
};

} // namespace varnel
