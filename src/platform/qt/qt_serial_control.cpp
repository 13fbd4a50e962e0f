#include "platform/qt/qt_serial_control.h"

#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <QFileSystemWatcher>
#include <QStringList>

#include <cstdlib>
#include <vector>

#include "platform/port_diagnostics.h"

namespace lcdprog::platform {
namespace {

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

bool All_Digits(const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// An FTDI adapter holds short replies for its 16 ms latency timer unless asked not to; every
// 3-byte acknowledgement of a programming run would wait for it. Devices without the request
// (pseudo-terminals, CDC-ACM) refuse it, which is harmless.
void Request_Low_Latency(int fd) {
    serial_struct ss{};
    if (ioctl(fd, TIOCGSERIAL, &ss) == 0) {
        ss.flags |= ASYNC_LOW_LATENCY;
        (void)ioctl(fd, TIOCSSERIAL, &ss);
    }
}

}  // namespace

std::optional<LineSettings> Parse_Line_Settings(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        fields.push_back(Trim(text.substr(start, comma - start)));
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    if (fields.size() != 4) {
        return std::nullopt;
    }
    LineSettings s;
    if (!All_Digits(fields[0]) || fields[0].size() > 9) {
        return std::nullopt;
    }
    s.baud = static_cast<qint32>(std::strtol(fields[0].c_str(), nullptr, 10));
    if (s.baud <= 0) {
        return std::nullopt;
    }
    if (fields[1].size() != 1) {
        return std::nullopt;
    }
    switch (fields[1][0]) {
        case 'n':
        case 'N':
            s.parity = QSerialPort::NoParity;
            break;
        case 'e':
        case 'E':
            s.parity = QSerialPort::EvenParity;
            break;
        case 'o':
        case 'O':
            s.parity = QSerialPort::OddParity;
            break;
        case 'm':
        case 'M':
            s.parity = QSerialPort::MarkParity;
            break;
        case 's':
        case 'S':
            s.parity = QSerialPort::SpaceParity;
            break;
        default:
            return std::nullopt;
    }
    if (fields[2] == "5") {
        s.dataBits = QSerialPort::Data5;
    } else if (fields[2] == "6") {
        s.dataBits = QSerialPort::Data6;
    } else if (fields[2] == "7") {
        s.dataBits = QSerialPort::Data7;
    } else if (fields[2] == "8") {
        s.dataBits = QSerialPort::Data8;
    } else {
        return std::nullopt;
    }
    if (fields[3] == "1") {
        s.stopBits = QSerialPort::OneStop;
    } else if (fields[3] == "1.5") {
        s.stopBits = QSerialPort::OneAndHalfStop;
    } else if (fields[3] == "2") {
        s.stopBits = QSerialPort::TwoStop;
    } else {
        return std::nullopt;
    }
    return s;
}

QtSerialControl::QtSerialControl() : QtSerialControl(PortTable::FromEnvironment()) {
    fixedTable_ = false;
}

QtSerialControl::QtSerialControl(PortTable table) : table_(std::move(table)), fixedTable_(true) {
    connect(&serial_, &QSerialPort::readyRead, this, &QtSerialControl::On_Ready_Read);
    connect(&serial_, &QSerialPort::errorOccurred, this, &QtSerialControl::On_Error);
    settle_.setSingleShot(true);
    connect(&settle_, &QTimer::timeout, this, &QtSerialControl::Settled);
}

QtSerialControl::~QtSerialControl() {
    // No notification may reach a handler whose owner is being torn down with us.
    handler_ = nullptr;
    portsChanged_ = nullptr;
    if (serial_.isOpen()) {
        serial_.close();
    }
}

bool QtSerialControl::SetPortOpen(bool open) {
    if (!open) {
        if (serial_.isOpen()) {
            serial_.close();
        }
        lastError_.clear();
        return true;
    }
    if (serial_.isOpen()) {
        lastError_ = "La porta COM " + std::to_string(port_) + " è già aperta.";
        return false;
    }
    const std::string device = table_.DevicePath(port_);
    if (device.empty()) {
        lastError_ = Explain_Port_Failure(Gather_Port_Facts(device));
        return false;
    }
    serial_.setPortName(QString::fromStdString(device));
    if (!serial_.open(QIODevice::ReadWrite)) {
        lastError_ = Explain_Port_Failure(Gather_Port_Facts(device));
        serial_.clearError();
        return false;
    }
    // Qt 6.4 does not flush on open: bytes left over from an earlier user would look like a reply.
    serial_.clear();
    Request_Low_Latency(static_cast<int>(serial_.handle()));
    if (!Apply_Settings()) {
        // The stored settings were accepted once; a device that refuses them is unusable here.
        serial_.close();
        return false;
    }
    // A pseudo-terminal has no modem lines: raising DTR fails there and does not matter.
    (void)serial_.setDataTerminalReady(true);
    serial_.clearError();
    lastError_.clear();
    event_ = 0;
    openDevice_ = device;
    return true;
}

void QtSerialControl::ReadPortTable() {
    if (!fixedTable_) {
        table_ = PortTable::FromEnvironment();
    }
    if (watcher_) {
        Watch_Folders();  // a link may lead somewhere else now
    }
}

void QtSerialControl::SetPortsChangedHandler(std::function<void()> handler) {
    portsChanged_ = std::move(handler);
    if (!portsChanged_) {
        watcher_.reset();
        settle_.stop();
        return;
    }
    if (!watcher_) {
        watcher_ = std::make_unique<QFileSystemWatcher>();
        connect(watcher_.get(), &QFileSystemWatcher::directoryChanged, this, [this] {
            // The first change of a burst starts the wait; later ones ride along with it, so a
            // steady stream of changes still reaches the handler within kSettleMs.
            if (!settle_.isActive()) {
                settle_.start(kSettleMs);
            }
        });
    }
    Watch_Folders();
}

// Each folder of the table, or its nearest existing ancestor (a folder that does not exist yet
// appears in its parent).
void QtSerialControl::Watch_Folders() {
    QStringList wanted;
    for (std::string folder : table_.Folders()) {
        struct stat st {};
        while (folder.size() > 1 && stat(folder.c_str(), &st) != 0) {
            folder = folder.substr(0, std::max<std::size_t>(folder.find_last_of('/'), 1));
        }
        if (!wanted.contains(QString::fromStdString(folder))) {
            wanted.append(QString::fromStdString(folder));
        }
    }
    const QStringList watched = watcher_->directories();
    for (const QString& folder : watched) {
        if (!wanted.contains(folder)) {
            watcher_->removePath(folder);
        }
    }
    for (const QString& folder : wanted) {
        if (!watched.contains(folder)) {
            watcher_->addPath(folder);
        }
    }
}

void QtSerialControl::Settled() {
    if (serial_.isOpen()) {
        // The device we hold is gone when its path is gone or leads to another device now (the
        // virtual module's link re-made for a new pseudo-terminal).
        struct stat held {};
        struct stat now {};
        if (fstat(static_cast<int>(serial_.handle()), &held) != 0 ||
            stat(openDevice_.c_str(), &now) != 0 || now.st_rdev != held.st_rdev) {
            lastError_ = "Il dispositivo " + openDevice_ + " è stato scollegato: porta chiusa.";
            serial_.close();
        }
    }
    if (watcher_) {
        Watch_Folders();  // a removed folder drops out of the watcher; its parent takes over
    }
    if (portsChanged_) {
        const auto handler = portsChanged_;
        handler();
    }
}

void QtSerialControl::Lose_Port(const std::string& why) {
    lastError_ = why;
    serial_.close();
    if (portsChanged_ && !settle_.isActive()) {
        settle_.start(kSettleMs);
    }
}

bool QtSerialControl::Apply_Settings() {
    const bool ok = serial_.setBaudRate(settings_.baud) && serial_.setParity(settings_.parity) &&
                    serial_.setDataBits(settings_.dataBits) &&
                    serial_.setStopBits(settings_.stopBits);
    if (!ok) {
        lastError_ = "Impostazioni della porta rifiutate dal dispositivo " +
                     serial_.portName().toStdString() + ": " + serial_.errorString().toStdString();
        serial_.clearError();
    }
    return ok;
}

bool QtSerialControl::SetSettings(const std::string& settings) {
    const auto parsed = Parse_Line_Settings(settings);
    if (!parsed) {
        lastError_ = "Impostazioni della porta non valide: \"" + settings +
                     "\" (atteso per esempio \"115200,n,8,1\").";
        return false;
    }
    const LineSettings previous = settings_;
    settings_ = *parsed;
    if (serial_.isOpen() && !Apply_Settings()) {
        settings_ = previous;
        (void)Apply_Settings();
        return false;
    }
    lastError_.clear();
    return true;
}

bool QtSerialControl::Output(std::string_view bytes) {
    if (!serial_.isOpen()) {
        return false;
    }
    const qint64 n = serial_.write(bytes.data(), static_cast<qint64>(bytes.size()));
    // Hands the bytes to the driver now instead of at the next turn of the event loop.
    (void)serial_.flush();
    return n == static_cast<qint64>(bytes.size());
}

std::string QtSerialControl::Input() {
    if (!serial_.isOpen()) {
        return {};
    }
    return serial_.readAll().toStdString();
}

void QtSerialControl::Raise(int code) {
    event_ = code;
    if (handler_) {
        // A copy, so that a handler that replaces itself does not destroy the running function.
        const auto handler = handler_;
        handler();
    }
}

void QtSerialControl::On_Ready_Read() {
    if (serial_.bytesAvailable() > 0) {
        Raise(comm_event::kReceive);
    }
}

void QtSerialControl::On_Error(QSerialPort::SerialPortError error) {
    switch (error) {
        case QSerialPort::ResourceError:
        case QSerialPort::ReadError:
            // The device is gone (unplugged, or the other end of a pty closed). Qt 6.4 would
            // report this again and again at full speed; closing at once stops that, and the
            // exchange then times out as it would with a silent module.
            Lose_Port("Il dispositivo " + openDevice_ +
                      " non risponde più (scollegato?): porta chiusa.");
            break;
        default:
            // Modem-line requests a pty cannot honour, time-outs of calls we do not make:
            // nothing the line protocol needs to hear about.
            break;
    }
}

}  // namespace lcdprog::platform
