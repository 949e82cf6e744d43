// Manual mode: the target entry page, the progress page and the result page.
#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QWidget>

#include <string>
#include <vector>

#include "discovery/camera_record.h"
#include "platform/window_port.h"
#include "wizard/address_edit.h"

namespace vcq::ui {

inline constexpr const char* kDuplicateAddressText =
    "There is more than one camera with the same IP address.\r\nCannot proceed with the upgrade.";

class TargetEntryPage : public QWidget {
  public:
    TargetEntryPage(WindowPort* owner, QWidget* parent = nullptr);

    bool Validate();
    std::string GetHostText() const;
    std::string GetCredentials() const;
    bool CheckDuplicateAddress(const std::vector<CameraRecord>& detected);
    bool Retain() const { return retain_->isChecked(); }
    bool Backup() const { return backup_->isChecked(); }

    AddressEdit* Address() const { return address_; }
    QRadioButton* Port80Button() const { return port80_; }
    QRadioButton* CustomPortButton() const { return customPort_; }
    QLineEdit* PortEdit() const { return portEdit_; }
    QLineEdit* NameEdit() const { return name_; }
    QLineEdit* PasswordEdit() const { return password_; }
    QCheckBox* RetainBox() const { return retain_; }
    QCheckBox* BackupBox() const { return backup_; }

  private:
    void Refuse(int textId, QWidget* focus);

    WindowPort* owner_;
    AddressEdit* address_;
    QRadioButton* port80_;
    QRadioButton* customPort_;
    QLineEdit* portEdit_;
    QLineEdit* name_;
    QLineEdit* password_;
    QCheckBox* retain_;
    QCheckBox* backup_;
};

// Text of a step on the progress page; null when the text stays as it is.
const char* StepText(int32_t step, WindowPort* owner, std::string& storage);

class UpgradeProgressPage : public QWidget {
  public:
    UpgradeProgressPage(WindowPort* owner, QWidget* parent = nullptr);

    void SetAddressText(const QString& text) { address_->setText(text); }
    void SetCurrentVersion(const QString& text) { current_->setText(text); }
    void SetNewVersion(const QString& text) { next_->setText(text); }
    void SetStatusLine(const QString& text) { status_->setText(text); }
    void ShowStep(int32_t step);
    void ResetProgress() { bar_->setValue(0); }
    void SetSetupData(bool retain, bool backup);

    QProgressBar* Bar() const { return bar_; }
    QString AddressText() const { return address_->text(); }
    QString CurrentVersion() const { return current_->text(); }
    QString NewVersion() const { return next_->text(); }
    QString SetupDataLine() const { return setupData_->text(); }
    QString StatusLine() const { return status_->text(); }
    QString StepLine() const { return step_->text(); }

  private:
    WindowPort* owner_;
    QLabel* address_;
    QLabel* current_;
    QLabel* next_;
    QLabel* setupData_;
    QLabel* status_;
    QLabel* step_;
    QProgressBar* bar_;
};

class UpgradeResultPage : public QWidget {
  public:
    UpgradeResultPage(WindowPort* owner, QWidget* parent = nullptr);

    void SetAddressText(const QString& text) { address_->setText(text); }
    void SetResultVersion(const QString& versionTag);
    QString ResultText() const { return result_->text(); }

  private:
    WindowPort* owner_;
    QLabel* address_;
    QLabel* result_;
};

// The manual pages' progress bars: range 0 to 10000 in the program's blue.
void StyleProgressBar(QProgressBar* bar);

}  // namespace vcq::ui
