#include "windows/Unit1.h"

#include "camera/capture_controls.h"
#include "camera/capture_status.h"
#include "camera/recording_conversion.h"
#include "capture/hex_capture.h"
#include "platform/clock.h"
#include "platform/serial_device.h"
#include "ui_Unit1.h"
#include "windows/Unit2.h"
#include "windows/Unit3.h"
#include "windows/classic_font.h"
#include "windows/failure_guard.h"
#include "windows/file_dialogs.h"
#include "windows/widget_text.h"
#include "windows/window_placement.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QSignalBlocker>
#include <QStatusBar>
#include <cstdlib>

// The logo lives in this library's resources, which a static library must
// register itself.
static void RegisterWindowResources() {
    Q_INIT_RESOURCE(windows);
}

namespace {

constexpr int kClientWidth = 705;
constexpr int kClientHeight = 486;

std::string LocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

void SetCheckedQuietly(QCheckBox& box, bool checked) {
    const QSignalBlocker quiet(box);
    box.setChecked(checked);
}

} // namespace

// The settings the live capture reads, from the window's fields and boxes.
class MainWindowCaptureControls : public CaptureControls {
public:
    explicit MainWindowCaptureControls(Ui::TForm1& ui) : ui_(ui) {}
    // A file name: in the file system's encoding, not the line's.
    std::string fileStem() override { return LocalPath(ui_.Edit2->text()); }
    std::string phoneNumber() override { return FromWidgetText(ui_.Edit1->text()); }
    bool flash() override { return ui_.CheckBox2->isChecked(); }
    bool direct() override { return ui_.CheckBox3->isChecked(); }
    bool large() override { return ui_.CheckBox4->isChecked(); }
    bool showsPictures() override { return ui_.CheckBox1->isChecked(); }
    void showPicture(const std::string& path) override { ui_.Image1->loadFile(path); }

private:
    Ui::TForm1& ui_;
};

