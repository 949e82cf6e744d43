// UI texts as the widgets want them.
#pragma once

#include <QString>

namespace vcq {
class WindowPort;
}

namespace vcq::ui {

// UI text `id` with LF line ends (the stored texts use CR LF).
QString UiText(int id, WindowPort* owner);
// Dialog units of the pages' font, in pixels: the templates are measured in them.
int DialogUnitsX(int units);
int DialogUnitsY(int units);

}  // namespace vcq::ui
