#pragma once

#include <QObject>
#include <QSerialPort>
#include <QTimer>
#include <memory>
#include <optional>

#include "platform/qt/port_table.h"
#include "platform/serial_control.h"

class QFileSystemWatcher;

namespace lcdprog::platform {

// Line settings as "baud,parity,data,stop" describes them.
struct LineSettings {
    qint32 baud = 115200;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    bool operator==(const LineSettings&) const = default;
};

// "115200,n,8,1": baud a positive integer, parity one of n e o m s (either case), data bits 5
// to 8, stop bits 1, 1.5 or 2; blanks around each field are allowed. Nothing when malformed.
std::optional<LineSettings> Parse_Line_Settings(const std::string& text);

// `RS232_Interface` over QSerialPort. "COM n" is entry n of the port table, which is read when
// the control is made and again at each ReadPortTable (the serial window's probe), and kept in
// between: an adapter plugged in meanwhile changes nothing until the next probe.
class QtSerialControl final : public QObject, public SerialControl {
    Q_OBJECT
  public:
    QtSerialControl();
    // A fixed table (tests, or LCDPROG_PORTS).
    explicit QtSerialControl(PortTable table);
    ~QtSerialControl() override;

    void SetCommPort(int port) override { port_ = port; }
    int CommPort() const override { return port_; }
    bool SetPortOpen(bool open) override;
    bool PortOpen() const override { return serial_.isOpen(); }
    bool SetSettings(const std::string& settings) override;
    bool Output(std::string_view bytes) override;
    std::string Input() override;
    int CommEvent() const override { return event_; }
    void SetCommHandler(std::function<void()> handler) override { handler_ = std::move(handler); }
    std::string LastError() const override { return lastError_; }
    std::string DevicePath(int port) const override { return table_.DevicePath(port); }
    void ReadPortTable() override;
    int PortCount() const override { return table_.Count(); }
    std::string PortDescription(int port) const override { return table_.Description(port); }
    void SetPortsChangedHandler(std::function<void()> handler) override;

    // How long a burst of file-system changes (a USB adapter makes several: the node, then its
    // group and mode, then its by-id link) is gathered before the handler hears of it.
    static constexpr int kSettleMs = 300;

    // The settings in force (applied at every open).
    const LineSettings& Settings() const { return settings_; }

  private:
    void On_Ready_Read();
    void On_Error(QSerialPort::SerialPortError error);
    void Raise(int code);
    bool Apply_Settings();
    void Watch_Folders();
    void Settled();
    void Lose_Port(const std::string& why);

    QSerialPort serial_;
    PortTable table_;
    bool fixedTable_ = false;
    int port_ = 1;
    int event_ = 0;
    LineSettings settings_;
    std::string lastError_;
    std::function<void()> handler_;
    std::string openDevice_;  // the path the open port was opened by
    std::function<void()> portsChanged_;
    std::unique_ptr<QFileSystemWatcher> watcher_;
    QTimer settle_;
};

}  // namespace lcdprog::platform
