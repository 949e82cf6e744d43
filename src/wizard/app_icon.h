#pragma once

#include <QIcon>

namespace vcq::ui {

// The program's icon: a camera body with a lens and an upward arrow.
QIcon AppIcon();

}  // namespace vcq::ui
