#include "wizard/ui_text.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>

#include "package/resources.h"

namespace vcq::ui {

QString UiText(int id, WindowPort* owner) {
    return QString::fromStdString(LoadUiText(id, owner)).replace("\r\n", "\n");
}

// A dialog unit is a quarter of the average character width across and an
// eighth of the font's height down.
int DialogUnitsX(int units) {
    QFontMetrics metrics(QApplication::font());
    const QString sample = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    int average = (metrics.horizontalAdvance(sample) / 26 + 1) / 2;
    return (units * average + 2) / 4;
}

int DialogUnitsY(int units) {
    QFontMetrics metrics(QApplication::font());
    return (units * metrics.height() + 4) / 8;
}

void ShowCounter(QLabel* counter, const QString& label, const QString& value) {
    counter->setText(value);
    counter->setAccessibleName(label + " " + value);
}

}  // namespace vcq::ui
