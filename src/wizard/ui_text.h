// UI texts as the widgets want them.
#pragma once

#include <QString>

class QLabel;

namespace vcq {
class WindowPort;
}

namespace vcq::ui {

// UI text `id` with LF line ends (the stored texts use CR LF).
QString UiText(int id, WindowPort* owner);
// Dialog units of the pages' font, in pixels: the templates are measured in them.
int DialogUnitsX(int units);
// Shows a counter's value ("6/256") and names it with its label and value,
// so that a screen reader reads both.
void ShowCounter(QLabel* counter, const QString& label, const QString& value);
int DialogUnitsY(int units);

}  // namespace vcq::ui
