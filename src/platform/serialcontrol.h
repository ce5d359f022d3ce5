// The serial port control the main window talks to the programmer through:
// port number, line settings, open/close, a receive switch, one-byte writes and
// a read of everything waiting, plus the receive event OnComm. Every received
// byte reaches Input exactly once and in order; OnComm always arrives through
// the event loop and never runs inside a running OnComm handler.
#pragma once

#include "comports.h"

#include <QObject>
#include <QSerialPort>
#include <QTimer>

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly {

// Errors: every assignment that can be refused returns false, leaves the
// control as it was and puts the reason in error_text(); the caller "catches"
// by testing the result. A port that is lost while open (adapter pulled, far
// side of a pseudo-terminal gone) is reported once through port_lost, with the
// reason of the failure itself, after which the control is closed.
//
// Received bytes are kept until Input reads them, also after the port closes;
// opening the port starts with nothing waiting, so nothing from an earlier
// connection is taken for a reply on the new one.
class SerialControl : public QObject {
    Q_OBJECT

public:
    // Every open asks lookup for the device of the chosen COM number.
    explicit SerialControl(ComPortLookup lookup, QObject* parent = nullptr);
    // Always the devices of ports.
    explicit SerialControl(ComPortMap ports = ComPortMap(), QObject* parent = nullptr);
    ~SerialControl() override;

    // first_comport to last_comport, resolved to a device when the port
    // opens. Refused while the port is open.
    [[nodiscard]] bool CommPort(int n);
    int CommPort() const { return commport_; }

    // "<baud>,n,8,1" with an integer baud rate from min_baud to max_baud.
    // Takes effect at the next open, or at once when the port is open.
    [[nodiscard]] bool Settings(const std::string& text);
    std::string Settings() const;

    // true opens COMn (absent, busy or forbidden: refused) and asks its driver
    // for low latency where it has the setting; false closes. Opening an open
    // port and closing a closed one do nothing.
    [[nodiscard]] bool PortOpen(bool open);
    bool PortOpen() const;

    // 0: no receive event; 1: OnComm is raised while received bytes wait.
    [[nodiscard]] bool RThreshold(int n);
    int RThreshold() const { return rthreshold_; }

    // Sends one byte now, after every byte written before it. Refused while
    // the port is closed.
    [[nodiscard]] bool Output(std::uint8_t byte);
    // The same for several bytes at once, in order.
    [[nodiscard]] bool Output(const std::uint8_t* bytes, std::size_t count);

    // Every received byte not read yet, oldest first; the read removes them.
    std::vector<std::uint8_t> Input();
    // Drops every byte that waits, in the control and still in the device's
    // driver, and returns how many. The driver's are dropped as they come up,
    // in order, so no byte that waited at the discard is ever read.
    std::size_t discard_input();
    // A received byte waits that Input has not read yet, in the control or
    // still in the device's driver; bytes a discard dropped do not count.
    bool input_waiting();

    // Changes whenever the port opens, closes or is lost, so a reply owed on
    // one connection is not waited for on the next.
    std::uint64_t session() const { return session_; }

    // Why the last refused call was refused.
    const std::string& error_text() const { return error_; }

signals:
    void OnComm();
    void port_lost(const QString& why);

private:
    void take_received();
    std::size_t driver_queued() const;
    void on_ready_read();
    void on_error(QSerialPort::SerialPortError err);
    void finish_lost(std::uint64_t session, const QString& why);
    void owe_event();
    void deliver();
    void close_port();
    bool apply_baud();
    bool fail(std::string why);
    std::string port_label() const;
    std::string port_label(const std::string& path) const;

    ComPortLookup lookup_;
    std::string path_;  // the device of the open port, or of the last open tried
    QSerialPort port_;
    int commport_ = first_comport;
    int baud_ = probe_baud;
    int rthreshold_ = 0;
    std::vector<std::uint8_t> waiting_;
    std::size_t dropping_ = 0;  // bytes a discard counted in the driver, not read from it yet
    QTimer deliver_timer_;  // zero time: deliver() from the event loop's next round
    std::string error_;

    std::uint64_t session_ = 0;  // counts opens and closes, so a late loss report
                                 // of an old connection is not applied to a new one
    bool lost_ = false;      // the open port failed; closing is on its way
    int held_ = -1;          // the lost device, kept open while the port is
    bool owed_ = false;      // an OnComm is due once the handler may run
    bool in_handler_ = false;
    QString loss_after_handler_;  // a loss to finish once the handler has returned
    std::uint64_t loss_session_ = 0;  // the connection it belongs to
};

}  // namespace tessaly
