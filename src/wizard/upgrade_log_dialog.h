// "Upgrade log": the outcome of every camera of a batch, read-only, shown
// from its first line. Installers file these logs, so the log can be saved
// as a text file and copied to the clipboard.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>

#include <functional>
#include <string>
#include <vector>

namespace vcq::ui {

// One batch's log as the dialog offers it.
struct LoggedBatch {
    QString title;    // "Batch 1, 14:02:11"
    std::string log;  // UTF-8 lines ending in CR LF
    QString path;     // where it was kept, or
    QString error;    // why it could not be
};

class UpgradeLogDialog : public QDialog {
    Q_OBJECT
  public:
    // `log`: UTF-8 lines ending in CR LF.
    explicit UpgradeLogDialog(const std::string& log, QWidget* parent = nullptr);

    // Asks where to save; an empty answer saves nothing. The file dialog
    // unless replaced (tests).
    using FileChooser = std::function<QString(QWidget* parent, const QString& suggested)>;
    void SetFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }

    // Writes the log as UTF-8 with CR LF line ends. An existing file is
    // replaced only once the whole log is written. Tells the operator when
    // it fails.
    bool SaveTo(const QString& path);
    // Says where the log was kept (selectable), or why it could not be.
    void SetFileNote(const QString& path, const QString& error);
    // Every batch since the program started, `current` shown; the choice
    // shows only with more than one.
    void SetBatches(std::vector<LoggedBatch> batches, int current);
    // Shows the log of the batch at `index` of SetBatches.
    void ShowBatch(int index);
    void CopyToClipboard();

    QPlainTextEdit* Edit() const { return edit_; }
    QPushButton* SaveButton() const { return save_; }
    QPushButton* CopyButton() const { return copy_; }
    QPushButton* CloseButton() const { return close_; }
    QLabel* FileNote() const { return fileNote_; }
    QComboBox* BatchChoice() const { return batchChoice_; }

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ShowFromTop();
    void Save();
    void SetLog(const std::string& log);

    QByteArray bytes_;  // the file's contents
    FileChooser chooser_;
    QPlainTextEdit* edit_;
    QLabel* fileNote_;
    QComboBox* batchChoice_;
    QLabel* batchLabel_;
    std::vector<LoggedBatch> batches_;
    QPushButton* save_;
    QPushButton* copy_;
    QPushButton* close_;
};

}  // namespace vcq::ui
