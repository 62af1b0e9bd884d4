#include "controls/DBNavigator.h"

#include "base/Errors.h"
#include "base/Report.h"
#include "controls/DBGrid.h"
#include "store/engine/DataSource.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QMetaEnum>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QToolButton>

namespace varnel {

namespace {

using Button = TDBNavigator::Button;

const char* const kHints[TDBNavigator::kButtons] = {
    "Первая запись",      "Предыдущая запись", "Следующая запись", "Последняя запись",
    "Вставить запись",    "Удалить запись",    "Изменить запись",  "Сохранить изменения",
    "Отменить изменения", "Обновить данные",
};

constexpr int kGlyph = 16;

// The button's picture, drawn in the colour of button text: the navigator has no bitmaps.
QPixmap Glyph(Button button, const QColor& colour, qreal ratio) {
    QPixmap pixmap(QSize(kGlyph, kGlyph) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    const auto left = [&](qreal x) {
        painter.drawPolygon(QPolygonF({QPointF(x, 8), QPointF(x + 6, 3), QPointF(x + 6, 13)}));
    };
    const auto right = [&](qreal x) {
        painter.drawPolygon(QPolygonF({QPointF(x + 6, 8), QPointF(x, 3), QPointF(x, 13)}));
    };
    QPen line(colour, 2.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    switch (button) {
    case Button::First:
        painter.drawRect(QRectF(4, 3, 2, 10));
        left(6.5);
        break;
    case Button::Prior:
        left(5);
        break;
    case Button::Next:
        right(5);
        break;
    case Button::Last:
        right(3.5);
        painter.drawRect(QRectF(10, 3, 2, 10));
        break;
    case Button::Insert:
        painter.drawRect(QRectF(7, 3, 2, 10));
        painter.drawRect(QRectF(3, 7, 10, 2));
        break;
    case Button::Delete:
        painter.drawRect(QRectF(3, 7, 10, 2));
        break;
    case Button::Edit:
        painter.drawPolygon(QPolygonF({QPointF(8, 4), QPointF(13, 11), QPointF(3, 11)}));
        break;
    case Button::Post:
        painter.setPen(line);
        painter.setBrush(Qt::NoBrush);
        painter.drawPolyline(QPolygonF({QPointF(3, 8), QPointF(6.5, 11.5), QPointF(13, 4)}));
        break;
    case Button::Cancel:
        painter.setPen(line);
        painter.drawLine(QPointF(4, 4), QPointF(12, 12));
        painter.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    case Button::Refresh: {
        painter.setPen(line);
        painter.setBrush(Qt::NoBrush);
        painter.drawArc(QRectF(3.5, 3.5, 9, 9), 90 * 16, 270 * 16);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawPolygon(QPolygonF({QPointF(8, 1), QPointF(11.5, 4), QPointF(8, 7)}));
        break;
    }
    }
    return pixmap;
}

} // namespace

TDBNavigator::TDBNavigator(QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    const QMetaEnum names = QMetaEnum::fromType<Button>();
    for (int i = 0; i < kButtons; ++i) {
        auto* button = new QToolButton(this);
        const auto which = Button(i);
        button->setObjectName(QString::fromLatin1(names.valueToKey(i)));
        button->setToolTip(QString::fromUtf8(kHints[i]));
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        button->setIconSize(QSize(kGlyph, kGlyph));
        // Clicking a button leaves the keyboard where it was (on the grid).
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QToolButton::clicked, this,
                [this, which] { RunHandler([&] { BtnClick(which); }); });
        row->addWidget(button);
        m_buttons[std::size_t(i)] = button;
    }
    PaintGlyphs();
    UpdateButtons();
}

TDBNavigator::~TDBNavigator() {
    if (m_source)
        m_source->RemoveLink(this);
}

void TDBNavigator::SetDataSource(TDataSource* source) {
    if (m_source == source)
        return;
    Relink(m_source, source, this);
    UpdateButtons();
}

QToolButton* TDBNavigator::ButtonOf(Button button) const {
    return m_buttons[std::size_t(button)];
}

void TDBNavigator::SetVisibleButtons(const QList<Button>& buttons) {
    for (int i = 0; i < kButtons; ++i)
        m_buttons[std::size_t(i)]->setVisible(buttons.contains(Button(i)));
}

QList<TDBNavigator::Button> TDBNavigator::VisibleButtons() const {
    QList<Button> shown;
    for (int i = 0; i < kButtons; ++i)
        if (!m_buttons[std::size_t(i)]->isHidden())
            shown << Button(i);
    return shown;
}

void TDBNavigator::SetHint(Button button, const QString& hint) {
    ButtonOf(button)->setToolTip(hint);
}

void TDBNavigator::SetFlat(bool flat) {
    for (QToolButton* button : m_buttons)
        button->setAutoRaise(flat);
}

void TDBNavigator::SetDeleteQuestion(std::function<QString()> question) {
    m_question = std::move(question);
}

void TDBNavigator::PaintGlyphs() {
    const qreal ratio = devicePixelRatioF();
    for (int i = 0; i < kButtons; ++i) {
        const QPixmap normal = Glyph(Button(i), palette().color(QPalette::ButtonText), ratio);
        m_buttons[std::size_t(i)]->setIcon(QIcon(normal));
    }
}

void TDBNavigator::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        PaintGlyphs();
    QWidget::changeEvent(event);
}

void TDBNavigator::showEvent(QShowEvent* event) {
    UpdateButtons();
    QWidget::showEvent(event);
}

void TDBNavigator::UpdateButtons() {
    // Hidden, the navigator does no work: a settlement moves the cursor thousands of times.
    // It catches up when it is shown.
    if (!isVisible())
        return;
    const TDataSet* dataSet = m_source ? m_source->DataSet() : nullptr;
    const bool active = dataSet && dataSet->Active();
    const auto state = active ? dataSet->state() : TDataSet::State::Inactive;
    const bool pending = state == TDataSet::State::Insert || state == TDataSet::State::Edit;
    const std::int64_t current = active ? dataSet->CurrentIndex() : -1;
    bool before = current >= 0;
    bool after = current >= 0;
    try {
        if (current >= 0) {
            before = !dataSet->LiveBackward(current - 1, 1).isEmpty();
            after = !dataSet->LiveForward(current + 1, 1).isEmpty();
        }
    } catch (const EVarnelError&) {
        // This runs inside the dataset's own operations, which must not be broken off by a
        // file that fails to read here; the moves stay offered and report the fault themselves.
        before = after = current >= 0;
    }
    // With a record pending, a move settles it first, so every move is worth offering.
    ButtonOf(Button::First)->setEnabled(pending ? current >= 0 : before);
    ButtonOf(Button::Prior)->setEnabled(pending ? current >= 0 : before);
    ButtonOf(Button::Next)->setEnabled(pending ? current >= 0 : after);
    ButtonOf(Button::Last)->setEnabled(pending ? current >= 0 : after);
    ButtonOf(Button::Insert)->setEnabled(active);
    ButtonOf(Button::Delete)->setEnabled(state == TDataSet::State::Insert || current >= 0);
    ButtonOf(Button::Edit)->setEnabled(state == TDataSet::State::Browse && current >= 0);
    ButtonOf(Button::Post)->setEnabled(pending);
    ButtonOf(Button::Cancel)->setEnabled(pending);
    ButtonOf(Button::Refresh)->setEnabled(active);
}

bool TDBNavigator::AskDelete() {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Подтверждение"),
                    m_question ? m_question() : QStringLiteral("Удалить запись?"),
                    QMessageBox::NoButton, window());
    QPushButton* yes = box.addButton(QStringLiteral("Да"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
    yes->setObjectName(QStringLiteral("Yes"));
    no->setObjectName(QStringLiteral("No"));
    // A stray Enter must not remove a record.
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void TDBNavigator::BtnClick(Button button) {
    TDataSet* dataSet = m_source ? m_source->DataSet() : nullptr;
    if (!dataSet || !dataSet->Active())
        return;
    switch (button) {
    case Button::First:
        dataSet->First();
        break;
    case Button::Prior:
        dataSet->MoveBy(-1);
        break;
    case Button::Next:
        dataSet->Next();
        break;
    case Button::Last:
        dataSet->Last();
        break;
    case Button::Insert:
        dataSet->Insert();
        break;
    case Button::Delete:
        // On an empty table there is nothing to remove and nothing to ask.
        if (dataSet->state() != TDataSet::State::Insert && dataSet->CurrentIndex() < 0)
            return;
        if (m_confirmDelete && !AskDelete())
            return;
        if (m_deleteAction)
            m_deleteAction();
        else
            dataSet->Delete();
        break;
    case Button::Edit:
        dataSet->Edit();
        break;
    case Button::Post:
        dataSet->Post();
        break;
    case Button::Cancel:
        dataSet->Cancel();
        break;
    case Button::Refresh:
        if (m_source)
            m_source->DataSetChanged();
        break;
    }
}

} // namespace varnel
