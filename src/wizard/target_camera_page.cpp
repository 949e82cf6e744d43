#include "wizard/target_camera_page.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QStringList>
#include <QVBoxLayout>

#include "wizard/lists/login_dialogs.h"
#include "wizard/ui_text.h"

namespace vcq::ui {
namespace {

constexpr int kRevealGap = 6;

}  // namespace

TargetCameraPage::TargetCameraPage(const DiscoveryTable* table, WindowPort* owner,
                                   std::function<void(int)> setButtonMode,
                                   std::function<bool()> relaxed, QWidget* parent)
    : QWidget(parent),
      table_(table),
      owner_(owner),
      setButtonMode_(std::move(setButtonMode)),
      relaxed_(std::move(relaxed)) {
    auto* title = new QLabel("&Target camera(s):", this);
    auto* counterLabel = new QLabel("Detected camera(s):", this);
    counterLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    counter_ = new QLabel(this);
    counter_->setAccessibleName("Detected camera(s)");
    counter_->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    counterLabel->setBuddy(counter_);

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    list_ = new CameraListView(owner, frame);
    list_->setAccessibleName("Target camera(s)");
    title->setBuddy(list_);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(2, 2, 2, 2);
    frameLayout->addWidget(list_);

    searching_ = new QLabel(this);
    searching_->setAccessibleName("Networks searched");
    searching_->setWordWrap(true);
    searching_->setTextFormat(Qt::PlainText);
    searching_->hide();

    selectAll_ = new QPushButton("&Select all", this);
    access_ = new QPushButton("&Access setting...", this);
    reveal_ = new QPushButton("&<<", this);
    reveal_->setAccessibleName("Show more buttons");
    revealArea_ = new QWidget(this);
    addOtherButton_ = new QPushButton("Add &other cameras...", revealArea_);
    testing_ = new QPushButton("T&esting...", revealArea_);
    for (QPushButton* button : {selectAll_, access_, reveal_, addOtherButton_, testing_})
        button->setAutoDefault(false);
    // The revealed buttons sit in a strip of their own so the animation can
    // move them without the layout taking them back.
    const QSize add = addOtherButton_->sizeHint();
    const QSize test = testing_->sizeHint();
    const int height = std::max(add.height(), test.height());
    addHome_ = QRect(0, 0, add.width(), height);
    testingHome_ = QRect(add.width() + kRevealGap, 0, test.width(), height);
    revealArea_->setFixedSize(testingHome_.right() + 1, height);
    addOtherButton_->setGeometry(addHome_);
    testing_->setGeometry(testingHome_);
    addOtherButton_->hide();
    testing_->hide();

    auto* top = new QHBoxLayout;
    top->addWidget(title);
    top->addStretch();
    top->addWidget(counterLabel);
    top->addWidget(counter_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(selectAll_);
    buttons->addWidget(access_);
    buttons->addStretch();
    buttons->addWidget(revealArea_);
    buttons->addWidget(reveal_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(frame, 1);
    layout->addWidget(searching_);
    layout->addLayout(buttons);
    setTabOrder(list_, selectAll_);
    setTabOrder(selectAll_, access_);
    setTabOrder(access_, addOtherButton_);
    setTabOrder(addOtherButton_, testing_);
    setTabOrder(testing_, reveal_);

    // Rows come from discovery and from "Add other cameras...": each change
    // counts at once and puts Next under the login rule again.
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&list_->Model(), signal, this, &TargetCameraPage::RowsChanged);
    connect(&list_->Model(), &QAbstractItemModel::modelReset, this, &TargetCameraPage::RowsChanged);
    connect(list_, &CameraListView::LoginsChanged, this, &TargetCameraPage::LoginsChanged);
    connect(list_, &CameraListView::SelectionChanged, this, &TargetCameraPage::SelectionChanged);
    connect(list_, &CameraListView::TestingEnded, this, &TargetCameraPage::TestingEnded);
    connect(selectAll_, &QPushButton::clicked, this, &TargetCameraPage::SelectAllClicked);
    connect(access_, &QPushButton::clicked, this, &TargetCameraPage::AccessClicked);
    connect(addOtherButton_, &QPushButton::clicked, this, &TargetCameraPage::AddOtherClicked);
    connect(testing_, &QPushButton::clicked, this, &TargetCameraPage::TestingClicked);
    connect(reveal_, &QPushButton::clicked, this, &TargetCameraPage::RevealClicked);
    connect(&pageTimer_, &QTimer::timeout, this, &TargetCameraPage::PageTimer);
    connect(&animation_, &QTimer::timeout, this, &TargetCameraPage::RevealStep);
    animation_.setInterval(kRevealStepMs);
}

void TargetCameraPage::SetButtonModeByLogins() {
    if (setButtonMode_)
        setButtonMode_(list_->AllTickedHaveLogin() ? 1 : 0);
}

void TargetCameraPage::Populate() {
    if (table_)
        list_->Populate(table_->Snapshot());
    ShowCount();
    if (isVisible())
        SetButtonModeByLogins();
}

void TargetCameraPage::ShowCount() {
    ShowCounter(counter_, "Detected camera(s)",
                QString("%1/%2").arg(list_->Count()).arg(kMaxListRows));
}

void TargetCameraPage::RowsChanged() {
    ShowCount();
    LoginsChanged();
}

bool TargetCameraPage::Validate() {
    if (relaxed_ && relaxed_())
        return true;
    return list_->CheckDuplicateAddresses();
}

void TargetCameraPage::Block() {
    if (setButtonMode_)
        setButtonMode_(5);
    for (QPushButton* button : {selectAll_, access_, reveal_})
        button->setEnabled(false);
    blocked_ = true;
}

void TargetCameraPage::PageShown() {
    Populate();
    if (table_ && table_->ThreadRunning()) {
        pageTimer_.start(kTargetPageTimerMs);
        discovering_ = true;
        ShowNetworks(true);
        for (QWidget* control :
             std::initializer_list<QWidget*>{selectAll_, access_, reveal_, testing_})
            control->setEnabled(false);
        list_->SetSearching(true);
        UpdateCursor();
        return;
    }
    ShowNetworks(false);
    if (!Validate()) {
        Block();
        return;
    }
    list_->setFocus();
    if (!list_->AnySelected())
        list_->SelectFirst();
    if (list_->Count() == 0) {
        access_->setEnabled(false);
        testing_->setEnabled(false);
    } else {
        access_->setEnabled(!blocked_);
        testing_->setEnabled(true);
    }
    SetButtonModeByLogins();
}

void TargetCameraPage::ShowNetworks(bool searching) {
    const auto join = [](const std::vector<std::string>& items) {
        QStringList list;
        for (const std::string& item : items)
            list << QString::fromStdString(item);
        return list.join("; ");
    };
    // An installer's laptop has several adapters: say which ones are searched
    // and why any is not.
    const std::vector<std::string> searched =
        table_ ? table_->SearchedNetworks() : std::vector<std::string>{};
    const std::vector<std::string> skipped =
        table_ ? table_->SkippedNetworks() : std::vector<std::string>{};
    QStringList lines;
    if (searching && !searched.empty())
        lines << "Searching: " + join(searched);
    if (searched.empty() && !skipped.empty())
        lines << "No network adapter could be searched (" + join(skipped) +
                     "). Add the cameras with \"Add other cameras...\" or use manual mode.";
    else if (!skipped.empty())
        lines << "Not searched: " + join(skipped);
    searching_->setText(lines.join("\n"));
    searching_->setVisible(!lines.isEmpty());
}

void TargetCameraPage::PageTimer() {
    if (table_ && table_->ThreadRunning())
        return;
    pageTimer_.stop();
    Populate();
    discovering_ = false;
    ShowNetworks(false);
    if (list_->Count() > 0 && !blocked_) {
        selectAll_->setEnabled(true);
        access_->setEnabled(true);
    }
    for (QWidget* control : std::initializer_list<QWidget*>{reveal_, testing_})
        control->setEnabled(true);
    list_->SetSearching(false);
    UpdateCursor();
    if (!list_->AnySelected()) {
        list_->SelectFirst();
        list_->setFocus();
    }
    if (!list_->AnySelected()) {
        access_->setEnabled(false);
        testing_->setEnabled(false);
    } else if (!blocked_) {
        access_->setEnabled(true);
        testing_->setEnabled(true);
    }
    // Off the page (the operator went back meanwhile) the check waits for the
    // next showing: a message and blocked buttons on another page would
    // leave the wizard stuck there.
    if (isVisible() && !Validate())
        Block();
}

void TargetCameraPage::LoginsChanged() {
    if (isVisible())
        SetButtonModeByLogins();
}

void TargetCameraPage::SelectionChanged(bool anySelected) {
    if (blocked_)
        return;
    access_->setEnabled(anySelected);
    testing_->setEnabled(anySelected);
}

void TargetCameraPage::TestingEnded() {
    testingFlag_ = false;
    UpdateCursor();
}

void TargetCameraPage::UpdateCursor() {
    if (discovering_)
        setCursor(Qt::WaitCursor);
    else if (testingFlag_)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

void TargetCameraPage::SelectAllClicked() {
    list_->SelectAll();
}

void TargetCameraPage::AccessClicked() {
    const std::vector<int> selected = list_->SelectedRows();
    if (selected.size() > 1 || list_->Count() == 1) {
        BatchLoginDialog dialog(list_, this);
        dialog.exec();
    } else if (selected.size() == 1) {
        SingleLoginDialog dialog(list_, this);
        dialog.exec();
    }
    LoginsChanged();
}

void TargetCameraPage::AddOtherClicked() {
    if (addOther_)
        addOther_(*this);
    const bool any = list_->Count() > 0;
    for (QPushButton* button : {selectAll_, access_, testing_})
        button->setEnabled(any);
    if (any && !list_->AnySelected())
        list_->SelectFirst();
    LoginsChanged();  // the dialog may have given logins too
}

void TargetCameraPage::TestingClicked() {
    list_->StartVerification();
    // Nothing selected starts nothing, and nothing would end the busy cursor.
    testingFlag_ = list_->Verifying();
    UpdateCursor();
}

void TargetCameraPage::RevealClicked() {
    if (animation_.isActive())
        return;  // one animation at a time
    expanded_ = !expanded_;
    animationStep_ = 0;
    if (expanded_) {
        PlaceRevealed(0);
        addOtherButton_->show();
        testing_->show();
    }
    RevealStep();
    animation_.start();
}

// The visible part of the two buttons, `visible` pixels wide, measured
// leftwards from the right edge of "Testing...".
void TargetCameraPage::PlaceRevealed(int visible) {
    const int right = testingHome_.right() + 1;
    const int from = right - visible;
    const int testLeft = std::max(testingHome_.left(), from);
    testing_->setGeometry(testLeft, 0, right - testLeft, testingHome_.height());
    const int addRight = addHome_.right() + 1;
    const int addLeft = std::min(addRight, std::max(addHome_.left(), from));
    addOtherButton_->setGeometry(addLeft, 0, addRight - addLeft, addHome_.height());
}

void TargetCameraPage::RevealStep() {
    const int span = testingHome_.right() + 1 - addHome_.left();
    if (animationStep_ < kRevealSteps) {
        const int k = animationStep_++;
        PlaceRevealed(expanded_ ? k * span / kRevealSteps : span - (k + 1) * span / kRevealSteps);
        revealArea_->repaint();
        return;
    }
    animation_.stop();
    if (!expanded_) {
        addOtherButton_->hide();
        testing_->hide();
    }
    addOtherButton_->setGeometry(addHome_);
    testing_->setGeometry(testingHome_);
    reveal_->setText(expanded_ ? "&>>" : "&<<");
    reveal_->setAccessibleName(expanded_ ? "Hide more buttons" : "Show more buttons");
}

}  // namespace vcq::ui
