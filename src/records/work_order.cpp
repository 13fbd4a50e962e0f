#include "records/work_order.h"

#include <QFile>
#include <algorithm>

namespace lcdprog::records {

platform::Result<WorkOrderHistory> WorkOrderHistory::Load(const QString& path,
                                                          const QString& order) {
    WorkOrderHistory history(order);
    if (!QFile::exists(path)) {
        return history;
    }
    platform::Result<LoadedRecords> loaded = Load_Record_Files({path});
    if (!loaded) {
        return loaded.Why();
    }
    for (const UnitRecord& record : loaded->records) {
        history.Add(record);
    }
    return history;
}

void WorkOrderHistory::Add(const UnitRecord& record) {
    if (record.workOrder == order_) {
        records_.push_back(record);
    }
}

int WorkOrderHistory::Good() const {
    return static_cast<int>(std::count_if(records_.begin(), records_.end(), [](const auto& r) {
        return r.result == Outcome::Ok && !r.reprogrammed;
    }));
}

const UnitRecord* WorkOrderHistory::Good_Record(const QString& serial) const {
    const auto found = std::find_if(records_.begin(), records_.end(), [&](const UnitRecord& r) {
        return r.result == Outcome::Ok && !serial.isEmpty() && r.serial == serial;
    });
    return found == records_.end() ? nullptr : &*found;
}

Figures WorkOrderHistory::Totals() const {
    ReportOptions options;
    options.by = GroupBy::WorkOrder;
    Figures totals = Make_Report(records_, options).back();
    totals.group = order_;
    return totals;
}

QString Good_Units_Text(int good, int quantity) {
    return QStringLiteral("%1 unità %2 su %3")
        .arg(good)
        .arg(good == 1 ? QStringLiteral("buona") : QStringLiteral("buone"))
        .arg(quantity);
}

QString Complete_Text(const QString& order, int good, int quantity) {
    return QStringLiteral("la commessa %1 è completa: ").arg(order) +
           Good_Units_Text(good, quantity);
}

QString Already_Good_Text(const UnitRecord& good) {
    return QStringLiteral(
               "la matricola %1 è già stata programmata con successo%2 (unità %3 del %4)")
        .arg(good.serial, good.workOrder.isEmpty()
                              ? QString()
                              : QStringLiteral(" nella commessa ") + good.workOrder)
        .arg(good.unit)
        .arg(good.time.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm")));
}

}  // namespace lcdprog::records
