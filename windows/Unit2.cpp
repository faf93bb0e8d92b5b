#include "windows/Unit2.h"

#include "camera/received_text.h"
#include "serial/com_port.h"
#include "ui_Unit2.h"
#include "windows/failure_guard.h"
#include "windows/widget_text.h"
#include "windows/window_placement.h"

#include <QScrollBar>

namespace {

constexpr int kSentLinesKept = 1000;

} // namespace

// The terminal keeps its received text in the window's text box, so that the
// user's edits are part of it.
class ReceivedTextBox : public ReceivedText {
public:
    explicit ReceivedTextBox(ReceivedTextView& box) : box_(box) {}
    const std::string& text() const override { return box_.text(); }
    void append(std::string_view chunk) override { box_.appendBytes(chunk); }
    void clear() override { box_.clear(); }

private:
    ReceivedTextView& box_;
};

TForm2::TForm2(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::TForm2>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("Form2"));
    for (QLabel* label : {ui_->Label1, ui_->Label3})
        label->adjustSize();
    MakeFixedStayOnTopWindow(*this, Qt::Window, QSize(465, 603));
    // Every picture adds four lines here; a run of days would grow without
    // bound (about 1 KB a line), so the oldest lines beyond these go.
    ui_->Memo3->setMaximumBlockCount(kSentLinesKept);
    receivedBox_ = std::make_unique<ReceivedTextBox>(*ui_->Memo1);
    terminal_ = std::make_unique<Terminal>(*receivedBox_);
    connect(
        &terminal_->pollTimer(), &QTimer::timeout, this,
        GuardedTimerSlot(this, &TForm2::Timer1Timer, [this] { return terminal_->connected(); }));
    connect(terminal_.get(), &Terminal::lineSent, this, &TForm2::showSentLine);
    FormCreate();
}

TForm2::~TForm2() = default;

void TForm2::setPortSettingsSource(std::function<ComPortFields()> source) {
    // The fields are parsed when the port opens, as they stand then.
    terminal_->setPortSettingsSource(
        [source = std::move(source)] { return ParseComPortFields(source()); });
}

void TForm2::FormCreate() {
    ui_->Memo1->clear();
}

const std::string& TForm2::receivedText() const {
    return terminal_->receivedText();
}

void TForm2::clearReceivedText() {
    terminal_->clearReceivedText();
}

void TForm2::Button1Click() {
    terminal_->connectPort();
}

void TForm2::Button3Click() {
    terminal_->disconnectPort();
}

void TForm2::Button5Click() {
    terminal_->send();
}

void TForm2::Timer1Timer() {
    terminal_->poll();
}

void TForm2::showSentLine(const QByteArray& line) {
    ui_->Memo3->appendPlainText(ToWidgetText(line.toStdString()));
    ui_->Memo3->verticalScrollBar()->setValue(ui_->Memo3->verticalScrollBar()->maximum());
}
