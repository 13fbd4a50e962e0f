#pragma once

#include <QDir>
#include <QString>

namespace lcdprog {

class frm_Config_LCD;

namespace screenshots {

// The production station of `window`'s project, every port of LCDPROG_PORTS ticked and
// programmed at once, grabbed once every port has ended ("station.png"). False with a reason.
bool Shoot_Station(frm_Config_LCD* window, const QDir& out, QString* error);

}  // namespace screenshots
}  // namespace lcdprog
