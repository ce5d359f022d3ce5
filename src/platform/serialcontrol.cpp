#include "serialcontrol.h"

#include <QByteArray>
#include <QMetaObject>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace tessaly {

namespace {

// Unix98 pseudo-terminal slaves. They have no line rate, and some kernels
// refuse a rate they cannot represent, which must not fail a test line.
bool is_pty(int fd) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned m = major(st.st_rdev);
    return m >= 136 && m <= 143;
}

// "<baud>,n,8,1": the only line format the programmer speaks.
bool parse_settings(const std::string& text, int& baud) {
    const auto c1 = text.find(',');
    if (c1 == 0 || c1 == std::string::npos || c1 > std::to_string(max_baud).size()) return false;
    std::string rest = text.substr(c1);
    if (rest.size() > 1 && rest[1] == 'N') rest[1] = 'n';  // the parity letter in either case
    if (rest != line_format) return false;
    int v = 0;
    for (std::size_t i = 0; i < c1; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < min_baud || v > max_baud) return false;
    baud = v;
    return true;
}

// Asks the driver to hand received bytes on at once rather than hold them for
// its latency timer (USB adapters wait up to 16 ms by default): one reply per
// message makes that wait count for every message. Devices without the serial
// driver interface (a pseudo-terminal) refuse; that is fine.
void ask_low_latency(int fd) {
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY)) return;
    serial.flags |= ASYNC_LOW_LATENCY;
    (void)::ioctl(fd, TIOCSSERIAL, &serial);
}

// Why the open device at fd, reached through path, failed, asked afresh: the
// port's own error text carries the errno of whatever call set it last, since
// a hung-up line ends its reads with an end of file and sets none. A call that
// reads nothing off the line tells the reason the system has; a device whose
// path has gone is gone, whatever the system says.
std::string loss_reason(int fd, const std::string& path) {
    termios line{};
    const int failed = ::tcgetattr(fd, &line) == 0 ? 0 : errno;
    struct stat st {};
    const bool gone = ::stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
    const std::string system = failed != 0 ? std::strerror(failed) : "";
    if (gone) return system.empty() ? "the device is gone" : "the device is gone (" + system + ")";
    return system.empty() ? "the device no longer answers" : system;
}

// A lost line stays readable for good (end of file, a hang-up), so the port's
// read notification would fire at every round of the event loop until the port
// is closed, and a handler that stands (a box it shows) keeps it from closing.
// QSerialPort has no switch for that notification, and every read of the port
// switches it on again, so the descriptor itself is made quiet instead: an
// unarmed timer takes its place, never readable nor writable, and the port
// closes it in time as its own. The dead device is held by the descriptor
// returned (-1 if none) until then: let go, its number could pass to a new
// device while the port still holds the lock that goes with the number.
int quieten(int fd) {
    const int held = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    const int quiet = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (held >= 0 && quiet >= 0 && ::dup3(quiet, fd, O_CLOEXEC) >= 0) {
        ::close(quiet);
        return held;
    }
    if (quiet >= 0) ::close(quiet);
    if (held >= 0) ::close(held);
    return -1;
}

}  // namespace

SerialControl::SerialControl(ComPortMap ports, QObject* parent)
    : SerialControl([ports = std::move(ports)] { return ports; }, parent) {}

SerialControl::SerialControl(ComPortLookup lookup, QObject* parent)
    : QObject(parent), lookup_(std::move(lookup)) {
    connect(&port_, &QSerialPort::readyRead, this, &SerialControl::on_ready_read);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialControl::on_error);
    deliver_timer_.setSingleShot(true);
    deliver_timer_.setInterval(0);
    connect(&deliver_timer_, &QTimer::timeout, this, &SerialControl::deliver);
}

SerialControl::~SerialControl() {
    disconnect(&port_, nullptr, this, nullptr);
    if (port_.isOpen()) close_port();
}

bool SerialControl::fail(std::string why) {
    error_ = std::move(why);
    return false;
}

std::string SerialControl::port_label(const std::string& path) const {
    return "COM" + std::to_string(commport_) + " (" + path + ")";
}

