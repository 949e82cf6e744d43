#include "wizard/address_edit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>

#include <memory>
#include <utility>

namespace vcq::ui {
namespace {

// "a.b.c.d" with every part a number from 0 to 255, blanks around allowed.
std::optional<std::array<int, 4>> ParseDotted(const QString& text) {
    const QStringList parts = text.trimmed().split('.');
    if (parts.size() != 4)
        return std::nullopt;
    std::array<int, 4> values{};
    for (int i = 0; i < 4; ++i) {
        const QString part = parts[i].trimmed();
        bool ok = false;
        int value = part.toInt(&ok);
        if (!ok || part.size() > 3 || value < 0 || value > 255 || part.startsWith('+') ||
            part.startsWith('-'))
            return std::nullopt;
        values[i] = value;
    }
    return values;
}

}  // namespace

AddressEdit::AddressEdit(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            layout->addWidget(new QLabel(".", this));
        auto* field = new QLineEdit(this);
        field->setValidator(new QIntValidator(0, 255, field));
        field->setMaxLength(3);
        field->setAlignment(Qt::AlignCenter);
        field->setFixedWidth(field->fontMetrics().horizontalAdvance("0000") + 10);
        field->setAccessibleName(QString("IP address, part %1 of 4").arg(i + 1));
        field->installEventFilter(this);
        fields_[i] = field;
        layout->addWidget(field);
        connect(field, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            if (text.toInt() > 255) {
                fields_[i]->selectAll();
                emit OutOfRange(i);
                return;
            }
            // A full field moves on to the next.
            if (i < 3 && text.size() == 3 && fields_[i]->cursorPosition() == 3) {
                MoveTo(i + 1, Caret::SelectAll);
                advancedInto_ = fields_[i + 1];
            }
        });
    }
    layout->addStretch();
    setFocusProxy(fields_[0]);
}

void AddressEdit::SetText(const QString& dotted) {
    const QStringList parts = dotted.split('.');
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        int value = i < parts.size() ? parts[i].toInt(&ok) : -1;
        fields_[i]->setText(ok && value >= 0 && value <= 255 ? QString::number(value) : QString());
    }
}

bool AddressEdit::IsBlank() const {
    for (QLineEdit* field : fields_) {
        if (!field->text().isEmpty())
            return false;
    }
    return true;
}

int AddressEdit::OutOfRangeField() const {
    for (int i = 0; i < 4; ++i) {
        if (fields_[i]->text().toInt() > 255)
            return i;
    }
    return -1;
}

std::string AddressEdit::Text() const {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            text += '.';
        text += std::to_string(fields_[i]->text().toInt());
    }
    return text;
}

int AddressEdit::IndexOf(QObject* field) const {
    for (int i = 0; i < 4; ++i) {
        if (fields_[i] == field)
            return i;
    }
    return -1;
}

void AddressEdit::MoveTo(int index, Caret caret) {
    if (index < 0 || index > 3)
        return;
    QLineEdit* field = fields_[index];
    pendingCaret_ = caret;
    caretField_ = field;
    field->setFocus(Qt::OtherFocusReason);
    // Placed by the focus-in event, now or once the window is active again;
    // a field that had the focus already gets no such event.
    if (field->hasFocus() && caretField_ == field)
        PlaceCaret(field);
}

void AddressEdit::PlaceCaret(QLineEdit* field) {
    const Caret caret = caretField_ == field ? pendingCaret_ : Caret::SelectAll;
    caretField_ = nullptr;
    if (caret == Caret::SelectAll) {
        field->selectAll();
        return;
    }
    field->deselect();
    field->setCursorPosition(caret == Caret::Start ? 0 : static_cast<int>(field->text().size()));
}

bool AddressEdit::Paste(int index) {
    const QString text = QApplication::clipboard()->text();
    if (auto values = ParseDotted(text)) {
        for (int i = 0; i < 4; ++i)
            fields_[i]->setText(QString::number((*values)[i]));
        MoveTo(3, Caret::End);
        return true;
    }
    // A number alone goes into the field as typed; anything else changes nothing.
    QLineEdit* field = fields_[index];
    const QString before = field->text();
    field->paste();
    if (field->text() == before && !text.trimmed().isEmpty())
        QApplication::beep();
    return true;
}

bool AddressEdit::eventFilter(QObject* watched, QEvent* event) {
    const int index = IndexOf(watched);
    if (index < 0)
        return QWidget::eventFilter(watched, event);
    auto* field = fields_[index];
    switch (event->type()) {
        case QEvent::FocusIn:
            // A click places the caret itself; any other way in selects the
            // field so that typing replaces it.
            if (static_cast<QFocusEvent*>(event)->reason() != Qt::MouseFocusReason)
                PlaceCaret(field);
            break;
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            QLineEdit* const advancedInto = std::exchange(advancedInto_, nullptr);
            if (key->matches(QKeySequence::Paste))
                return Paste(index);
            const bool atStart = field->cursorPosition() == 0 && !field->hasSelectedText();
            const bool atEnd =
                field->cursorPosition() == field->text().size() && !field->hasSelectedText();
            switch (key->key()) {
                case Qt::Key_Period:
                case Qt::Key_Comma:
                    // The full field before already made this move.
                    if (!field->text().isEmpty() && advancedInto != field)
                        MoveTo(index + 1, Caret::SelectAll);
                    return true;
                case Qt::Key_Backspace:
                case Qt::Key_Left:
                    if (atStart && index > 0 && key->modifiers() == Qt::NoModifier) {
                        MoveTo(index - 1, Caret::End);
                        return true;
                    }
                    break;
                case Qt::Key_Right:
                    if (atEnd && index < 3 && key->modifiers() == Qt::NoModifier) {
                        MoveTo(index + 1, Caret::Start);
                        return true;
                    }
                    break;
                default:
                    break;
            }
            break;
        }
        case QEvent::MouseButtonPress:
            advancedInto_ = nullptr;
            break;
        case QEvent::ContextMenu: {
            // The menu's Paste must fill the four fields as Ctrl+V does.
            std::unique_ptr<QMenu> menu(field->createStandardContextMenu());
            for (QAction* action : menu->actions()) {
                if (action->objectName() == "edit-paste") {
                    disconnect(action, nullptr, field, nullptr);
                    connect(action, &QAction::triggered, this, [this, index] { Paste(index); });
                }
            }
            menu->exec(static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        }
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace vcq::ui
