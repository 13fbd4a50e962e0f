#pragma once

#include <QString>

namespace lcdprog {

class frm_Config_LCD;
class frm_Stazione;

namespace screenshots {

// The production station of `window`'s project, every port of LCDPROG_PORTS ticked and
// programmed at once; returned once every port has ended, null with a reason when it could not
// start or did not end.
frm_Stazione* Program_With_Station(frm_Config_LCD* window, QString* error);

}  // namespace screenshots
}  // namespace lcdprog
