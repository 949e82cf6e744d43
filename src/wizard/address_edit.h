// An IPv4 address control: four number fields between dots that behave as
// one desktop address control. A field entered by keyboard is selected so
// that typing replaces it; "." after digits or a full field moves on, and a
// "." right after a full field moved on is taken as the same move; Backspace
// or Left at the start of a field moves back; pasting "a.b.c.d" fills all
// four. A field above 255 is reported (OutOfRange) and kept as typed, never
// cut to a byte, so the owner refuses it.
#pragma once

#include <QLineEdit>
#include <QWidget>

#include <array>
#include <optional>
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
    // The first field above 255, or -1.
    int OutOfRangeField() const;
    // The dotted address; an empty field counts as 0. Check OutOfRangeField
    // first: a field above 255 is given as typed.
    std::string Text() const;
    QLineEdit* Field(int index) const { return fields_[index]; }

  signals:
    // The operator typed a value above 255 into `field`, which is selected.
    void OutOfRange(int field);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    enum class Caret { SelectAll, Start, End };
    int IndexOf(QObject* field) const;
    void MoveTo(int index, Caret caret);
    void PlaceCaret(QLineEdit* field);
    bool Paste(int index);

    std::array<QLineEdit*, 4> fields_{};
    // Where the caret goes when caretField_ next gets the focus.
    QLineEdit* caretField_ = nullptr;
    Caret pendingCaret_ = Caret::SelectAll;
    // The field a full field moved on to, until the next key.
    QLineEdit* advancedInto_ = nullptr;
};

}  // namespace vcq::ui
