#include "windows/Unit2.h"

#include "platform/user_error.h"
#include "serial/com_port.h"
#include "serial/integer_field.h"
#include "ui_Unit2.h"
#include "windows/failure_guard.h"
#include "windows/widget_text.h"
#include "windows/window_placement.h"

#include <QScrollBar>

TForm2::TForm2(QTimer& captureTimer, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TForm2>()), captureTimer_(captureTimer) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("Form2"));
    for (QLabel* label : {ui_->Label1, ui_->Label3})
        label->adjustSize();
    MakeFixedStayOnTopWindow(*this, Qt::Window, QSize(465, 603));
    timer1_.setInterval(20);
    connect(&timer1_, &QTimer::timeout, this, GuardedSlot(this, &TForm2::Timer1Timer));
    FormCreate();
}

TForm2::~TForm2() = default;

void TForm2::setPortSettingsSource(std::function<ComPortFields()> source) {
    portSettings_ = std::move(source);
}

void TForm2::FormCreate() {
    ui_->Memo1->clear();
}

const std::string& TForm2::receivedText() const {
    return ui_->Memo1->text();
}

void TForm2::clearReceivedText() {
    ui_->Memo1->clear();
}

void TForm2::Button1Click() {
    if (connected_)
        return;
    // A failing open leaves this half done: the capture tick is on already,
    // the poll is not, and the flag stays clear.
    captureTimer_.start();
    const ComPortFields fields = portSettings_ ? portSettings_() : ComPortFields{"1", "9600", "8"};
    OpenComPort(fields);
    openedPort_ = "COM" + std::to_string(ParseIntegerField(fields.port));
    timer1_.start();
    connected_ = true;
}

void TForm2::Button3Click() {
    if (!connected_)
        return;
    timer1_.stop();
    captureTimer_.stop();
    CloseComPort(ComHandle);
    connected_ = false;
}

void TForm2::Button5Click() {
    if (!connected_)
        return;
    const PortStatus status = WriteComLine(ComHandle, commandField_);
    ui_->Memo3->appendPlainText(ToWidgetText(commandField_));
    ui_->Memo3->verticalScrollBar()->setValue(ui_->Memo3->verticalScrollBar()->maximum());
    if (status == PortStatus::Vanished)
        reportVanishedPort();
}

void TForm2::Timer1Timer() {
    std::string chunk;
    PortStatus status = ReadComChunk(ComHandle, chunk);
    // A full chunk means more may be waiting: take what is there already, so
    // that the text keeps pace with fast lines.
    if (status == PortStatus::Ok && chunk.size() >= ComChunkBytes)
        status = ReadComWaiting(ComHandle, chunk);
    ui_->Memo1->appendBytes(chunk);
    if (status == PortStatus::Vanished)
        reportVanishedPort();
}

void TForm2::reportVanishedPort() {
    // Reported once: the disconnect stops the poll that found it.
    Button3Click();
    throw UserError("Die Verbindung über " + openedPort_ +
                    " ist abgebrochen: das Gerät ist nicht mehr erreichbar");
}
