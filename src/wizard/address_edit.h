// An IPv4 address control: four number fields between dots.
#pragma once

#include <QLineEdit>
#include <QWidget>

#include <array>
#include <string>

namespace vcq::ui {

class AddressEdit : public QWidget {
    Q_OBJECT
  public:
    explicit AddressEdit(QWidget* parent = nullptr);

    // "a.b.c.d"; fields that do not parse are left blank.
    void SetText(const QString& dotted);
    // Blank only when every field is empty.
    bool IsBlank() const;
    // The dotted address; an empty field counts as 0.
    std::string Text() const;
    QLineEdit* Field(int index) const { return fields_[index]; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::array<QLineEdit*, 4> fields_{};
};

}  // namespace vcq::ui