TForm1::TForm1(QWidget* parent) : QMainWindow(parent), ui_(std::make_unique<Ui::TForm1>()) {
    RegisterClassicFontSubstitutes();
    ui_->setupUi(this);
    captureControls_ = std::make_unique<MainWindowCaptureControls>(*ui_);
    session_ = std::make_unique<CaptureSession>(*captureControls_);
    setObjectName(QStringLiteral("Form1"));
    for (QLabel* label : {ui_->Label1, ui_->Label2, ui_->Label3, ui_->Label4, ui_->Label5,
                          ui_->Label6, ui_->Label7})
        label->adjustSize();
    ui_->StringGrid2->setCellText(ByteGridModel::CellText::Character);
    connect(ui_->StringGrid1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    StringGrid1SelectCell(current.column() + 1, current.row() + 1);
            });

    connect(ui_->Aufnahmeffnen1, &QAction::triggered, this,
            GuardedSlot(this, &TForm1::Aufnahmeffnen1Click));
    // Chosen during a wait, the program ends once the handler that waited is
    // done, as a blocked window would.
    connect(ui_->Beenden1, &QAction::triggered, this, GuardedSlot(this, &TForm1::Beenden1Click));
    connect(ui_->COM1, &QAction::triggered, this, GuardedSlot(this, &TForm1::COM1Click));
    connect(ui_->COMschlieen1, &QAction::triggered, this,
            GuardedSlot(this, &TForm1::COMschlieen1Click));
    connect(ui_->Listenansicht1, &QAction::triggered, this,
            GuardedSlot(this, &TForm1::Listenansicht1Click));

    connect(ui_->Button3, &QPushButton::clicked, this, GuardedSlot(this, &TForm1::Button3Click));
    connect(ui_->Button4, &QPushButton::clicked, this, GuardedSlot(this, &TForm1::Button4Click));
    // A box toggled during a wait (over the accessibility bus) shows its new
    // state at once; its handler runs after the wait and reads the state as
    // it is then, so two toggles meanwhile leave the mode as it was.
    connect(ui_->CheckBox5, &QCheckBox::toggled, this, GuardedSlot(this, &TForm1::CheckBox5Click));
    connect(ui_->CheckBox6, &QCheckBox::toggled, this, GuardedSlot(this, &TForm1::CheckBox6Click));
    connect(ui_->CheckBox7, &QCheckBox::toggled, this, GuardedSlot(this, &TForm1::CheckBox7Click));
    // A tick held during a wait is dropped once what it is for has gone: the
    // capture's once the port is closed (its timer stops), the interval's once
    // "alle" is cleared.
    connect(&Timer1(), &QTimer::timeout, this,
            GuardedTimerSlot(this, &TForm1::Timer1Timer, [this] { return Timer1().isActive(); }));
    connect(&session_->modes(), &CaptureModes::intervalDue, this,
            GuardedTimerSlot(this, &TForm1::Timer2Timer,
                             [this] { return session_->modes().intervalMode(); }));
    connect(&session_->modes(), &CaptureModes::modesChanged, this, &TForm1::showModes);
    connect(&session_->modes(), &CaptureModes::modesChanged, this, &TForm1::showStatus);
    connect(session_.get(), &CaptureSession::progressChanged, this, &TForm1::showStatus);
    // The time the next interval picture is due moves only when the timer
    // restarts, but a connect or a tick may change the rest.
    statusRefresh_.setInterval(1000);
    connect(&statusRefresh_, &QTimer::timeout, this, &TForm1::showStatus);
    statusRefresh_.start();

    // An error found while drawing is reported after the paint, like any other.
    connect(ui_->Image1, &PictureView::drawingFailed, this,
            [](const QString& message) { ReportFailure(message); });

    // The client area is fixed; the menu bar sits above it, the status line
    // below.
    statusBar()->setSizeGripEnabled(false);
    centralWidget()->setFixedSize(kClientWidth, kClientHeight);
    setFixedSize(kClientWidth,
                 kClientHeight + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    CentreOnDesktop(*this);

    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::setCompanionWindows(TForm2* dataWindow, TForm3* comWindow) {
    dataWindow_ = dataWindow;
    comWindow_ = comWindow;
    session_->setTerminal(dataWindow ? &dataWindow->terminal() : nullptr);
}

void TForm1::FormCreate() {
    // The picture view always stretches; it starts with the logo that comes
    // with the window's definition.
    RegisterWindowResources();
    QFile logo(QStringLiteral(":/logo.jpg"));
    if (logo.open(QIODevice::ReadOnly))
        ui_->Image1->loadBytes(logo.readAll().toStdString(), QStringLiteral("Logo"));
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // The close box during a wait: quitting would end the wait's loop too.
    // Held back like a click, the window closes once the handler is done.
    if (HoldBackDuringWait([window = QPointer<TForm1>(this)] {
            if (window)
                window->close();
        })) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) {
        // Nothing held back behind the close runs: the program is ending.
        EndHeldBackActions();
        QCoreApplication::quit();
    }
}

void TForm1::FormShow() {
    sizeGrids(15);
}

void TForm1::sizeGrids(std::size_t byteCount) {
    const int rows = static_cast<int>(std::min<std::size_t>(byteCount / 16 + 2, INT32_MAX));
    ui_->StringGrid1->setGridShape(17, rows, 20, 20);
    ui_->StringGrid2->setGridShape(17, rows, 15, 20);
    ui_->StringGrid1->resize(380, ui_->StringGrid1->height());
    ui_->StringGrid2->resize(300, ui_->StringGrid2->height());
    ui_->StringGrid1->cells().setFixedCell(0, 0, QStringLiteral("  /"));
    ui_->StringGrid2->cells().setFixedCell(0, 0, QStringLiteral("/"));
}

void TForm1::fillGrids(std::string_view bytes) {
    sizeGrids(bytes.size());
    ui_->StringGrid1->cells().writeBytes(bytes);
    ui_->StringGrid2->cells().writeBytes(bytes);
}

