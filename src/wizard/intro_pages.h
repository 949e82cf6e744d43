// The first three pages: title, licence agreement and the choice of mode.
#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include <functional>

#include "platform/window_port.h"

namespace vcq::ui {

class TitlePage : public QWidget {
  public:
    // `setCaption` sets the main window's caption.
    TitlePage(const QString& modelName, const QString& versionLabel, WindowPort* owner,
              const std::function<void(const QString&)>& setCaption, QWidget* parent = nullptr);
    QString Heading() const { return heading_; }

  private:
    QString heading_;
    QLineEdit* headingEdit_;
    QPlainTextEdit* precautionsEdit_;
};

class AgreementPage : public QWidget {
  public:
    AgreementPage(QPushButton* nextButton, WindowPort* owner, QWidget* parent = nullptr);
    // 1 when Agree is chosen; the focus goes to the chosen button.
    int IsAgreed();
    QRadioButton* NotAgreeButton() const { return notAgree_; }
    QRadioButton* AgreeButton() const { return agree_; }

  private:
    int choice_ = 0;
    QPushButton* nextButton_;
    QRadioButton* notAgree_;
    QRadioButton* agree_;
};

class ModePage : public QWidget {
  public:
    ModePage(WindowPort* owner, QWidget* parent = nullptr);
    void Refresh();
    int IsManual();
    QRadioButton* AutomaticButton() const { return automatic_; }
    QRadioButton* ManualButton() const { return manual_; }

  private:
    int mode_ = 0;
    WindowPort* owner_;
    QGroupBox* group_;
    QRadioButton* automatic_;
    QRadioButton* manual_;
};

}  // namespace vcq::ui