std::string SerialControl::port_label() const {
    // A closed port names the device that an open would reach now.
    return port_label(port_.isOpen() ? path_ : lookup_().path(commport_));
}

bool SerialControl::CommPort(int n) {
    if (PortOpen()) return fail(port_label() + " is open; close it before choosing another port");
    if (n < first_comport || n > last_comport)
        return fail("Port number " + std::to_string(n) + " is not between " +
                    std::to_string(first_comport) + " and " + std::to_string(last_comport));
    commport_ = n;
    return true;
}

std::string SerialControl::Settings() const {
    return line_settings(baud_);
}

bool SerialControl::Settings(const std::string& text) {
    int baud = 0;
    if (!parse_settings(text, baud))
        return fail("Line settings \"" + text + "\" are not \"" + line_settings("<baud>") +
                    "\" with a baud rate from " + std::to_string(min_baud) + " to " +
                    std::to_string(max_baud));
    const int before = baud_;
    baud_ = baud;
    if (PortOpen() && !apply_baud()) {
        baud_ = before;
        apply_baud();
        return fail(port_label() + " refuses " + std::to_string(baud) + " baud");
    }
    return true;
}

void SerialControl::close_port() {
    port_.close();
    // The port has given up its lock: the lost device may go with it.
    if (held_ >= 0) ::close(std::exchange(held_, -1));
}

bool SerialControl::apply_baud() {
    return port_.setBaudRate(baud_) || is_pty(port_.handle());
}

bool SerialControl::PortOpen() const {
    return port_.isOpen() && !lost_;
}

bool SerialControl::PortOpen(bool open) {
    if (!open) {
        if (port_.isOpen()) {
            take_received();
            close_port();
            ++session_;
        }
        lost_ = false;
        dropping_ = 0;
        return true;
    }
    if (PortOpen()) return true;
    if (port_.isOpen()) close_port();  // lost, its report still on the way

    lost_ = false;
    ++session_;
    // The ports file may have changed since the last open: a COM number means
    // the device it names now.
    path_ = lookup_().path(commport_);
    port_.setPortName(QString::fromStdString(path_));
    // Open at a rate every device takes, then ask for the chosen one, so a
    // refused rate is told apart from a port that cannot be opened at all.
    port_.setBaudRate(probe_baud);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite))
        return fail(port_label(path_) + " cannot be opened: " + port_.errorString().toStdString());
    if (!apply_baud()) {
        port_.close();
        return fail(port_label(path_) + " refuses " + std::to_string(baud_) + " baud");
    }
    ask_low_latency(port_.handle());
    // Whatever the device sent before this open is no reply to anything we send.
    port_.clear(QSerialPort::Input);
    waiting_.clear();
    dropping_ = 0;
    return true;
}

bool SerialControl::RThreshold(int n) {
    if (n != 0 && n != 1) return fail("Receive threshold " + std::to_string(n) + " is not 0 or 1");
    rthreshold_ = n;
    take_received();
    if (n == 1 && !waiting_.empty()) owe_event();
    return true;
}

bool SerialControl::Output(std::uint8_t byte) { return Output(&byte, 1); }

bool SerialControl::Output(const std::uint8_t* bytes, std::size_t count) {
    if (lost_) return false;  // error_text() tells of the loss
    if (!PortOpen()) return fail(port_label() + " is not open");
    // Straight to the device while nothing waits in the port's own buffer: a
    // buffered write would wake the event loop to finish it and report it.
    std::size_t done = 0;
    if (port_.bytesToWrite() == 0) {
        const ssize_t written = ::write(port_.handle(), bytes, count);
        if (written > 0) done = static_cast<std::size_t>(written);
    }
    if (done == count) return true;
    // The device cannot take it all just now, or failed: the port buffers the
    // rest and reports a failure as for any write.
    const auto rest = static_cast<qint64>(count - done);
    if (port_.write(reinterpret_cast<const char*>(bytes + done), rest) != rest)
        return fail(port_label() + " write failed: " + port_.errorString().toStdString());
    // QSerialPort would otherwise hold the bytes until the event loop runs.
    port_.flush();
    return true;
}