void TForm1::StringGrid1SelectCell(int column, int row) {
    ui_->StringGrid2->setCurrentCell(column, row);
}

void TForm1::Button1Click() {
    const QString openTitle = QStringLiteral("Mitschnitt oeffnen.");
    const QString openFilter = QStringLiteral("*.*");
    const QString saveTitle = QStringLiteral("Speicherort und Dateinamen eingeben.");
    const QString saveFilter = QStringLiteral(".jpg");
    FileDialogs& dialogs = CurrentFileDialogs();

    // A cancelled open keeps the capture buffer as it is and goes on with it.
    // The buffer is decoded at once, before the save dialog lets the timer in
    // to overwrite it.
    RecordingConversion conversion;
    if (const auto recording = dialogs.askOpenFile(this, openTitle, openFilter))
        session_->setCaptureBuffer(conversion.open(LocalPath(*recording)));
    const DecodedCapture& decoded = conversion.decode(session_->captureBuffer());

    // A cancelled save leaves the name empty, which the creation refuses; the
    // recording just opened is never replaced.
    std::string outputName;
    if (const auto chosen = dialogs.askSaveFile(this, saveTitle, saveFilter))
        outputName = LocalPath(*chosen + saveFilter);
    conversion.write(outputName);

    if (ui_->CheckBox1->isChecked())
        ui_->Image1->loadFile(outputName);
    fillGrids(decoded.bytes);
}

void TForm1::Button3Click() {
    session_->dial();
}

void TForm1::Button4Click() {
    session_->requestPicture();
}

void TForm1::Timer1Timer() {
    session_->timerTick();
}

void TForm1::Button6Click() {
    session_->decodeAndStore();
}

void TForm1::Timer2Timer() {
    session_->intervalTick();
}

void TForm1::CheckBox5Click() {
    session_->modes().setWithoutReconnect(ui_->CheckBox5->isChecked());
}

void TForm1::CheckBox6Click() {
    // A number to parse, not bytes for the line: the text goes as UTF-8, like
    // the COM window's fields, so that a message quoting it shows what was
    // typed.
    session_->modes().setIntervalMode(ui_->CheckBox6->isChecked(), [this] {
        return ParseIntervalMinutes(ui_->Edit3->text().toStdString());
    });
}

void TForm1::CheckBox7Click() {
    session_->modes().setContinuousMode(ui_->CheckBox7->isChecked());
}

void TForm1::showModes() {
    const CaptureModes& modes = session_->modes();
    SetCheckedQuietly(*ui_->CheckBox5, modes.withoutReconnect());
    SetCheckedQuietly(*ui_->CheckBox6, modes.intervalMode());
    SetCheckedQuietly(*ui_->CheckBox7, modes.continuousMode());
    ui_->Button3->setVisible(modes.requestButtonsShown());
    ui_->Button4->setVisible(modes.requestButtonsShown());
}

void TForm1::showStatus() {
    const QString shown =
        QString::fromStdString(DescribeStatus(session_->progress(), session_->modes()));
    if (statusBar()->currentMessage() != shown)
        statusBar()->showMessage(shown);
}

void TForm1::Aufnahmeffnen1Click() {
    Button1Click();
}

void TForm1::Beenden1Click() {
    // At once: no close handler, nothing saved. The system drops the port's
    // lock, but not its exclusive flag while the far side holds the device.
    ReleaseSerialDeviceForExit();
    std::_Exit(EXIT_SUCCESS);
}

void TForm1::COM1Click() {
    // While connected the settings could not take effect: say nothing, do nothing.
    if (!comWindow_ || (dataWindow_ && dataWindow_->connected()))
        return;
    if (!comWindow_->isVisible())
        comWindow_->show();
}

void TForm1::COMschlieen1Click() {
    if (dataWindow_)
        dataWindow_->Button3Click();
}

void TForm1::Listenansicht1Click() {
    if (dataWindow_ && !dataWindow_->isVisible())
        dataWindow_->show();
}
