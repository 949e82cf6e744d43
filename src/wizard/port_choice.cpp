#include "wizard/port_choice.h"

#include <QButtonGroup>
#include <QRegularExpressionValidator>

namespace vcq::ui {

PortChoice MakePortChoice(QWidget* parent) {
    PortChoice choice;
    choice.port80 = new QRadioButton("80", parent);
    choice.custom = new QRadioButton(parent);
    choice.custom->setAccessibleName("Other port");
    auto* group = new QButtonGroup(parent);
    group->addButton(choice.port80);
    group->addButton(choice.custom);
    choice.port80->setChecked(true);

    choice.edit = new QLineEdit("1024", parent);
    choice.edit->setAccessibleName("Port number");
    // Digits only, but any number of them: out-of-range ports are refused
    // with a message rather than swallowed while typing.
    choice.edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[0-9]{0,9}"), choice.edit));
    choice.edit->setFixedWidth(choice.edit->fontMetrics().horizontalAdvance("000000") + 12);
    choice.edit->setEnabled(false);
    QObject::connect(choice.custom, &QRadioButton::toggled, choice.edit, &QLineEdit::setEnabled);

    choice.range = new QLabel("(&1024 to 65535)", parent);
    choice.range->setBuddy(choice.edit);
    choice.label = new QLabel("&HTTP port No.:", parent);
    choice.label->setBuddy(choice.port80);
    return choice;
}

}  // namespace vcq::ui
