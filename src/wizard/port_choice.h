// The HTTP port choice of the camera entry windows: its "&HTTP port No.:"
// label, the "80" radio, the custom radio and its port edit (off while "80"
// is chosen), and the range label that leads to the edit.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace vcq::ui {

struct PortChoice {
    QLabel* label = nullptr;
    QRadioButton* port80 = nullptr;
    QRadioButton* custom = nullptr;
    QLineEdit* edit = nullptr;
    QLabel* range = nullptr;
};

// Made with "80" chosen and "1024" in the disabled edit.
PortChoice MakePortChoice(QWidget* parent);

}  // namespace vcq::ui
