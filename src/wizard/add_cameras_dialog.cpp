#include "wizard/add_cameras_dialog.h"

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

#include "wizard/entry_terminals_dialog.h"
#include "wizard/lists/camera_list_view.h"
#include "wizard/lists/verify_list.h"
#include "wizard/qt_window_port.h"
#include "wizard/target_camera_page.h"
#include "wizard/ui_text.h"

namespace vcq::ui {
namespace {

AddCamerasDialog::FileChooser& Chooser() {
    static AddCamerasDialog::FileChooser chooser;
    return chooser;
}

QString ChooseCsvFile(QWidget* parent) {
    if (Chooser())
        return Chooser()(parent);
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix("txt");
    // "All Files" means every file here, also those without a dot.
    dialog.setNameFilters({"CSV Files (*.txt)", "CSV Files (*.csv)", "All Files (*)"});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

// The addresses of the detected list, read whenever the marks are set.
VerifyListModel::DetectedAddresses DetectedAddresses(QPointer<CameraListView> detected) {
    return [detected] {
        std::vector<Ipv4> addresses;
        if (detected) {
            for (int row = 0; row < detected->Count(); ++row)
                addresses.push_back(detected->GetAddress(row));
        }
        return addresses;
    };
}

}  // namespace

void AddCamerasDialog::SetFileChooser(FileChooser chooser) {
    Chooser() = std::move(chooser);
}

AddCamerasDialog::AddCamerasDialog(CameraListView* detected, const ModelList& models,
                                   ExchangeLimits limits, QWidget* parent)
    : QDialog(parent),
      detected_(detected),
      port_(std::make_unique<QtWindowPort>(
          this, [this](uint32_t id) { OnVerifyTimer(id); }, nullptr)),
      state_(detected ? detected->Count() : 0, models, DetectedAddresses(detected), port_.get()) {
    setWindowTitle("Add other cameras");
    setModal(true);
    state_.List().SetExchange(SysinfoInquiry(limits));

    auto* title = new QLabel("Target camera(s):", this);
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    list_ = new VerifyList(state_.List(), frame);
    list_->setAccessibleName("Target camera(s)");
    title->setBuddy(list_);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(2, 2, 2, 2);
    frameLayout->addWidget(list_);
    int listWidth = 2 * list_->frameWidth() + 4;
    for (int column = 0; column < list_->model()->columnCount(); ++column)
        listWidth += list_->ColumnRight(column) - list_->ColumnLeft(column);
    frame->setMinimumSize(listWidth + list_->style()->pixelMetric(QStyle::PM_ScrollBarExtent),
                          DialogUnitsY(120));

    // Shown by neither the program nor us, yet kept up to date.
    auto* remaining = new QLabel("Remaining:", this);
    counter_ = new QLabel(this);
    counter_->setAccessibleName("Remaining");
    remaining->setBuddy(counter_);
    remaining->hide();
    counter_->hide();

    edit_ = new QPushButton("&Edit...", this);
    add_ = new QPushButton("&Add...", this);
    delete_ = new QPushButton("&Delete...", this);
    paste_ = new QPushButton("&Paste from clipboard", this);
    loadCsv_ = new QPushButton("&Load from CSV...", this);
    ok_ = new QPushButton("OK", this);
    cancel_ = new QPushButton("Cancel", this);
    for (QPushButton* button : {edit_, add_, delete_, paste_, loadCsv_, ok_, cancel_}) {
        button->setAutoDefault(false);
        // Never narrower than the caption: the list takes the room that is left.
        button->setMinimumWidth(std::max(DialogUnitsX(50), button->sizeHint().width()));
    }
    ok_->setDefault(true);
    ok_->setEnabled(false);  // until a tick finds nothing pending

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    buttons->addSpacing(DialogUnitsY(8));
    buttons->addWidget(edit_);
    buttons->addWidget(add_);
    buttons->addWidget(delete_);
    buttons->addSpacing(DialogUnitsY(8));
    buttons->addWidget(paste_);
    buttons->addWidget(loadCsv_);
    buttons->addStretch();
    auto* counterRow = new QHBoxLayout;
    counterRow->addStretch();
    counterRow->addWidget(remaining);
    counterRow->addWidget(counter_);
    auto* layout = new QGridLayout(this);
    layout->addWidget(title, 0, 0);
    layout->addWidget(frame, 1, 0);
    layout->addLayout(counterRow, 2, 0);
    layout->addLayout(buttons, 1, 1, 2, 1);
    layout->setRowStretch(1, 1);
    layout->setColumnStretch(0, 1);

    QWidget* order[] = {list_, ok_, cancel_, edit_, add_, delete_, paste_, loadCsv_};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(edit_, &QPushButton::clicked, this, &AddCamerasDialog::OnEdit);
    connect(add_, &QPushButton::clicked, this, &AddCamerasDialog::OnAdd);
    connect(delete_, &QPushButton::clicked, this, &AddCamerasDialog::OnDelete);
    connect(paste_, &QPushButton::clicked, this, &AddCamerasDialog::OnPaste);
    connect(loadCsv_, &QPushButton::clicked, this, &AddCamerasDialog::OnLoadCsv);
    connect(ok_, &QPushButton::clicked, this, &AddCamerasDialog::OnOk);
    connect(cancel_, &QPushButton::clicked, this, &AddCamerasDialog::reject);
    connect(list_, &VerifyList::UserSelected, this, [this] {
        state_.Select(list_->SelectedRow());
        UpdateButtons();
    });
    RowsChanged();
    list_->setFocus();
}

// Running inquiries own what they use and end on their own.
AddCamerasDialog::~AddCamerasDialog() {
    port_->Close();
}

void AddCamerasDialog::RowsChanged() {
    list_->Reset();
    list_->SelectRow(state_.Selected());
    counter_->setText(QString::fromStdString(state_.CounterText()));
    UpdateButtons();
}

void AddCamerasDialog::UpdateButtons() {
    const AddCamerasButtons buttons = state_.Buttons();
    edit_->setEnabled(buttons.edit);
    delete_->setEnabled(buttons.remove);
    add_->setEnabled(buttons.add);
    paste_->setEnabled(buttons.paste);
    loadCsv_->setEnabled(buttons.loadCsv);
    // A new address disables OK at once; only a tick enables it.
    if (!state_.List().OkEnabled())
        ok_->setEnabled(false);
}

void AddCamerasDialog::OnVerifyTimer(uint32_t id) {
    if (id != kVerifyTimerId)
        return;
    if (state_.List().Tick())
        list_->RowsChanged();
    ok_->setEnabled(state_.List().OkEnabled());
}

void AddCamerasDialog::OpenEntryTerminals(int position) {
    {
        EntryTerminalsDialog terminals(*this, state_.Capacity(), position, this);
        terminals.exec();
    }
    state_.EntryDialogClosed();
    RowsChanged();
}

void AddCamerasDialog::OnAdd() {
    if (!state_.Full())
        state_.AddEntry();
    RowsChanged();
    if (state_.RowCount() > 0)
        OpenEntryTerminals(static_cast<int>(state_.RowCount()) - 1);
}

void AddCamerasDialog::OnEdit() {
    if (auto selected = state_.Selected())
        OpenEntryTerminals(static_cast<int>(*selected));
}

void AddCamerasDialog::OnDelete() {
    if (state_.DeleteSelected())
        RowsChanged();
}

void AddCamerasDialog::Import(CameraListParser& parser, bool parsed) {
    if (parsed)
        state_.Import(parser);
    RowsChanged();
}

void AddCamerasDialog::OnPaste() {
    CameraListParser parser(port_.get());
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const std::string text = clipboard ? clipboard->text().toStdString() : std::string();
    Import(parser, parser.ReadText(text));
}

void AddCamerasDialog::OnLoadCsv() {
    const QString path = ChooseCsvFile(this);
    if (path.isEmpty())
        return;
    CameraListParser parser(port_.get());
    // The core takes UTF-8 paths; the ANSI code page cannot name every folder.
    Import(parser, parser.ReadFile(QDir::toNativeSeparators(path).toStdString()));
}

void AddCamerasDialog::OnOk() {
    auto handed = state_.Accept();
    if (!handed)
        return;
    for (const CameraRow& row : *handed) {
        if (detected_) {
            detected_->AddRow(detected_->Count(), "", row.texts[text::kAddress],
                              row.texts[text::kModel], row.texts[text::kSerial],
                              row.texts[text::kVersion], row.ip, row.port, row.tag);
        }
    }
    accept();
}

void AddCamerasDialog::reject() {
    if (state_.ConfirmCancel())
        QDialog::reject();
}

// The entry terminals dialog works on the rules; the list follows each step.
targets::EntryAddress AddCamerasDialog::CurrentAddress() const {
    return state_.CurrentAddress();
}

void AddCamerasDialog::CommitEntry(const targets::EntryAddress& address) {
    state_.CommitEntry(address);
    RowsChanged();
}

void AddCamerasDialog::NextEntry() {
    state_.NextEntry();
    RowsChanged();
}

void AddCamerasDialog::PreviousEntry() {
    state_.PreviousEntry();
    RowsChanged();
}

int AddCamerasDialog::AddEntry() {
    const int position = state_.AddEntry();
    RowsChanged();
    return position;
}

void AddCamerasDialog::DeleteEntry() {
    state_.DeleteEntry();
    RowsChanged();
}

bool AddCamerasDialog::IsQueued(int row) const {
    return state_.IsQueued(row);
}

int AddCamerasDialog::RowCount() const {
    return state_.RowCount();
}

void RunAddCamerasDialog(TargetCameraPage& page, const ModelList& models, ExchangeLimits limits) {
    AddCamerasDialog dialog(page.List(), models, limits, &page);
    dialog.exec();
}

}  // namespace vcq::ui