std::vector<std::uint8_t> SerialControl::Input() {
    take_received();
    return std::exchange(waiting_, {});
}

// Reading the driver here, beside QSerialPort's own notifier, could leave it
// a notification with nothing to read, which it takes for a failed port: the
// bytes the driver holds are counted instead and dropped as the port reads them.
std::size_t SerialControl::discard_input() {
    take_received();
    std::size_t dropped = std::exchange(waiting_, {}).size();
    const std::size_t unread = static_cast<std::size_t>(port_.bytesAvailable()) + driver_queued();
    if (unread > dropping_) {
        dropped += unread - dropping_;
        dropping_ = unread;
    }
    return dropped;
}

bool SerialControl::input_waiting() {
    if (!waiting_.empty()) return true;
    return static_cast<std::size_t>(port_.bytesAvailable()) + driver_queued() > dropping_;
}

std::size_t SerialControl::driver_queued() const {
    int queued = 0;
    if (!port_.isOpen() || ::ioctl(port_.handle(), FIONREAD, &queued) != 0 || queued < 0) return 0;
    return static_cast<std::size_t>(queued);
}

void SerialControl::take_received() {
    if (!port_.isOpen()) return;
    const QByteArray got = port_.readAll();
    const std::size_t skipped = std::min(dropping_, static_cast<std::size_t>(got.size()));
    dropping_ -= skipped;
    waiting_.insert(waiting_.end(), got.begin() + static_cast<qsizetype>(skipped), got.end());
}

// Handed on at once: a round of the event loop for every reply would cost
// more than the reply itself. Inside a handler (a box it shows runs the loop)
// the event stays owed until the handler returns.
void SerialControl::on_ready_read() {
    take_received();
    if (rthreshold_ != 1 || waiting_.empty()) return;
    owed_ = true;
    if (!in_handler_) deliver();
}

void SerialControl::on_error(QSerialPort::SerialPortError err) {
    if (err != QSerialPort::ResourceError && err != QSerialPort::ReadError &&
        err != QSerialPort::WriteError)
        return;
    if (!port_.isOpen() || lost_) return;
    lost_ = true;
    error_ = port_label() + " was lost: " + loss_reason(port_.handle(), path_);
    held_ = quieten(port_.handle());
    // Closing inside QSerialPort's own notification is left to the event loop.
    QMetaObject::invokeMethod(
        this, [this, session = session_, text = QString::fromStdString(error_)] {
            finish_lost(session, text);
        },
        Qt::QueuedConnection);
}

void SerialControl::finish_lost(std::uint64_t session, const QString& why) {
    if (session != session_) return;
    // A handler runs inside the port's own read notification: the port is not
    // closed under it, and the loss is told once it has returned.
    if (in_handler_) {
        loss_session_ = session;
        loss_after_handler_ = why;
        return;
    }
    if (port_.isOpen()) {
        take_received();
        close_port();
    }
    ++session_;
    lost_ = false;
    dropping_ = 0;
    emit port_lost(why);
}

void SerialControl::owe_event() {
    owed_ = true;
    if (deliver_timer_.isActive()) return;
    // A zero timer rather than a posted event: a posted event wakes the event
    // loop through a system call each way, once for every reply.
    deliver_timer_.start();
}

void SerialControl::deliver() {
    // Inside a handler the event stays owed and is posted again once it returns.
    if (in_handler_ || !owed_) return;
    owed_ = false;
    take_received();
    if (rthreshold_ != 1 || waiting_.empty()) return;
    in_handler_ = true;
    emit OnComm();
    in_handler_ = false;
    if (!loss_after_handler_.isNull()) {
        // Still inside the port's notification: the loss is finished from the loop.
        QMetaObject::invokeMethod(
            this, [this, session = loss_session_, why = std::exchange(loss_after_handler_, QString())] {
                finish_lost(session, why);
            },
            Qt::QueuedConnection);
    }
    // The port tells of no bytes that came in while a handler it called ran.
    take_received();
    if (rthreshold_ == 1 && !waiting_.empty()) owed_ = true;
    if (owed_) owe_event();
}

}  // namespace tessaly
