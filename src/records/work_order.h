#pragma once

// One work order as a station knows it: its records in the station's own record file, and those
// the station adds as it goes. It answers the three questions asked before a unit is armed: how
// many good units the order has (against its quantity), whether a serial already came out good
// in it (before it is programmed again), and its figures (records/report.h). Other stations'
// records are in their own files: the plant database has them all. QtCore only.

#include <QString>
#include <vector>

#include "platform/result.h"
#include "records/report.h"
#include "records/unit_record.h"

namespace lcdprog::records {

// The most units a work order may ask for: more than a plant makes of one article in a year is
// a typing error.
constexpr int kMaxQuantity = 1000000;

class WorkOrderHistory {
  public:
    WorkOrderHistory() = default;
    explicit WorkOrderHistory(QString order) : order_(std::move(order)) {}

    // The order's records in the file at `path`; a file not made yet holds none.
    static platform::Result<WorkOrderHistory> Load(const QString& path, const QString& order);

    // A record of another order is not the order's.
    void Add(const UnitRecord& record);
    const QString& Order() const { return order_; }
    const std::vector<UnitRecord>& Records() const { return records_; }

    // Units that came out good. A serial programmed again once it was good is not a unit more:
    // its record says so (`reprogrammed`).
    int Good() const;
    // The record in which `serial` came out good, or null.
    const UnitRecord* Good_Record(const QString& serial) const;
    // The order's figures, as lcdprog-cli report --order gives them.
    Figures Totals() const;

  private:
    QString order_;
    std::vector<UnitRecord> records_;
};

// "10 unità buone su 50", "1 unità buona su 50"
QString Good_Units_Text(int good, int quantity);
// "la commessa C-7 è completa: 10 unità buone su 10"
QString Complete_Text(const QString& order, int good, int quantity);
// "la matricola SN1 è già stata programmata con successo nella commessa C-7 (unità 12 del
// 04/05/2026 12:22)", from the record in which it came out good; the time is local.
QString Already_Good_Text(const UnitRecord& good);

}  // namespace lcdprog::records
