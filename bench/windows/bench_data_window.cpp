// The data window's poll with the window shown: how long one poll (read,
// append, repaint of the received text) takes as the text on one line grows,
// and whether a 1 MB hex stream written into the port as fast as it goes
// arrives whole, at what rate, and how busy the window thread was. Each
// figure twice: with no screen reader listening, and with a stand-in for one
// that takes every notice as the accessibility bridge would (the changed
// text and the box's interface).
#include "capture/hex_capture.h"
#include "picture/accessibility_clients.h"
#include "serial/com_port.h"
#include "tests/support/pty_pair.h"
#include "ui_Unit2.h"
#include "windows/Unit2.h"
#include "windows/Unit3.h"
#include "windows/received_text_accessible.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

int notices = 0;
qsizetype noticedCharacters = 0;

void TakeNotice(QAccessibleEvent* event) {
    ++notices;
    if (event->type() == QAccessible::TextInserted)
        noticedCharacters += static_cast<QAccessibleTextInsertEvent*>(event)->textInserted().size();
    if (QAccessibleInterface* box = event->accessibleInterface())
        noticedCharacters += box->text(QAccessible::Name).size();
}

const char* Listener(bool listening) {
    return listening ? "screen reader listening" : "no screen reader";
}

double medianMs(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

std::string hexStream(std::size_t bytes) {
    std::string values(bytes / 3 + 1, '\0');
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<char>((i * 7) % 16 << 4 | (i * 13) % 16);
    std::string text = EncodeHexPairs(values);
    text.resize(bytes);
    return text;
}

void measurePollTimes(TForm2& form, PtyPair& pty) {
    std::printf("one poll (28 bytes read, appended, received text repainted), median of 200:\n");
    for (std::size_t size : {10'000u, 100'000u, 1'000'000u, 4'000'000u}) {
        std::printf("  %8zu bytes on one line:", size);
        for (bool listening : {false, true}) {
            SimulateAccessibilityClient(listening ? TakeNotice : nullptr);
            form.controls().Memo1->setText(hexStream(size));
            std::vector<double> samples;
            for (int i = 0; i < 200; ++i) {
                pty.sendFromFarSide(std::string(28, 'A'));
                QElapsedTimer clock;
                clock.start();
                form.Timer1Timer();
                form.controls().Memo1->viewport()->repaint();
                samples.push_back(clock.nsecsElapsed() / 1e6);
            }
            std::printf("  %.3f ms (%s)", medianMs(samples), Listener(listening));
        }
        std::printf("\n");
    }
    SimulateAccessibilityClient(nullptr);
}

void measureStream(TForm2& form, PtyPair& pty, bool listening) {
    const std::string stream = hexStream(1'000'000);
    form.clearReceivedText();
    SimulateAccessibilityClient(listening ? TakeNotice : nullptr);
    notices = 0;
    noticedCharacters = 0;
    form.Timer1().start();
    std::atomic<bool> written{false};
    QElapsedTimer clock;
    clock.start();
    std::thread writer([&] {
        pty.sendFromFarSide(stream);
        written = true;
    });
    // Busy time: the window thread's CPU time (polls, appends, painting).
    timespec cpuStart{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuStart);
    while (form.receivedText().size() < stream.size() && clock.elapsed() < 120'000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    timespec cpuEnd{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuEnd);
    const qint64 busyNs =
        (cpuEnd.tv_sec - cpuStart.tv_sec) * 1'000'000'000LL + (cpuEnd.tv_nsec - cpuStart.tv_nsec);
    const double seconds = clock.nsecsElapsed() / 1e9;
    writer.join();
    const bool whole = form.receivedText() == stream;
    form.Timer1().stop();
    // The last gathered bytes go out with the next notice.
    QTest::qWait(kAppendAnnouncementMs * 2);
    SimulateAccessibilityClient(nullptr);
    std::printf("1 MB hex stream written as fast as the pseudo-terminal takes it (%s):\n",
                Listener(listening));
    std::printf("  arrived whole: %s (%zu of %zu bytes) in %.2f s, %.2f MB/s\n",
                whole ? "yes" : "NO", form.receivedText().size(), stream.size(), seconds,
                stream.size() / seconds / 1e6);
    std::printf("  window thread busy (CPU time): %.1f %% of the wall time\n",
                100.0 * busyNs / (seconds * 1e9));
    if (listening)
        std::printf("  notices: %d (%.1f a second), %lld characters handed over\n", notices,
                    notices / seconds, static_cast<long long>(noticedCharacters));
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    PtyPair pty;
    if (!pty.ok())
        return 1;
    qputenv("MERLON_COM1", QByteArray::fromStdString(pty.slavePath()));
    TForm2 form;
    TForm3 com;
    form.setPortSettingsSource([&com] { return com.fields(); });
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) {
        std::fprintf(stderr, "the data window was never shown\n");
        return 1;
    }
    form.Button1Click();
    form.Timer1().stop();
    measurePollTimes(form, pty);
    measureStream(form, pty, false);
    measureStream(form, pty, true);
    form.Button3Click();
    return 0;
}
