#include "wizard/address_edit.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>

namespace vcq::ui {

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
        field->installEventFilter(this);
        fields_[i] = field;
        layout->addWidget(field);
        // A full field moves on to the next, as the Windows control does.
        if (i < 3) {
            connect(field, &QLineEdit::textEdited, this, [this, i](const QString& text) {
                if (text.size() == 3)
                    fields_[i + 1]->setFocus();
            });
        }
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

std::string AddressEdit::Text() const {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            text += '.';
        text += std::to_string(fields_[i]->text().toInt());
    }
    return text;
}

bool AddressEdit::eventFilter(QObject* watched, QEvent* event) {
    // A dot typed in a field moves to the next one.
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Period) {
        for (int i = 0; i < 3; ++i) {
            if (watched == fields_[i]) {
                fields_[i + 1]->setFocus();
                fields_[i + 1]->selectAll();
                return true;
            }
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace vcq::ui
