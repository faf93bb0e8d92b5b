// What a service tells systemd: the datagrams reach the socket named in
// NOTIFY_SOCKET, by path or abstract name, and the watchdog's ping interval
// follows WATCHDOG_USEC for this process only.
#include "platform/service_notifier.h"

#include <QtTest>

#include <cstdlib>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A datagram socket bound where a service manager would listen.
class ListeningSocket {
public:
    explicit ListeningSocket(const std::string& name) : name_(name) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, name.data(), name.size());
        if (name[0] == '@')
            address.sun_path[0] = '\0';
        const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size() +
                                                   (name[0] == '@' ? 0 : 1));
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0;
    }
    ~ListeningSocket() {
        ::close(fd_);
        if (name_[0] == '/')
            ::unlink(name_.c_str());
    }
    bool bound() const { return bound_; }
    // The next datagram, or "" when none comes within the limit.
    std::string receive(int waitMs = 5000) const {
        pollfd readable{fd_, POLLIN, 0};
        if (::poll(&readable, 1, waitMs) != 1)
            return {};
        char buffer[512];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }

private:
    std::string name_;
    int fd_ = -1;
    bool bound_ = false;
};

} // namespace

class ServiceNotifierTest : public QObject {
    Q_OBJECT

private slots:
    void messagesReachTheNamedSocket_data() {
        QTest::addColumn<bool>("abstract");
        QTest::newRow("path") << false;
        QTest::newRow("abstract name") << true;
    }
    void messagesReachTheNamedSocket() {
        QFETCH(bool, abstract);
        QTemporaryDir folder;
        const std::string name = abstract ? "@merlon-test-notify-" + std::to_string(getpid())
                                          : folder.path().toStdString() + "/notify";
        ListeningSocket manager(name);
        QVERIFY(manager.bound());
        qputenv("NOTIFY_SOCKET", QByteArray::fromStdString(name));
        qputenv("WATCHDOG_USEC", "2000000");
        ServiceNotifier notifier = ServiceNotifier::fromEnvironment();
        // Taken out, so that the commands the service starts do not inherit it.
        QVERIFY(!qEnvironmentVariableIsSet("NOTIFY_SOCKET"));
        QVERIFY(!qEnvironmentVariableIsSet("WATCHDOG_USEC"));

        QVERIFY(notifier.ready());
        QVERIFY(notifier.watchdogPing());
        QVERIFY(notifier.stopping());
        QCOMPARE(manager.receive(), std::string("READY=1"));
        QCOMPARE(manager.receive(), std::string("WATCHDOG=1"));
        QCOMPARE(manager.receive(), std::string("STOPPING=1"));
    }

    void pingIntervalIsHalfTheWatchdogsTimeout_data() {
        QTest::addColumn<QByteArray>("socket");
        QTest::addColumn<QByteArray>("usec");
        QTest::addColumn<QByteArray>("pid"); // "self" for this process
        QTest::addColumn<qint64>("intervalMs");
        QTest::newRow("two minutes")
            << QByteArray("@s") << QByteArray("120000000") << QByteArray() << qint64(60000);
        QTest::newRow("for this process")
            << QByteArray("@s") << QByteArray("2000000") << QByteArray("self") << qint64(1000);
        QTest::newRow("for another process")
            << QByteArray("@s") << QByteArray("2000000") << QByteArray("1") << qint64(0);
        QTest::newRow("below two milliseconds")
            << QByteArray("@s") << QByteArray("1500") << QByteArray() << qint64(1);
        QTest::newRow("no watchdog")
            << QByteArray("@s") << QByteArray() << QByteArray() << qint64(0);
        QTest::newRow("not a number")
            << QByteArray("@s") << QByteArray("2s") << QByteArray() << qint64(0);
        QTest::newRow("zero") << QByteArray("@s") << QByteArray("0") << QByteArray() << qint64(0);
        QTest::newRow("negative") << QByteArray("@s") << QByteArray("-2000000") << QByteArray()
                                  << qint64(0);
        QTest::newRow("outside systemd")
            << QByteArray() << QByteArray("2000000") << QByteArray() << qint64(0);
    }
    void pingIntervalIsHalfTheWatchdogsTimeout() {
        QFETCH(QByteArray, socket);
        QFETCH(QByteArray, usec);
        QFETCH(QByteArray, pid);
        QFETCH(qint64, intervalMs);
        const auto set = [](const char* name, const QByteArray& value) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        };
        set("NOTIFY_SOCKET", socket);
        set("WATCHDOG_USEC", usec);
        set("WATCHDOG_PID", pid == "self" ? QByteArray::number(getpid()) : pid);
        ServiceNotifier notifier = ServiceNotifier::fromEnvironment();
        QCOMPARE(notifier.pingIntervalMs(), intervalMs);
        // Outside systemd nothing goes anywhere.
        QCOMPARE(notifier.active(), !socket.isNull());
        if (socket.isNull())
            QVERIFY(!notifier.ready());
    }
};

QTEST_GUILESS_MAIN(ServiceNotifierTest)
#include "test_service_notifier.moc"
