#include "wizard/upgrade_log_dialog.h"

#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

#include "package/resources.h"
#include "wizard/message_presenter.h"
#include "wizard/ui_text.h"

namespace vcq::ui {
namespace {

QString DefaultChooser(QWidget* parent, const QString& suggested) {
    return QFileDialog::getSaveFileName(parent, "Save upgrade log", suggested,
                                        "Text files (*.txt);;All files (*)");
}

}  // namespace

UpgradeLogDialog::UpgradeLogDialog(const std::string& log, QWidget* parent)
    : QDialog(parent), chooser_(DefaultChooser) {
    setWindowTitle("Upgrade log");
    QFont arial = font();
    arial.setFamily("Arial");
    setFont(arial);

    batchChoice_ = new QComboBox(this);
    batchChoice_->setAccessibleName("Batch");
    auto* batchLabel = new QLabel("&Batch:", this);
    batchLabel->setBuddy(batchChoice_);
    connect(batchChoice_, &QComboBox::activated, this, &UpgradeLogDialog::ShowBatch);
    batchChoice_->hide();
    batchLabel->hide();
    batchLabel_ = batchLabel;

    edit_ = new QPlainTextEdit(this);
    edit_->setReadOnly(true);
    edit_->setTabChangesFocus(true);
    edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit_->setAccessibleName("Upgrade log");
    // Black on white: read-only text is not greyed out.
    QPalette palette = edit_->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, Qt::white);
        palette.setColor(group, QPalette::Text, Qt::black);
    }
    edit_->setPalette(palette);
    edit_->setMinimumSize(DialogUnitsX(305), DialogUnitsY(165));
    edit_->installEventFilter(this);

    fileNote_ = new QLabel(this);
    fileNote_->setAccessibleName("Log file");
    fileNote_->setWordWrap(true);
    fileNote_->setTextFormat(Qt::PlainText);
    fileNote_->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    fileNote_->setFocusPolicy(Qt::StrongFocus);  // Tab reaches it, to copy the path
    fileNote_->hide();

    save_ = new QPushButton("&Save...", this);
    copy_ = new QPushButton("&Copy", this);
    close_ = new QPushButton("Close", this);
    for (QPushButton* button : {save_, copy_, close_}) {
        button->setAutoDefault(false);
        button->setMinimumWidth(DialogUnitsX(50));
    }
    close_->setDefault(true);
    connect(save_, &QPushButton::clicked, this, &UpgradeLogDialog::Save);
    connect(copy_, &QPushButton::clicked, this, &UpgradeLogDialog::CopyToClipboard);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(save_);
    buttons->addWidget(copy_);
    buttons->addStretch();
    buttons->addWidget(close_);
    auto* choice = new QHBoxLayout;
    choice->addWidget(batchLabel);
    choice->addWidget(batchChoice_, 1);
    auto* layout = new QVBoxLayout(this);
    const int margin = DialogUnitsX(7);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->addLayout(choice);
    layout->addWidget(edit_, 1);
    layout->addWidget(fileNote_);
    layout->addLayout(buttons);
    SetLog(log);
    resize(std::max(sizeHint().width(), DialogUnitsX(319)),
           std::max(sizeHint().height(), DialogUnitsY(199)));
}

void UpgradeLogDialog::SetLog(const std::string& log) {
    // Shown with LF, filed with CR LF whatever ends the lines came with.
    QString text = QString::fromStdString(log);
    text.replace("\r\n", "\n");
    bytes_ = QString(text).replace("\n", "\r\n").toUtf8();
    edit_->setPlainText(text);
    save_->setEnabled(!text.isEmpty());
    copy_->setEnabled(!text.isEmpty());
    ShowFromTop();
}

void UpgradeLogDialog::SetBatches(std::vector<LoggedBatch> batches, int current) {
    batches_ = std::move(batches);
    batchChoice_->clear();
    for (const LoggedBatch& batch : batches_)
        batchChoice_->addItem(batch.title);
    const bool choice = batches_.size() > 1;
    batchChoice_->setVisible(choice);
    batchLabel_->setVisible(choice);
    ShowBatch(current);
}

void UpgradeLogDialog::ShowBatch(int index) {
    if (index < 0 || static_cast<size_t>(index) >= batches_.size())
        return;
    const LoggedBatch& batch = batches_[static_cast<size_t>(index)];
    batchChoice_->setCurrentIndex(index);
    SetLog(batch.log);
    SetFileNote(batch.path, batch.error);
}

void UpgradeLogDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Once the layout has settled, whatever scrolled the text meanwhile.
    QTimer::singleShot(10, this, &UpgradeLogDialog::ShowFromTop);
}

void UpgradeLogDialog::ShowFromTop() {
    QTextCursor cursor = edit_->textCursor();
    cursor.movePosition(QTextCursor::Start);
    edit_->setTextCursor(cursor);
    edit_->ensureCursorVisible();
}

bool UpgradeLogDialog::eventFilter(QObject* watched, QEvent* event) {
    // Enter in the log stays there rather than closing the dialog.
    if (watched == edit_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool UpgradeLogDialog::SaveTo(const QString& path) {
    QSaveFile file(path);
    QString error;
    // Unbuffered: a buffered write that fails only at commit still gets
    // committed, and a cut-off log would replace the earlier one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        error = file.errorString();
    else if (file.write(bytes_) != bytes_.size())
        error = file.errorString();
    else if (!file.commit())
        error = file.errorString();
    else
        return true;
    file.cancelWriting();
    MessageRequest request;
    request.text = QString("Cannot save the upgrade log to \"%1\".\n%2")
                       .arg(QDir::toNativeSeparators(path), error)
                       .toStdString();
    request.caption = LoadUiText(kTextErrorCaption, nullptr);
    request.icon = MessageIcon::Stop;
    ActivePresenter().Present(this, request);
    return false;
}

void UpgradeLogDialog::SetFileNote(const QString& path, const QString& error) {
    if (!path.isEmpty())
        fileNote_->setText("This log is also kept in " + QDir::toNativeSeparators(path));
    else if (!error.isEmpty())
        fileNote_->setText("This log could not be kept beside the backups: " + error);
    fileNote_->setVisible(!path.isEmpty() || !error.isEmpty());
}

void UpgradeLogDialog::Save() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString name =
        QDateTime::currentDateTime().toString("'Upgrade log 'yyyy-MM-dd HHmm'.txt'");
    const QString path = chooser_(this, QDir(folder).filePath(name));
    if (!path.isEmpty())
        SaveTo(path);
}

void UpgradeLogDialog::CopyToClipboard() {
    // LF here; the clipboard gives each system its own line ends.
    QGuiApplication::clipboard()->setText(edit_->toPlainText());
}

}  // namespace vcq::ui
